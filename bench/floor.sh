#!/usr/bin/env bash
# Builds native-release and the Windows build and sets the launcher beside the
# floor of its work: first install and intact start of 30,000 empty files
# against bench/floor_tree natively and under Wine, the 55-file release set
# against tar, and the peak memory of one 1.3 GB entry. Arguments go to
# floor_bench.py (e.g. --rounds 3). See floor_bench.py and calls_per_file.py.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j 2 \
  --target aerolith_launcher aerolith_pack quiet_app floor_tree peak_heap >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows -j 2 --target aerolith_launcher quiet_app floor_tree >/dev/null
exec python3 bench/floor_bench.py build/native-release build/windows "$@"
