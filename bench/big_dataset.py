"""Builds a large application folder from the machine's own files under /usr:
about COUNT files and at least TOTAL bytes in /usr's own deep tree, each file at
most LARGEST bytes, every name one that aerolith-pack takes and a Windows file
system can hold. Deterministic for a given machine. Also builds a tree of many
small files in a few hundred folders, for the starts that are all walking.

Usage: big_dataset.py OUT_DIR [COUNT]               (the /usr set)
       big_dataset.py --small OUT_DIR COUNT FOLDERS (small files)"""

import os
import random
import shutil
import sys
from pathlib import Path

SOURCE = Path("/usr")
COUNT = 10_000
TOTAL = 640_000_000
LARGEST = 48_000_000
FORBIDDEN = set('<>:"/\\|?*')
DEVICES = {"CON", "PRN", "AUX", "NUL"} | {"%s%d" % (d, i) for d in ("COM", "LPT") for i in range(1, 10)}
PROTECTED = {"config.ini", "vantorconfig.json"}
LONGEST_PATH = 200  # characters of the relative path, so that any install folder fits


def windows_name(name):
    """Whether a Windows file system holds `name` as it is, and the tool packs it."""
    if not name or name[-1] in ". " or any(c in FORBIDDEN or ord(c) < 32 for c in name):
        return False
    if any(0xD800 <= ord(c) <= 0xDFFF for c in name):  # not valid UTF-8 on disk
        return False
    return name.split(".")[0].upper() not in DEVICES and name.lower() not in PROTECTED


def candidates():
    """(relative path, size) of every regular file under /usr that qualifies;
    of names one folder holds in two letter cases, neither."""
    found = []
    for folder, dirs, names in os.walk(SOURCE):
        relative = Path(folder).relative_to(SOURCE.parent)
        if not all(windows_name(part) for part in relative.parts):
            dirs.clear()
            continue
        folded = {}
        for name in dirs + names:
            folded.setdefault(name.casefold(), []).append(name)
        dirs[:] = sorted(d for d in dirs if len(folded[d.casefold()]) == 1)
        for name in sorted(names):
            path = Path(folder) / name
            if len(folded[name.casefold()]) != 1 or not windows_name(name) or path.is_symlink():
                continue
            if len(str(relative / name)) > LONGEST_PATH or not os.access(path, os.R_OK):
                continue
            size = path.stat().st_size
            if path.is_file() and size <= LARGEST:
                found.append((relative / name, size))
    return found


def choose(files, count, total):
    """Files of a megabyte or more, at random, until they make most of `total`;
    then smaller ones, at random, up to `count`; then more large ones if the
    total is not reached."""
    rng = random.Random(10_000)
    large = [f for f in files if f[1] >= 1_000_000]
    small = [f for f in files if f[1] < 1_000_000]
    rng.shuffle(large)
    rng.shuffle(small)
    chosen, size = [], 0
    while large and size < total * 0.7:
        chosen.append(large.pop())
        size += chosen[-1][1]
    while small and len(chosen) < count:
        chosen.append(small.pop())
        size += chosen[-1][1]
    while large and size < total:
        chosen.append(large.pop())
        size += chosen[-1][1]
    return chosen


def build(out, count=COUNT):
    """Copies the chosen files into `out` (which must not exist), times kept;
    returns them as (relative path, size)."""
    out = Path(out)
    chosen = choose(candidates(), count, TOTAL)
    for relative, _ in chosen:
        target = out / relative
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(SOURCE.parent / relative, target)
    return [(str(relative), size) for relative, size in chosen]


def build_small(out, count, folders):
    """`count` files of 100 to 4,000 bytes in `folders` folders two levels deep."""
    out = Path(out)
    rng = random.Random(150_000)
    files = []
    for i in range(count):
        relative = Path("Set%02d" % (i % folders % 20)) / ("Folder%03d" % (i % folders)) / (
            "file%06d.dat" % i)
        (out / relative).parent.mkdir(parents=True, exist_ok=True)
        content = rng.randbytes(rng.randrange(100, 4000))
        (out / relative).write_bytes(content)
        files.append((str(relative), len(content)))
    return files


if __name__ == "__main__":
    if len(sys.argv) >= 2 and sys.argv[1] == "--small" and len(sys.argv) == 5:
        files = build_small(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    elif len(sys.argv) in (2, 3):
        files = build(sys.argv[1], *(int(a) for a in sys.argv[2:]))
    else:
        raise SystemExit(__doc__)
    print("%d files, %d bytes, largest %d bytes" % (len(files), sum(s for _, s in files),
                                                   max(s for _, s in files)))
