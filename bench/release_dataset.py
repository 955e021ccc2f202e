"""Builds a folder shaped like a release of the application from the Windows PE
files that Wine ships: about 55 executables and libraries, 22 to 23 MB in ten
folders (the top one included), the largest about 7 MB, installed as the
application's "Aerolith.Vantor.exe". The choice is deterministic for a given
Wine package. "Aerolith.exe", which the launcher starts, is a program given by
the caller (a no-op one for measurements); without one it is left out.

Usage: release_dataset.py OUT_DIR [LAUNCH_TARGET]"""

import os
import random
import shutil
import sys
from pathlib import Path

WINE_PE = Path("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows")
FOLDERS = ["", "Modules", "Modules/Simulator", "Modules/Simulator/x64", "Modules/Flight", "Relay",
           "Relay/SDK", "Runtime", "Runtime/Plugins", "Resources"]
COUNT = 55
TOTAL = (22_000_000, 23_000_000)
LARGEST = 7_000_000


def candidates():
    files = []
    for path in sorted(WINE_PE.iterdir()):
        if path.suffix in (".dll", ".exe") and path.is_file() and not path.is_symlink():
            files.append((path, path.stat().st_size))
    if len(files) < COUNT * 2:
        raise SystemExit("release_dataset: too few PE files in %s (is wine64 installed?)" % WINE_PE)
    return files


def choose(files):
    """The largest file near 7 MB, then 54 others whose sizes bring the total
    into range: picked at random, then swapped one by one towards the range."""
    main = min((f for f in files if f[1] <= LARGEST * 1.05), key=lambda f: abs(f[1] - LARGEST))
    pool = [f for f in files if f is not main and 20_000 <= f[1] <= 1_500_000]
    rng = random.Random(55)
    chosen = rng.sample(pool, COUNT - 1)
    rest = [f for f in pool if f not in chosen]
    total = lambda: main[1] + sum(size for _, size in chosen)
    for _ in range(10_000):
        if TOTAL[0] <= total() <= TOTAL[1]:
            return main, chosen
        too_big = total() > TOTAL[1]
        out = max(chosen, key=lambda f: f[1]) if too_big else min(chosen, key=lambda f: f[1])
        fits = [f for f in rest if (f[1] < out[1]) == too_big]
        if not fits:
            break
        into = rng.choice(fits)
        chosen[chosen.index(out)] = into
        rest[rest.index(into)] = out
    raise SystemExit("release_dataset: no choice of files reaches %d-%d bytes" % TOTAL)


def build(out, launch_target=None):
    """Writes the release into `out` (which must not exist); returns its files as
    (relative path, size)."""
    main, others = choose(candidates())
    out = Path(out)
    placed = [("Aerolith.Vantor.exe", main[0])]
    if launch_target is not None:
        placed.append(("Aerolith.exe", Path(launch_target)))
    for i, (path, _) in enumerate(others):
        folder = FOLDERS[i % len(FOLDERS)]
        placed.append(((folder + "/" if folder else "") + path.name, path))
    rng = random.Random(7)
    for relative, source in placed:
        target = out / relative
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(source, target)
        # A build's own time stamps, with digits down to 100 ns.
        ns = int(source.stat().st_mtime) * 10**9 + rng.randrange(10**7) * 100
        os.utime(target, ns=(ns, ns))
    return [(relative, (out / relative).stat().st_size) for relative, _ in placed]


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        raise SystemExit(__doc__)
    files = build(*sys.argv[1:])
    print("%d files, %d bytes, largest %d bytes" % (len(files), sum(s for _, s in files),
                                                   max(s for _, s in files)))
