"""The Windows launcher under Wine on a bundle of many small files (by default
150,000 in 300 folders, built and packed with the build's aerolith-pack.exe at
run time): a first install must complete in one start, and a start on the
intact installation is timed (target: within the watchdog's 10 s, which it
must meet without the progress that a first install makes). Opt-in: it takes
several minutes, so CI does not run it.

Usage: wine_many_files.py BUILD_DIR [COUNT [FOLDERS]]   (BUILD_DIR: build/windows)"""

import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import big_dataset  # noqa: E402
import harness  # noqa: E402

LIMIT = 10.0


def installed_files(folder):
    return sum(1 for path in Path(folder).rglob("*") if path.is_file())


def start(platform, launcher, env):
    """Seconds, exit code and dialogs of one start."""
    started = time.monotonic()
    result = platform.run(launcher, env=env, timeout=3600)
    return time.monotonic() - started, result


def main():
    if len(sys.argv) not in (2, 3, 4):
        raise SystemExit(__doc__)
    build = Path(sys.argv[1]).resolve()
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 150_000
    folders = int(sys.argv[3]) if len(sys.argv) > 3 else 300
    # A prefix of its own, so that it never meets the tests' running server.
    prefix = build / "wineprefix-many-files"
    os.environ["AEROLITH_WINEPREFIX"] = str(prefix)
    subprocess.run([str(ROOT / "scripts" / "wine-prefix"), "up", str(prefix)], check=True,
                   stdout=subprocess.DEVNULL)
    platform = harness.Platform("windows", build)
    work = Path(tempfile.mkdtemp(prefix="aerolith-wine-many-", dir="/tmp"))
    failed = False
    try:
        app = work / "app"
        big_dataset.build_small(app, count, folders)
        shutil.copyfile(platform.program("quiet_app"), app / "Aerolith.exe")
        bundle = work / "bundle"
        started = time.monotonic()
        packed = platform.run(platform.program("aerolith-pack"),
                              ["pack", platform.host_path(app), platform.host_path(bundle), "--level", "3"],
                              trace_dialogs=False, timeout=3600)
        if not platform.same_exit_code(packed, 0):
            raise SystemExit("packing failed:\n" + packed.stderr[-3000:])
        print("%d files in %d folders packed by aerolith-pack.exe in %.1f s" % (
            count + 1, folders, time.monotonic() - started))
        launcher = harness.embed_bundle(platform, (bundle / "manifest.bin").read_bytes(),
                                        (bundle / "payload.bin").read_bytes(), work / "launcher")
        env, local = platform.isolated_env(work)
        install = local / "Aerolith"
        for name in ("first install", "intact start"):
            seconds, result = start(platform, launcher, env)
            installed = installed_files(install)
            ok = platform.same_exit_code(result, 0) and not result.dialogs and installed == count + 1
            if name == "intact start":
                ok = ok and seconds < LIMIT
            failed |= not ok
            print("%-14s %6.1f s, exit code %d, %d dialogs, %d files installed%s: %s" % (
                name, seconds, result.exit_code, len(result.dialogs), installed,
                " (target < %.0f s)" % LIMIT if name == "intact start" else "",
                "ok" if ok else "FAILED " + "; ".join(d.text for d in result.dialogs)))
    finally:
        shutil.rmtree(work, ignore_errors=True)
        subprocess.run([str(ROOT / "scripts" / "wine-prefix"), "down", str(prefix)],
                       stdout=subprocess.DEVNULL)
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
