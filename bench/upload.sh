#!/usr/bin/env bash
# Times a full RAM upload against the display emulator and the refresh period
# after it (about 60 s in all, once built). Usage: bench/upload.sh [BUILD_DIR]
# BUILD_DIR defaults to build/release; it is configured and the two programs
# are built there when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
if [[ ! -f "$build/build.ninja" && ! -f "$build/Makefile" ]]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target velta-display-emulator screenprog-upload-bench -j2 >/dev/null

log=$(mktemp)
trap 'kill "$emulator" 2>/dev/null || true; wait "$emulator" 2>/dev/null || true; rm -f "$log"' EXIT
"$build/tools/velta-display-emulator" >"$log" &
emulator=$!
for _ in $(seq 100); do
    [[ -s "$log" ]] && break
    sleep 0.1
done
device=$(head -n 1 "$log")
[[ -n "$device" ]] || { echo "the display emulator printed no device" >&2; exit 1; }

echo "display emulator on $device"
"$build/bench/screenprog-upload-bench" "$device"
echo "frames the display received:"
tail -n +2 "$log"
