#!/usr/bin/env bash
# Times a full RAM upload against the display emulator, then another through
# ser2net on loopback (RFC 2217) in front of it, and the refresh period after
# it (about 75 s in all, once built). Usage: bench/upload.sh [BUILD_DIR]
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
trap 'kill $emulator ${server:-} 2>/dev/null || true; wait 2>/dev/null || true; rm -f "$log" "$log.yaml" "$log.pid"' EXIT
"$build/tools/velta-display-emulator" >"$log" &
emulator=$!
for _ in $(seq 100); do
    [[ -s "$log" ]] && break
    sleep 0.1
done
device=$(head -n 1 "$log")
[[ -n "$device" ]] || { echo "the display emulator printed no device" >&2; exit 1; }

port=$((20000 + RANDOM % 20000))
printf '%s\n' "connection: &rfc2217" "  accepter: telnet(rfc2217),tcp,127.0.0.1,$port" \
    "  connector: serialdev,$device,9600n81,local" >"$log.yaml"
ser2net -n -u -P "$log.pid" -c "$log.yaml" 2>/dev/null &
server=$!
timeout 5 bash -c 'until grep -qiE ":$(printf %04X "$0") [0-9A-F]+:0000 0A" /proc/net/tcp; do
    sleep 0.1; done' $port

echo "display emulator on $device, through ser2net on rfc2217://127.0.0.1:$port"
"$build/bench/screenprog-upload-bench" "$device" "rfc2217://127.0.0.1:$port"
echo "frames the display received:"
tail -n +2 "$log"
