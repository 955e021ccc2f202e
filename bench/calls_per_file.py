"""System calls per created file and per intact file: the launcher's first
install and intact start against bench/floor_tree making and listing the same
tree of empty files (many_files.py). Natively the calls come from `strace -c
-f`; under Wine the wineserver requests by type (WINEDEBUG=+server, the trace
of a server started for the run). Each count is taken at two sizes of the tree
and the difference divided by the difference of files, which leaves out what a
run costs whatever its size (process start, bundle loading, the launch).

Usage: calls_per_file.py NATIVE_BUILD WINDOWS_BUILD [--files N] [--folders N]
       [--skip native,wine]"""

import argparse
import collections
import re
import shutil
import subprocess
import tempfile
from pathlib import Path

import many_files

REQUEST = re.compile(r"^[0-9a-f]{4,}: (\w+)\((?!\) = )", re.MULTILINE)


def strace_counts(argv, env, out):
    subprocess.run(["strace", "-f", "-c", "-o", str(out)] + [str(a) for a in argv], env=env,
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    counts = collections.Counter()
    for line in out.read_text().splitlines():
        fields = line.split()
        # % time, seconds, usecs/call, calls, [errors,] syscall
        if len(fields) >= 5 and fields[3].isdigit() and fields[-1] != "total":
            counts[fields[-1]] += int(fields[3])
    return counts


def wine_counts(argv, prefix):
    """Server requests by type of one run, under a server started for it."""
    subprocess.run(["wineserver", "-k"], env=prefix.env, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=prefix.env, stderr=subprocess.DEVNULL)
    done = subprocess.run(["wine"] + [str(a) for a in argv], env=dict(prefix.env, WINEDEBUG="+server"),
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                          errors="replace")
    subprocess.run(["wineserver", "-w"], env=prefix.env, stderr=subprocess.DEVNULL)
    if done.returncode != 0:
        raise SystemExit("%s ended with %d" % (argv, done.returncode))
    return collections.Counter(REQUEST.findall(done.stderr))


def per_file(small, large, files):
    return {name: (large[name] - small[name]) / files for name in set(small) | set(large)}


def table(title, columns):
    """Prints each call's count per file in every column, the busiest first."""
    names = sorted({n for c in columns.values() for n in c},
                   key=lambda n: -max(abs(c.get(n, 0)) for c in columns.values()))
    print("\n%s\n%-28s" % (title, "call") + "".join("%22s" % c for c in columns))
    for name in names:
        values = [c.get(name, 0) for c in columns.values()]
        if max(abs(v) for v in values) >= 0.05:
            print("%-28s" % name + "".join("%22.2f" % v for v in values))
    print("%-28s" % "total" + "".join("%22.2f" % sum(c.values()) for c in columns.values()))


def measure(args, work, platform):
    """Per-file counts of the four runs on one platform."""
    native = args.native
    sizes = (args.files // 3, args.files)
    results = {}
    for files in sizes:
        app = work / ("app-%s-%d" % (platform, files))
        if platform == "native":
            many_files.build_app(app, files, args.folders, native / "test-bin" / "quiet_app")
            plain = native / "bin" / "aerolith-launcher"
        else:
            many_files.build_app(app, files, args.folders, args.windows / "test-bin" / "quiet_app.exe")
            plain = args.windows / "bin" / "Aerolith.Launcher.exe"
        launcher = many_files.launcher_carrying(native, plain, app, work / ("%s-%d" % (platform, files)))
        shutil.rmtree(app)
        if platform == "native":
            env, local = many_files.native_env(work / ("%s-%d" % (platform, files)))
            tree = native / "bench" / "floor_tree"
            out = work / "strace"
            floor = local / "FloorTree"
            results[files] = [strace_counts([launcher], env, out),
                              strace_counts([tree, "create", floor, files, args.folders], env, out),
                              strace_counts([launcher], env, out),
                              strace_counts([tree, "list", floor], env, out)]
        else:
            with many_files.WinePrefix(args.windows) as prefix:
                for stale in ("Aerolith", "FloorTree"):
                    shutil.rmtree(prefix.local / stale, ignore_errors=True)
                tree = args.windows / "bench" / "floor_tree.exe"
                floor = prefix.windows_local + "\\FloorTree"
                results[files] = [wine_counts([launcher], prefix),
                                  wine_counts([tree, "create", floor, files, args.folders], prefix),
                                  wine_counts([launcher], prefix),
                                  wine_counts([tree, "list", floor], prefix)]
                for stale in ("Aerolith", "FloorTree"):
                    shutil.rmtree(prefix.local / stale, ignore_errors=True)
    difference = sizes[1] - sizes[0]
    return [per_file(small, large, difference) for small, large in zip(results[sizes[0]], results[sizes[1]])]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("native", type=lambda p: Path(p).resolve())
    parser.add_argument("windows", type=lambda p: Path(p).resolve())
    parser.add_argument("--files", type=int, default=3000)
    parser.add_argument("--folders", type=int, default=60)
    parser.add_argument("--skip", default="")
    args = parser.parse_args()
    skip = set(filter(None, args.skip.split(",")))
    work = Path(tempfile.mkdtemp(prefix="aerolith-calls-", dir="/tmp"))
    try:
        for platform, what in (("native", "system calls (strace -c -f)"),
                               ("wine", "wineserver requests (WINEDEBUG=+server)")):
            if platform in skip:
                continue
            first, floor_create, intact, floor_list = measure(args, work, platform)
            table("%s per file, %s" % (what, platform), {
                "launcher first install": first, "floor_tree create": floor_create,
                "launcher intact start": intact, "floor_tree list": floor_list})
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
