#!/usr/bin/env bash
# Builds native-release and packs about 9 MB of shared libraries (executable code
# like a release's) at the default level and at level 3; prints MB/s of input.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j2 --target aerolith_pack >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/app/lib"
total=0
for f in /usr/lib/x86_64-linux-gnu/*.so.*; do
  [ -f "$f" ] && [ ! -L "$f" ] || continue
  size=$(stat -c %s "$f")
  [ $((total + size)) -le 9500000 ] || continue
  cp -p "$f" "$work/app/lib/"
  total=$((total + size))
done
cp -p build/native-release/bin/aerolith-pack "$work/app/Aerolith.exe"
total=$((total + $(stat -c %s "$work/app/Aerolith.exe")))
for level in 19 3; do
  start=$(date +%s.%N)
  build/native-release/bin/aerolith-pack pack "$work/app" "$work/out$level" --level $level >/dev/null
  end=$(date +%s.%N)
  payload=$(stat -c %s "$work/out$level/payload.bin")
  python3 -c "import sys; t=$end-$start; print('level %2d: %.1f MB in %.2f s = %.1f MB/s, payload %.1f%% of input' % ($level, $total/1e6, t, $total/1e6/t, 100.0*$payload/$total))"
done
