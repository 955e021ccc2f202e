"""The launcher against the floor of its work, side by side in one run, the
commands of each comparison run in turn, one run of each per round, so that the
machine's drift falls on all alike:

- 30,000 empty files in 60 folders (many_files.py): the launcher's first
  install and its start on the intact installation against bench/floor_tree
  making the same tree (create, stamp, close each file) and listing it with
  every file's time and size, natively (native-release) and under Wine (the
  Windows build, both started by their Unix paths in a prefix of their own);
- the floor alone with 1, 2 and 4 threads making disjoint folders of the
  same tree, natively and under Wine: whether writing in parallel can pay;
- the 55-file release set (release_dataset.py, level 19): the native
  launcher's first install against `tar -I zstd -xf` of the same files;
- peak memory of a native first install of one 1.3 GB entry: the bytes held
  from malloc at once (bench/peak_heap.c), and the resident set sampled apart:
  anonymous pages, and the file pages the process maps (its image, and a file
  it writes through a mapping), which the system can write out and drop;
- the same entry under Wine, run to completion: time and resident peaks
  (with --before, the earlier launcher in the same rounds).

Usage: floor_bench.py NATIVE_BUILD WINDOWS_BUILD [--rounds N] [--files N]
       [--folders N] [--large-mb N] [--skip many,wine,threads,release,memory,large-wine]
       [--before NATIVE_LAUNCHER WINDOWS_LAUNCHER]  (plain launchers of an
       earlier build, e.g. main's, timed in the same rounds beside this one's)
(NATIVE_BUILD: build/native-release with aerolith-launcher, aerolith-pack,
quiet_app, bench/floor_tree and bench/libpeak_heap.so; WINDOWS_BUILD:
build/windows with Aerolith.Launcher.exe, quiet_app.exe and
bench/floor_tree.exe.) bench/floor.sh builds them and runs this."""

import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import many_files
import release_dataset
from many_files import run


class Aside:
    """Moves a folder out of the way before a run that makes it afresh. Each
    run's tree is set aside, not deleted: ext4 avoids reusing inodes freed in
    the last half minute, and after a deletion of thousands of files every
    create scans past them, which would time the order of the runs."""

    def __init__(self, trash):
        self.trash = trash
        trash.mkdir(parents=True, exist_ok=True)

    def __call__(self, folder):
        def prepare():
            if os.path.lexists(folder):
                os.rename(folder, tempfile.mkdtemp(dir=self.trash) + "/t")
        return prepare


def removed(folder):
    """Deletes a folder before a run that makes it afresh: for a few dozen
    files of megabytes, unlike thousands of small ones. A tree set aside keeps
    its pages cached, so every run's new pages come from memory untouched for
    long, which in a virtual machine costs the host a fault per page: over 30
    rounds the 55-file ratio drifted from 0.5x to 1.3x, each run slower than
    the last. Deleted, each run reuses the pages the run before it freed."""
    def prepare():
        shutil.rmtree(folder, ignore_errors=True)
    return prepare


def interleaved(commands, rounds, warmup=1):
    """(median, lowest, highest) wall seconds of each (argv, env, prepare)."""
    samples = [[] for _ in commands]
    for number in range(warmup + rounds):
        for (argv, env, prepare), runs in zip(commands, samples):
            if prepare:
                prepare()
            started = time.monotonic()
            done = subprocess.run([str(a) for a in argv], env=env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.PIPE)
            spent = time.monotonic() - started
            if done.returncode != 0:
                raise SystemExit("%s ended with %d: %s" % (argv, done.returncode, done.stderr[-2000:]))
            if number >= warmup:
                runs.append(spent)
    return [(statistics.median(s), min(s), max(s)) for s in samples]


def files_in(folder):
    return sum(len(names) for _, _, names in os.walk(folder))


def row(name, mine, other_name, other):
    print("%-34s %8.3f s (%.3f-%.3f)   %-26s %8.3f s (%.3f-%.3f)   %.2fx" % (
        name, *mine, other_name, *other, mine[0] / other[0]))


def many_native(args, work, count):
    native = args.native
    app = work / "app-native"
    many_files.build_app(app, args.files, args.folders, native / "test-bin" / "quiet_app")
    launcher = many_files.launcher_carrying(native, native / "bin" / "aerolith-launcher", app,
                                            work / "native")
    env, local = many_files.native_env(work / "native")
    install, floor = local / "Aerolith", local / "FloorTree"
    aside = Aside(work / "trash-native")
    tree = native / "bench" / "floor_tree"
    launchers = [(launcher, env, install)]
    if args.before:
        before = many_files.launcher_carrying(native, args.before[0], app, work / "native-before")
        before_env, before_local = many_files.native_env(work / "native-before")
        launchers.append((before, before_env, before_local / "Aerolith"))
    first = interleaved([([tree, "create", floor, args.files, args.folders], env, aside(floor))] +
                        [([l], e, aside(i)) for l, e, i in launchers], args.rounds)
    if any(files_in(i) != count for _, _, i in launchers) or files_in(floor) != args.files:
        raise SystemExit("native: %d files installed, %d made" % (files_in(install), files_in(floor)))
    intact = interleaved([([tree, "list", floor], env, None)] +
                         [([l], e, None) for l, e, _ in launchers], args.rounds * 3)
    for (name, made, listed) in zip(("native", "  the same, before"), first[1:], intact[1:]):
        row(name + " first install", made, "floor_tree create", first[0])
        row(name + " intact start", listed, "floor_tree list", intact[0])


def many_wine(args, work, count):
    native, windows = args.native, args.windows
    app = work / "app-windows"
    many_files.build_app(app, args.files, args.folders, windows / "test-bin" / "quiet_app.exe")
    launcher = many_files.launcher_carrying(native, windows / "bin" / "Aerolith.Launcher.exe", app,
                                            work / "windows")
    tree = windows / "bench" / "floor_tree.exe"
    with many_files.WinePrefix(windows) as prefix:
        install, floor = prefix.local / "Aerolith", prefix.local / "FloorTree"
        aside = Aside(prefix.path / "drive_c" / "trash")  # on the same file system
        for stale in (install, floor):
            aside(stale)()
        env = prefix.env
        windows_floor = prefix.windows_local + "\\FloorTree"
        # Both launchers install into the prefix's own folder: each run's
        # install is set aside and the other's put back for the intact starts.
        launchers = [launcher] + ([many_files.launcher_carrying(
            native, args.before[1], app, work / "windows-before")] if args.before else [])
        first = interleaved([(["wine", tree, "create", windows_floor, args.files, args.folders], env,
                              aside(floor))] +
                            [(["wine", l], env, aside(install)) for l in launchers], args.rounds)
        if files_in(install) != count or files_in(floor) != args.files:
            raise SystemExit("wine: %d files installed, %d made" % (files_in(install), files_in(floor)))
        intact = interleaved([(["wine", tree, "list", windows_floor], env, None)] +
                             [(["wine", l], env, None) for l in launchers], args.rounds * 3)
        shutil.rmtree(aside.trash, ignore_errors=True)
        for left in (install, floor):
            shutil.rmtree(left, ignore_errors=True)
    for (name, made, listed) in zip(("Wine", "  the same, before"), first[1:], intact[1:]):
        row(name + " first install", made, "floor_tree.exe create", first[0])
        row(name + " intact start", listed, "floor_tree.exe list", intact[0])


THREADS = (1, 2, 4)


def floor_threads(args, work):
    native_tree = args.native / "bench" / "floor_tree"
    aside = Aside(work / "trash-threads")
    floors = [work / "threads" / ("Tree%d" % n) for n in THREADS]
    floors[0].parent.mkdir()
    native = interleaved([([native_tree, "create", f, args.files, args.folders, n], os.environ,
                           aside(f)) for n, f in zip(THREADS, floors)], args.rounds)
    with many_files.WinePrefix(args.windows) as prefix:
        wine_aside = Aside(prefix.path / "drive_c" / "trash")
        made = [(prefix.local / ("Tree%d" % n), prefix.windows_local + "\\Tree%d" % n) for n in THREADS]
        wine = interleaved([(["wine", args.windows / "bench" / "floor_tree.exe", "create", w,
                              args.files, args.folders, n], prefix.env, wine_aside(f))
                            for n, (f, w) in zip(THREADS, made)], args.rounds)
        shutil.rmtree(wine_aside.trash, ignore_errors=True)
        for f, _ in made:
            shutil.rmtree(f, ignore_errors=True)
    for name, times in (("native", native), ("Wine", wine)):
        for n, spent in zip(THREADS, times):
            row("%s floor, %d threads" % (name, n), spent, "the same, 1 thread", times[0])


def release_set(args, work):
    native = args.native
    app = work / "release" / "app"
    files = release_dataset.build(app, native / "test-bin" / "quiet_app")
    launcher = many_files.launcher_carrying(native, native / "bin" / "aerolith-launcher", app,
                                            work / "release" / "launcher", level=19)
    launchers = [(launcher, local_of(work / "release"))]
    if args.before:
        launchers.append((many_files.launcher_carrying(native, args.before[0], app,
                                                       work / "release" / "before", level=19),
                          local_of(work / "release-before")))
    archive = work / "release" / "app.tar.zst"
    run("tar", "-I", "zstd -19", "-cf", archive, "-C", app.parent, "app")
    extract = work / "release" / "extract"
    extract.mkdir()
    first = interleaved([(["tar", "-I", "zstd", "-xf", archive, "-C", extract], os.environ,
                          removed(extract / "app"))] +
                        [([l], e, removed(local / "Aerolith")) for l, (e, local) in launchers],
                        args.rounds * 5, warmup=2)
    for name, mine in zip(("55 files first install", "  the same, before"), first[1:]):
        row("%s (%.1f MB)" % (name, sum(s for _, s in files) / 1e6), mine, "tar -I zstd -xf", first[0])


def local_of(folder):
    return many_files.native_env(folder)


def large_app(args, work, application):
    """An application folder of `application` and one entry of --large-mb MB;
    returns it and the entry's size."""
    app = work / "app"
    (app / "Data").mkdir(parents=True)
    shutil.copyfile(application, app / "Aerolith.exe")
    # Compressible to about a sixteenth, with matches across each MiB, so that
    # the frame is of a real size and the decoder needs its window.
    rng = random.Random(13)
    with open(app / "Data" / "large.bin", "wb") as out:
        for _ in range(args.large_mb * 10**6 // 2**20):
            out.write(rng.randbytes(2**16) * 16)
    return app, (app / "Data" / "large.bin").stat().st_size


def resident(pids):
    """Anonymous and file-backed resident KiB of the processes `pids`, summed."""
    anonymous = file_backed = 0
    for pid in pids:
        try:
            fields = dict(line.split(":", 1) for line in Path("/proc/%d/status" % pid).read_text().splitlines())
            anonymous += int(fields["RssAnon"].split()[0])
            file_backed += int(fields["RssFile"].split()[0]) + int(fields["RssShmem"].split()[0])
        except (OSError, KeyError, ValueError):
            pass
    return anonymous, file_backed


def sampled(process, pids):
    """Waits for `process`, sampling the resident set of `pids()` every 10 ms;
    the seconds it took and the peaks (KiB)."""
    started = time.monotonic()
    anonymous = file_backed = 0
    while process.poll() is None:
        now = resident(pids())
        anonymous, file_backed = max(anonymous, now[0]), max(file_backed, now[1])
        time.sleep(0.01)
    return time.monotonic() - started, anonymous, file_backed


def peak_memory(args, work):
    native = args.native
    app, size = large_app(args, work / "large", native / "test-bin" / "quiet_app")
    launcher = many_files.launcher_carrying(native, native / "bin" / "aerolith-launcher", app,
                                            work / "large" / "launcher", level=1)
    (app / "Data" / "large.bin").unlink()
    env, local = many_files.native_env(work / "large")
    report = work / "large" / "heap"
    process = subprocess.Popen([str(launcher)], env=dict(
        env, LD_PRELOAD=str(native / "bench" / "libpeak_heap.so"), AEROLITH_BENCH_HEAP=str(report)))
    _, anonymous, file_backed = sampled(process, lambda: [process.pid])
    if process.returncode != 0:
        raise SystemExit("large entry: the launcher ended with %d" % process.returncode)
    installed = local / "Aerolith" / "Data" / "large.bin"
    if installed.stat().st_size != size:
        raise SystemExit("large entry: %d bytes installed of %d" % (installed.stat().st_size, size))
    heap = max(int(line) for line in report.read_text().split())  # the started program reports too
    frame = (work / "large" / "launcher" / "bundle" / "payload.bin").stat().st_size
    print("peak memory, first install of one %.2f GB entry (frame %.1f MB): heap %.1f MiB; resident "
          "(sampled every 10 ms) anonymous %.1f MiB, file pages %.1f MiB" % (
              size / 1e9, frame / 1e6, heap / 2**20, anonymous / 2**10, file_backed / 2**10))


def wine_processes(name):
    """The processes whose command line holds `name`: a launcher under Wine."""
    found = []
    for entry in Path("/proc").iterdir():
        try:
            if entry.name.isdigit() and name.encode() in (entry / "cmdline").read_bytes():
                found.append(int(entry.name))
        except OSError:
            pass
    return found


def large_wine(args, work):
    """The same entry installed under Wine, in turn by this build's launcher
    and the earlier one (--before): time and resident peaks of each."""
    native, windows = args.native, args.windows
    app, size = large_app(args, work / "large-wine", windows / "test-bin" / "quiet_app.exe")
    plains = [("", windows / "bin" / "Aerolith.Launcher.exe")] + (
        [("before", args.before[1])] if args.before else [])
    launchers = [(name or "this build", many_files.launcher_carrying(
        native, plain, app, work / "large-wine" / ("launcher" + name), level=1)) for name, plain in plains]
    shutil.rmtree(app, ignore_errors=True)
    with many_files.WinePrefix(windows) as prefix:
        installed = prefix.local / "Aerolith" / "Data" / "large.bin"
        for number in range(args.rounds):
            for name, launcher in launchers:
                shutil.rmtree(prefix.local / "Aerolith", ignore_errors=True)
                process = subprocess.Popen(["wine", str(launcher)], env=prefix.env)
                spent, anonymous, file_backed = sampled(process, lambda: wine_processes(launcher.name))
                if process.returncode != 0 or installed.stat().st_size != size:
                    raise SystemExit("large entry under Wine: %s ended with %d" % (name, process.returncode))
                print("Wine, one %.2f GB entry, %-10s round %d: %.1f s; resident anonymous %.1f MiB, "
                      "file pages %.1f MiB" % (size / 1e9, name, number + 1, spent, anonymous / 2**10,
                                               file_backed / 2**10))
        shutil.rmtree(prefix.local / "Aerolith", ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("native", type=lambda p: Path(p).resolve())
    parser.add_argument("windows", type=lambda p: Path(p).resolve())
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--files", type=int, default=30_000)
    parser.add_argument("--folders", type=int, default=60)
    parser.add_argument("--large-mb", type=int, default=1300)
    parser.add_argument("--skip", default="")
    parser.add_argument("--before", nargs=2, type=lambda p: Path(p).resolve(),
                        metavar=("NATIVE_LAUNCHER", "WINDOWS_LAUNCHER"),
                        help="plain launchers of an earlier build, timed in the same rounds")
    args = parser.parse_args()
    skip = set(filter(None, args.skip.split(",")))
    work = Path(tempfile.mkdtemp(prefix="aerolith-floor-", dir="/tmp"))
    count = args.files + 1  # and Aerolith.exe
    print("%-34s %8s %-13s %-26s %8s %-13s %s" % ("run", "median", "(range)", "floor", "median",
                                                   "(range)", "ratio"))
    try:
        if "many" not in skip:
            many_native(args, work, count)
        if "wine" not in skip:
            many_wine(args, work, count)
        if "threads" not in skip:
            floor_threads(args, work)
        if "release" not in skip:
            release_set(args, work)
        if "memory" not in skip:
            peak_memory(args, work)
        if "large-wine" not in skip:
            large_wine(args, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
