"""Times a first install of one large, highly compressible entry (a random
4 KiB block repeated) by a launcher that runs 10 ms of every 500 ms, as the
watchdog scenario LargeEntry does at a size CI affords, and the same install
unslowed: the seconds each took, whether the slowed one timed out, and the
longest stretch of its trace without a record.

Usage: large_entry.py BUILD_DIR MIB [LAUNCHER]
  LAUNCHER: a plain launcher to embed into instead of BUILD_DIR's own."""

import datetime
import random
import shutil
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
import harness  # noqa: E402


def launcher_carrying(platform, work, mib, plain):
    app = work / "app"
    (app / "Data").mkdir(parents=True)
    (app / "Aerolith.exe").write_bytes(harness.application_image(platform))
    with open(app / "Data" / "large.bin", "wb") as out:
        block = random.Random(3).randbytes(4096)
        for _ in range(mib):
            out.write(block * 256)
    packed = platform.run(platform.program("aerolith-pack"),
                          ["pack", str(app), str(work / "bundle"), "--level", "1"],
                          trace_dialogs=False, timeout=3600)
    assert packed.exit_code == 0, packed.stderr
    if plain:
        shutil.copy(plain, platform.program("launcher"))
    return harness.embed_bundle(platform, (work / "bundle" / "manifest.bin").read_bytes(),
                                (work / "bundle" / "payload.bin").read_bytes(), work / "launcher")


def install(platform, launcher, work, name, throttled):
    env, local = platform.isolated_env(work / name)
    trace = work / (name + ".log")
    env["AEROLITH_LAUNCHER_TRACE"] = str(trace)
    started = time.monotonic()
    running = platform.start(launcher, env=env)
    if throttled:
        with harness.Throttled(platform, launcher):
            result = running.wait(timeout=7200)
    else:
        result = running.wait(timeout=600)
    seconds = time.monotonic() - started
    records = harness.read_trace(trace)
    times = [datetime.datetime.strptime(r.time[:-1], "%Y-%m-%d %H:%M:%S.%f") for r in records]
    silence = max((b - a).total_seconds() for a, b in zip(times, times[1:]))
    timed_out = "timeout" in [r.message for r in records]
    print("%-9s exit %d after %.1f s, %s, longest silence in the trace %.1f s" % (
        name, result.exit_code, seconds, "TIMED OUT" if timed_out else "no timeout", silence))


def main():
    build, mib = Path(sys.argv[1]).resolve(), int(sys.argv[2])
    platform = harness.Platform("native", build)
    work = Path(tempfile.mkdtemp(prefix="aerolith-large-entry-"))
    saved = work / "own-launcher"
    shutil.copy(platform.program("launcher"), saved)
    try:
        launcher = launcher_carrying(platform, work, mib, sys.argv[3] if len(sys.argv) > 3 else None)
        install(platform, launcher, work, "unslowed", throttled=False)
        install(platform, launcher, work, "slowed", throttled=True)
    finally:
        shutil.copy(saved, platform.program("launcher"))
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
