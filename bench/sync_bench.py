"""Measures the native release launcher on a release-sized bundle (see
release_dataset.py) against what its jobs cost without it, and prints the ratios:

- first install into an empty folder vs tar extracting the same files from a
  zstd archive of the same level, into an empty folder on the same disk; and
  the synchronisation pass alone (bench/sync_pass_run) with one decoding thread
  and with one per processor, against the same;
- a start on an intact installation vs a process that only stats the files, with
  the payload bytes it read (strace: read calls on its image; a page counter:
  payload pages mapped into it); and the synchronisation pass alone vs a stat
  walk, both in one process, without process start and the earlier phases;
- repair (every file's time changed, contents right) and one damaged file;
- peak memory of the first install: the bytes it held from malloc at once
  (bench/peak_heap.c), which leaves out the mapped image, and its peak resident
  set, which counts the image pages it read.

Usage: sync_bench.py BUILD_DIR (a native-release tree with aerolith-launcher,
aerolith-pack, bench/stat_walk, bench/alternating_runs, bench/sync_pass_bench, bench/sync_pass_run,
bench/libpayload_pages.so and bench/libpeak_heap.so)."""

import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import release_dataset

LEVEL = 19  # aerolith-pack's default
FILETIME_UNIX_EPOCH = 116444736000000000
TARGETS = {"first install": 0.7, "intact start": 1.5}
HEAP_ALLOWANCE = 48 * 2**20  # the decoding read-ahead (32 MiB) and the rest of the run


def run(*args, env=None, **kwargs):
    return subprocess.run([str(a) for a in args], env=env, check=True, capture_output=True, **kwargs)


def hyperfine(work, commands, runs, warmup):
    """Median wall time (s) and mean CPU time (s) of each (command, prepare)."""
    out = work / "hyperfine.json"
    args = ["hyperfine", "-N", "--style", "none", "--warmup", str(warmup), "--runs", str(runs),
            "--export-json", str(out)]
    for command, prepare in commands:
        if prepare:
            args += ["--prepare", prepare]
        args.append(command)
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
    return [(r["median"], r["user"] + r["system"]) for r in json.loads(out.read_text())["results"]]


def alternating_prepared(commands, rounds, warmup):
    """Median wall time (s) and mean CPU time (s) of each (command, prepare),
    run in turn, one run of each per round, so that the machine's drift (for
    runs that write thousands of files mostly the file system's) falls on all
    alike; `prepare`, a shell command, runs untimed before each run."""
    samples = [[] for _ in commands]
    for round_number in range(warmup + rounds):
        for (command, prepare), runs in zip(commands, samples):
            subprocess.run(prepare, shell=True, check=True)
            started = time.monotonic()
            process = subprocess.Popen(command.split(), stdout=subprocess.DEVNULL)
            _, status, usage = os.wait4(process.pid, 0)
            spent = time.monotonic() - started
            process.returncode = os.waitstatus_to_exitcode(status)
            if process.returncode != 0:
                raise SystemExit("%s ended with %d" % (command, process.returncode))
            if round_number >= warmup:
                runs.append((spent, usage.ru_utime + usage.ru_stime))
    return [(statistics.median(s for s, _ in runs), statistics.mean(c for _, c in runs))
            for runs in samples]


def alternating_runs(build, commands, rounds, warmup):
    """Median wall time (s) and mean CPU time (s) of each command, run in turn."""
    out = run(build / "bench" / "alternating_runs", rounds, warmup, *commands, text=True).stdout
    return [tuple(float(ms) / 1e3 for ms in line.split()) for line in out.splitlines()]


def assert_installed(app, install):
    """The install directory holds exactly the app's files, bytes and times."""
    for folder, _, names in os.walk(app):
        for name in names:
            source = Path(folder) / name
            target = install / source.relative_to(app)
            if target.read_bytes() != source.read_bytes() or \
                    target.stat().st_mtime_ns // 100 != source.stat().st_mtime_ns // 100:
                raise SystemExit("sync_bench: %s is not installed right" % target)
    count = sum(len(names) for _, _, names in os.walk(install))
    expected = sum(len(names) for _, _, names in os.walk(app))
    if count != expected:
        raise SystemExit("sync_bench: %d files installed, %d expected" % (count, expected))


def payload_pages(build, launcher, env, work):
    """(present, total, present inner, inner) payload pages of one run."""
    report = work / "pages"
    report.unlink(missing_ok=True)
    run(launcher, env=dict(env, LD_PRELOAD=str(build / "bench" / "libpayload_pages.so"),
                           AEROLITH_BENCH_PAGES=str(report)))
    return tuple(int(n) for n in report.read_text().split())


def image_reads(launcher, env):
    """Bytes that read calls took from the launcher's own file."""
    trace = subprocess.run(["strace", "-f", "-y", "-e", "trace=read,pread64,readv,preadv,preadv2",
                            "-e", "signal=none", str(launcher)], env=env, check=True,
                           capture_output=True, text=True).stderr
    name = re.escape(str(launcher.resolve()))
    return sum(int(m.group(1)) for m in re.finditer(r"<%s>.*\) = (\d+)" % name, trace))


def print_rows(rows, targets):
    """Prints (name, seconds, cpu, compared with, seconds, cpu) rows with their
    ratios and, where `targets` names one, whether it is met; returns whether
    any target was missed."""
    failed = False
    print("%-28s %10s %9s   %-20s %10s %9s   %s" % ("run", "median", "cpu", "compared with", "median",
                                                    "cpu", "ratio (median, cpu)"))
    for name, spent, cpu, other, other_spent, other_cpu in rows:
        target = targets.get(name)
        verdict = ""
        if target:
            met = spent / other_spent <= target
            failed |= not met
            verdict = "  target <= %.1f: %s" % (target, "met" if met else "MISSED")
        print("%-28s %8.1f ms %6.1f ms   %-20s %8.1f ms %6.1f ms   %.2f, %.2f%s" % (
            name, spent * 1e3, cpu * 1e3, other, other_spent * 1e3, other_cpu * 1e3, spent / other_spent,
            cpu / other_cpu, verdict))
    return failed


def main():
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    build = Path(sys.argv[1]).resolve()
    work = Path(tempfile.mkdtemp(prefix="aerolith-bench-", dir="/tmp"))
    try:
        measure(build, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def measure(build, work):
    app = work / "app"
    # The launcher starts a program that ends at once: its launch phase costs a
    # process start, and nothing lingers.
    files = release_dataset.build(app, build / "test-bin" / "quiet_app")
    largest_path, largest = max(files, key=lambda f: f[1])
    run(build / "bin" / "aerolith-pack", "pack", app, work / "bundle", "--level", LEVEL)
    launcher = work / "aerolith-launcher"
    run(build / "bin" / "aerolith-pack", "embed", build / "bin" / "aerolith-launcher",
        work / "bundle" / "manifest.bin", work / "bundle" / "payload.bin", "-o", launcher)
    listing = run(build / "bin" / "aerolith-pack", "list", work / "bundle", text=True).stdout
    compressed = {line.split("\t")[1].replace("\\", "/"): int(line.split("\t")[3])
                  for line in listing.splitlines()}
    archive = work / "app.tar.zst"
    run("tar", "-I", "zstd -%d" % LEVEL, "-cf", archive, "-C", work, "app")
    extract = work / "extract"
    extract.mkdir()

    # Every local application-data source names one folder of the work area.
    local = work / "home" / ".local" / "share"
    local.mkdir(parents=True)
    env = dict(os.environ, LOCALAPPDATA=str(local), XDG_DATA_HOME=str(local), HOME=str(work / "home"),
               XDG_RUNTIME_DIR=str(work))
    env.pop("AEROLITH_LAUNCHER_TRACE", None)
    os.environ.update(env)
    install = local / "Aerolith"
    payload_size = (work / "bundle" / "payload.bin").stat().st_size
    print("data set: %d files in %d folders, %.1f MB, largest %.2f MB; payload %.2f MB (level %d), "
          "tar.zst %.2f MB" % (len(files), len({os.path.dirname(p) for p, _ in files}), sum(s for _, s in files) / 1e6,
                               largest / 1e6, payload_size / 1e6, LEVEL, archive.stat().st_size / 1e6))

    rows = []
    first_installs = first_install_rows(build, work, launcher, install, archive, extract, runs=21,
                                        warmup=3)
    assert_installed(app, install)
    rows += first_installs
    first, first_cpu = first_installs[0][1:3]

    (intact, intact_cpu), (stat, stat_cpu) = alternating_runs(build, [
        str(launcher), "%s %s" % (build / "bench" / "stat_walk", install)], rounds=1000, warmup=20)
    rows.append(("intact start", intact, intact_cpu, "stat of every file", stat, stat_cpu))

    (repair, repair_cpu), = hyperfine(work, [
        (str(launcher), "find %s -type f -exec touch -m -d @978307200 {} +" % install)], runs=11, warmup=1)
    assert_installed(app, install)
    damaged = install / sorted(files, key=lambda f: f[1])[len(files) // 2][0]
    (one, one_cpu), = hyperfine(work, [(str(launcher), "truncate -s -1 %s" % damaged)], runs=11, warmup=1)
    assert_installed(app, install)
    rows.append(("repair, every time changed", repair, repair_cpu, "first install", first, first_cpu))
    rows.append(("one file damaged", one, one_cpu, "intact start", intact, intact_cpu))

    print()
    failed = print_rows(rows, TARGETS)

    in_process = subprocess.run([str(build / "bench" / "sync_pass_bench"), str(work / "bundle"), str(install),
                                 "--benchmark_repetitions=7", "--benchmark_format=json"],
                                check=True, capture_output=True, text=True).stdout
    medians = {b["run_name"]: b["real_time"] for b in json.loads(in_process)["benchmarks"]
               if b.get("aggregate_name") == "median"}
    print("%-27s %8.0f us              %-20s %8.0f us              %.2f (in one process)" % (
        "pass alone, intact", medians["sync_pass"] / 1e3, "stat walk alone", medians["stat_walk"] / 1e3,
        medians["sync_pass"] / medians["stat_walk"]))

    present, total, inner_present, inner = payload_pages(build, launcher, env, work)
    read = image_reads(launcher, env)
    print()
    print("payload read by an intact start: %d bytes by read calls on the image (strace); %d of %d "
          "payload pages mapped, %d of the %d more than 64 KiB from either end (the kernel maps the "
          "neighbours of the manifest and table pages along with them)" % (
              read, present, total, inner_present, inner))
    zero = read == 0 and inner_present == 0
    failed |= not zero
    damaged.write_bytes(b"damaged")
    present, total, inner_present, inner = payload_pages(build, launcher, env, work)
    print("  for comparison, a start with one damaged file maps %d of %d (%d of %d inner): target 0 "
          "inner on an intact start: %s" % (present, total, inner_present, inner, "met" if zero else "MISSED"))

    shutil.rmtree(install)
    heap, resident = peak_memory(build, launcher, env, work)
    limit = largest + compressed[largest_path] + HEAP_ALLOWANCE
    met = heap <= limit
    failed |= not met
    print("peak memory of a first install: %.1f MiB from malloc (resident %.1f MiB with the image pages "
          "read); target <= largest file %.1f MiB + its frame %.1f MiB + 48 MiB = %.1f MiB: %s" % (
              heap / 2**20, resident / 2**20, largest / 2**20, compressed[largest_path] / 2**20,
              limit / 2**20, "met" if met else "MISSED"))
    sys.exit(1 if failed else 0)


def first_install_rows(build, work, launcher, install, archive, extract, runs, warmup, bundle=None):
    """Rows of a first install by the launcher, and by the pass alone with one
    decoding thread and with one per processor, each against tar; all run in
    turn."""
    bundle = bundle or work / "bundle"
    passes = [work / "pass1", work / "passN"]
    threads = [1, os.cpu_count()]
    # Each run's tree is set aside, not deleted: ext4 avoids reusing inodes
    # freed in the last half minute, and after a deletion of thousands of files
    # every create scans past them, which would time the order of the runs.
    trash = work / "set-aside"
    trash.mkdir(exist_ok=True)
    aside = lambda folder: '[ ! -e %s ] || mv %s "$(mktemp -d -p %s)"' % (folder, folder, trash)
    results = alternating_prepared([
        (str(launcher), aside(install)),
        ("tar -I zstd -xf %s -C %s" % (archive, extract), aside(extract / "app"))] + [
        ("%s %s %s %d" % (build / "bench" / "sync_pass_run", bundle, folder, n), aside(folder))
        for folder, n in zip(passes, threads)], rounds=runs, warmup=warmup)
    shutil.rmtree(trash)
    (first, first_cpu), (tar, tar_cpu), (one, one_cpu), (many, many_cpu) = results
    return [("first install", first, first_cpu, "tar -I zstd -xf", tar, tar_cpu),
            ("pass, 1 decoding thread", one, one_cpu, "tar -I zstd -xf", tar, tar_cpu),
            ("pass, %d decoding threads" % threads[1], many, many_cpu, "tar -I zstd -xf", tar, tar_cpu)]


def peak_memory(build, launcher, env, work):
    """(peak bytes from malloc, peak resident bytes) of one run."""
    report = work / "heap"
    report.unlink(missing_ok=True)
    usage = subprocess.run(["/usr/bin/time", "-v", str(launcher)], check=True, capture_output=True,
                           text=True, env=dict(env, LD_PRELOAD=str(build / "bench" / "libpeak_heap.so"),
                                               AEROLITH_BENCH_HEAP=str(report))).stderr
    resident = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", usage).group(1)) * 1024
    # The launcher's peak is the larger of the two lines: the program it starts
    # reports too, before or after it.
    return max(int(line) for line in report.read_text().split()), resident


if __name__ == "__main__":
    main()
