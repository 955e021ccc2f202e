"""Swaps a folder inside the install folder for a link to an outside folder and
back, as fast as a second process can, while the launcher runs a first install
and then a repair, again and again. Whatever the launcher meets, nothing
outside the install folder may ever be written, removed or re-stamped: a canary
tree there is compared, bytes, times, modes and entries, after every run
(under Wine, one thing is let pass: see changes()). A
run may end in a fatal dialog (a folder taken away while a file is written in
it); a last run without the swapping must leave the install folder equal to the
bundle.

Usage: race_test.py --build-dir BUILD [--platform native|windows] [--runs N] [--seed S]"""

import argparse
import multiprocessing
import os
import random
import shutil
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent / "e2e"))
import bundle_format  # noqa: E402
import harness  # noqa: E402

BASE_TIME = 133537860001234567
SWAPPED = "Modules"  # the folder taken away and put back


def release(rng, application):
    files = [("", "Aerolith.exe", application, BASE_TIME - 1)]
    for i in range(30):
        folder = ["Modules", "Modules\\Sim", "Relay", ""][i % 4]
        files.append((folder, "file%02d.bin" % i, rng.randbytes(rng.choice([10, 4000, 90000])),
                      BASE_TIME + i * 10_000_019))
    return files


def make_canary(root):
    for relative, content in [("a.txt", b"a"), ("Modules/file00.bin", b"theirs"),
                              ("Modules/Sim/Config.ini", b"[theirs]"), ("deep/x/y.bin", b"y")]:
        path = root / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content)
    os.chmod(root / "a.txt", 0o444)


def swap_forever(install, outside, stop, swaps):
    """Alternates SWAPPED between what the launcher made (or nothing) and a link
    to `outside`, until `stop` is set."""
    folder = os.path.join(install, SWAPPED)
    aside = os.path.join(install, ".aside")
    while not stop.is_set():
        try:
            real = os.path.isdir(folder) and not os.path.islink(folder)
            if real:
                os.rename(folder, aside)
            os.symlink(outside, folder, target_is_directory=True)
            swaps.value += 1
            os.unlink(folder)
            if real:
                os.rename(aside, folder)
        except OSError:
            pass  # the launcher got there first; the next round sets things straight


def settle(install):
    """Leaves the install folder as the swapping would have had it without a link."""
    folder, aside = install / SWAPPED, install / ".aside"
    if folder.is_symlink():
        folder.unlink()
    if aside.exists() and not folder.exists():
        aside.rename(folder)
    elif aside.exists():
        shutil.rmtree(aside)


def changes(before, after, wine):
    """What changed outside, and apart from it the new empty folders and files
    that are let pass under Wine: its server resolves the path of a name it
    opened only after opening it, so a swap in between can pass a link for the
    folder itself, and the launcher may make an empty folder or file behind it
    (and then stops, writing nothing there). Anything else fails."""
    changed = sorted(k for k in before.keys() | after.keys() if before.get(k) != after.get(k))
    if not wine:
        return changed, []
    made_empty = [k for k in changed if k not in before and
                  (after[k][0] == "folder" or after[k][:2] == ("file", b""))]
    return [k for k in changed if k not in made_empty], made_empty


def trace_text(trace):
    return trace.read_text(encoding="utf-8", errors="replace") if trace.exists() else ""


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--platform", default="native", choices=["native", "windows"])
    parser.add_argument("--runs", type=int, default=200)
    parser.add_argument("--seed", type=int, default=int(time.time()))
    args = parser.parse_args()
    rng = random.Random(args.seed)
    print("seed %d, %d runs" % (args.seed, args.runs))

    platform = harness.Platform(args.platform, args.build_dir)
    scratch = Path(tempfile.mkdtemp(prefix="aerolith-race-"))
    platform.session_dir = scratch / "session"  # the launcher mutex of these runs alone
    platform.session_dir.mkdir()
    try:
        files = release(rng, harness.application_image(platform))
        launcher = harness.embed_bundle(platform, *bundle_format.write_bundle(files), scratch / "bin")
        env, local = platform.isolated_env(scratch)
        trace = scratch / "trace.log"
        env = dict(env, AEROLITH_LAUNCHER_TRACE=platform.host_path(trace))
        install = local / "Aerolith"
        outside = scratch / "outside"
        make_canary(outside)
        before = harness.tree_snapshot(outside)

        hit = failed = 0
        reported = set()
        swaps = multiprocessing.Value("L", 0)
        for run in range(args.runs):
            if run % 2 == 0:
                shutil.rmtree(install, ignore_errors=True)  # a first install
            else:
                installed = sorted(harness.installed_state(install))
                for relative in rng.sample(installed, min(3, len(installed))):
                    (install / relative).write_bytes(b"damaged")  # a repair
            if trace.exists():
                trace.unlink()
            stop = multiprocessing.Event()
            swapper = multiprocessing.Process(target=swap_forever,
                                              args=(str(install), str(outside), stop, swaps))
            swapper.start()
            result = platform.run(launcher, env=env, trace_dialogs=False, timeout=120)
            stop.set()
            swapper.join()
            platform.wait_until_ended(install / "Aerolith.exe")  # the next run writes it
            settle(install)
            after = harness.tree_snapshot(outside)
            changed, made_empty = changes(before, after, platform.windows)
            if changed:
                raise SystemExit("run %d changed something outside the install folder:\n%s\n"
                                 "trace:\n%s" % (run, "\n".join(
                                     "%s: %.80r -> %.80r" % (k, before.get(k), after.get(k))
                                     for k in changed), trace_text(trace)))
            new_empty = set(made_empty) - reported
            if new_empty:
                print("run %d: under Wine, made empty behind the link: %s"
                      % (run, ", ".join(sorted(new_empty))))
                reported |= new_empty
            if not platform.same_exit_code(result, 0):
                failed += 1
            # The pass met the swap when it saw a link, replaced one or could not go on.
            lines = trace_text(trace)
            if (" - is link - " in lines or "exists but is not directory" in lines or
                    "create exception" in lines or not platform.same_exit_code(result, 0)):
                hit += 1
        made = " but %d empty objects made under Wine" % len(reported) if reported else ""
        print("%d runs, %d swaps; the swap met the pass in %d runs, %d of them ended in a dialog; "
              "nothing outside changed%s" % (args.runs, swaps.value, hit, failed, made))

        settle(install)
        result = platform.run(launcher, env=env, trace_dialogs=False, timeout=120)
        expected = harness.bundled_state(files)
        if not platform.same_exit_code(result, 0) or harness.installed_state(install) != expected:
            raise SystemExit("a start without the swapping left the install folder unlike the bundle")
        if hit == 0:
            raise SystemExit("the swap never met a pass: the test proves nothing")
        print("a start without the swapping leaves the install folder equal to the bundle")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
