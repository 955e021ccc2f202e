#!/usr/bin/env bash
# A release of about 600 MB (six files of random, incompressible bytes) packed,
# embedded by the native-release aerolith-pack into the Windows launcher image
# (build/windows, built here if missing), read back and embedded again over
# itself. Prints each step's time and the embedding's peak memory.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j2 --target aerolith_pack >/dev/null
launcher=build/windows/bin/Aerolith.Launcher.exe
if [ ! -f "$launcher" ]; then
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j2 --target aerolith_launcher >/dev/null
fi
tool=build/native-release/bin/aerolith-pack
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/app/data"
head -c 1000 /dev/urandom >"$work/app/Aerolith.exe"
for i in 1 2 3 4 5 6; do head -c 100000000 /dev/urandom >"$work/app/data/part$i.bin"; done

step() {  # step NAME COMMAND...: runs the command, prints its time and peak memory
  local name=$1
  shift
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >"$work/out" 2>"$work/err" ||
    { cat "$work/err"; exit 1; }
  read -r seconds kib <"$work/time"
  printf '%-34s %6.2f s  peak %5d MiB\n' "$name" "$seconds" $((kib / 1024))
}

step "pack (level 1)" "$tool" pack "$work/app" "$work/bundle" --level 1
payload=$(stat -c %s "$work/bundle/payload.bin")
echo "payload: $((payload / 1000000)) MB"
step "embed into the Windows launcher" "$tool" embed "$launcher" "$work/bundle/manifest.bin" \
  "$work/bundle/payload.bin" -o "$work/Aerolith.Launcher.exe" --version 1.2.3.4
step "list the image" "$tool" list "$work/Aerolith.Launcher.exe"
step "verify the image (every frame)" "$tool" verify "$work/Aerolith.Launcher.exe"
head -n 1 "$work/out"
step "embed again over the image" "$tool" embed "$work/Aerolith.Launcher.exe" \
  "$work/bundle/manifest.bin" "$work/bundle/payload.bin" -o "$work/Aerolith.Launcher.exe"
"$tool" list "$work/bundle" >"$work/from-bundle"
"$tool" list "$work/Aerolith.Launcher.exe" >"$work/from-image"
cmp -s "$work/from-bundle" "$work/from-image" && echo "read back: the image lists the bundle's entries"
echo "image: $(($(stat -c %s "$work/Aerolith.Launcher.exe") / 1000000)) MB"
