#!/usr/bin/env bash
# Builds native-release and measures the launcher's synchronisation on a
# release-sized bundle made from Wine's Windows executables: first install vs
# tar (also the pass alone with one decoding thread and with one per
# processor), an intact start vs a process that only stats the files (and the
# payload bytes it read), repair, one damaged file and peak memory, each
# printed as a ratio with its target. See sync_bench.py.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j 2 \
  --target aerolith_launcher aerolith_pack quiet_app stat_walk alternating_runs sync_pass_bench \
  sync_pass_run payload_pages peak_heap >/dev/null
exec python3 bench/sync_bench.py build/native-release
