"""Kills the native launcher with SIGKILL at random moments of a first install,
again and again, then starts it once more and lets it finish: the install
directory must then hold exactly the bundle's files, byte for byte and time for
time, and the user's configuration files placed there before must still be there.

Every trial continues from what the killed trials before it left, until a run
ends before its kill; the next trial then begins a first install afresh. Kill
moments are drawn over the whole length of an uninterrupted first install.

Usage: kill_test.py --build-dir BUILD [--trials N] [--seed S]"""

import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent / "e2e"))
import bundle_format  # noqa: E402
import harness  # noqa: E402

CONFIG = {"Config.ini": b"[user]\nvolume=7\n", "Modules/Sim/VantorConfig.json": b'{"user": true}\n'}
BASE_TIME = 133537860001234567


def release(rng, application):
    """About 40 files in nested folders, some of several megabytes, partly
    compressible, so that a first install takes long enough to be cut anywhere,
    and the application that a finished run starts."""
    files = [("", "Aerolith.exe", application, BASE_TIME - 1)]
    folders = ["", "Modules", "Modules/Sim", "Modules/Sim/x64", "Relay", "Relay/SDK", "Runtime"]
    for i in range(40):
        size = rng.choice([0, 100, 5000, 70000, 300000, 1200000, 3000000])
        half = size // 2
        content = rng.randbytes(half) + bytes(size - half)
        folder = folders[i % len(folders)]
        files.append((folder.replace("/", "\\"), "file%02d.bin" % i, content, BASE_TIME + i * 10_000_019))
    return files


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--trials", type=int, default=60)
    parser.add_argument("--seed", type=int, default=int(time.time()))
    args = parser.parse_args()
    rng = random.Random(args.seed)
    print("seed %d, %d trials" % (args.seed, args.trials))

    platform = harness.Platform("native", args.build_dir)
    scratch = Path(tempfile.mkdtemp(prefix="aerolith-kill-"))
    try:
        files = release(rng, harness.application_image(platform))
        launcher = harness.embed_bundle(platform, *bundle_format.write_bundle(files), scratch / "bin")
        env, local = platform.isolated_env(scratch)
        session = scratch / "session"
        session.mkdir()
        # The application a finished run starts ends at once, never meeting a
        # later launcher.
        env = dict(os.environ, XDG_RUNTIME_DIR=str(session), AEROLITH_DEMO_LIFETIME="0",
                   AEROLITH_DEMO_RECORD=str(session / "demo.jsonl"), **env)
        env.pop("AEROLITH_LAUNCHER_TRACE", None)
        install = local / "Aerolith"

        def fresh_install():
            shutil.rmtree(install, ignore_errors=True)
            for relative, content in CONFIG.items():
                (install / relative).parent.mkdir(parents=True, exist_ok=True)
                (install / relative).write_bytes(content)

        def start():
            return subprocess.Popen([str(launcher)], env=env, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.PIPE)

        fresh_install()
        began = time.monotonic()
        process = start()
        stderr = process.communicate(timeout=120)[1]
        length = time.monotonic() - began
        if process.returncode != 0:
            raise SystemExit("an uninterrupted first install failed (%d):\n%s" % (
                process.returncode, stderr.decode(errors="replace")))
        print("an uninterrupted first install takes %.0f ms" % (length * 1e3))

        fresh_install()
        killed = 0
        for _ in range(args.trials):
            process = start()
            time.sleep(rng.uniform(0, length))
            process.send_signal(signal.SIGKILL)
            process.wait(timeout=120)
            if process.returncode == -signal.SIGKILL:
                killed += 1
            elif process.returncode == 0:
                fresh_install()  # it finished first: the next trial starts over
            else:
                raise SystemExit("a run ended with %d:\n%s" % (process.returncode,
                                                              process.stderr.read().decode(errors="replace")))
        print("%d of %d runs killed before their end" % (killed, args.trials))

        process = start()
        stderr = process.communicate(timeout=120)[1]
        if process.returncode != 0:
            raise SystemExit("the run after the kills failed (%d):\n%s" % (
                process.returncode, stderr.decode(errors="replace")))
        expected = harness.bundled_state(files)
        state = harness.installed_state(install)
        for relative, content in CONFIG.items():
            if relative not in state or state.pop(relative)[0] != content:
                raise SystemExit("configuration file %s lost or changed" % relative)
        if state != expected:
            wrong = sorted(set(state) ^ set(expected)) + sorted(
                r for r in set(state) & set(expected) if state[r] != expected[r])
            raise SystemExit("the install directory differs from the bundle: %s" % wrong[:10])
        if killed < min(args.trials, 10) // 2:
            raise SystemExit("too few runs were killed to mean anything")
        print("the install directory equals the bundle; configuration files kept")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
