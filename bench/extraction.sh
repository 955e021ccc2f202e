#!/usr/bin/env bash
# Prints entry extraction's throughput (MB/s of content) beside a bare
# ZSTD_decompress loop over the same frames, and their ratio; target: 0.9 or
# more against the loop that, like the launcher, keeps each file's content in
# a buffer of its own. The loop through one reused buffer, which touches far
# less memory, is shown for comparison. Builds the optimised native tree first.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j 2 --target extraction_bench >/dev/null
json=$(mktemp)
trap 'rm -f "$json"' EXIT
# Repetitions in random order, so that a busy machine slows each alike.
build/native-release/bench/extraction_bench --benchmark_repetitions=15 \
  --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
  --benchmark_out="$json" --benchmark_out_format=json >/dev/null 2>&1
python3 - "$json" <<'PY'
import json, sys
median = {b["run_name"].split("/")[0]: b["bytes_per_second"] / 1e6
          for b in json.load(open(sys.argv[1]))["benchmarks"] if b.get("aggregate_name") == "median"}
extract = median["ExtractEntries"]
print("entry extraction:                        %7.1f MB/s" % extract)
for name, label in (("BareDecompress", "bare loop, a buffer per file"),
                    ("BareDecompressOneBuffer", "bare loop, one reused buffer")):
    print("%-40s %7.1f MB/s   ratio %.3f" % (label + ":", median[name], extract / median[name]))
PY
