#!/usr/bin/env bash
# Builds native-release and measures the launcher on large applications: about
# 10,000 files and 640 MB from /usr (first install vs tar, intact start vs a
# stat walk, peak memory), 20,000 and 150,000 small files (with the split of an
# intact start), and aerolith-pack's speed with 1 and 2 jobs. Takes a few
# minutes and a few GB in /tmp. See big_bench.py.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j 2 --target aerolith_launcher aerolith_pack quiet_app \
  stat_walk alternating_runs sync_pass_bench sync_pass_run peak_heap >/dev/null
exec python3 bench/big_bench.py build/native-release
