#!/usr/bin/env bash
# Shows the output host's picture in the platform layer's X11 viewer under
# Xvfb and takes a screenshot of the X screen, with the viewer windows laid
# out as the monitors lie: the picture's four colours must be on it.
#   x11-screenshot.sh OUTPUT_HOST X11_SCREENSHOT DIRECTORY
set -euo pipefail
host=$1
shot=$2
out=$3
desktop='1280x720x32@0,0;1024x768x32@1280,0'
mkdir -p "$out"
rm -f "$out"/display "$out"/*.log "$out"/*.bmp "$out"/*.png

Xvfb -displayfd 3 -screen 0 2400x800x24 -nolisten tcp 3>"$out/display" >"$out/xvfb.log" 2>&1 &
xvfb=$!
host_pid=
cleanup() {
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 200); do [ -s "$out/display" ] && break; sleep 0.1; done
[ -s "$out/display" ] || { echo "Xvfb did not start"; cat "$out/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n1 "$out/display")"

KOVA_VIEWER=x11 "$host" --desktop "$desktop" --hold 8000 --snapshot "$out/monitor" >"$out/host.log" 2>&1 &
host_pid=$!
# Drawn and checked once the host reports its verdict on the monitors.
for _ in $(seq 600); do grep -q 'wrong$' "$out/host.log" 2>/dev/null && [ "$(grep -c 'wrong$' "$out/host.log")" -ge 2 ] && break; sleep 0.1; done
cat "$out/host.log"
status=0
"$shot" "$out/screen.png" || status=1
wait "$host_pid" || status=1
host_pid=
echo "screenshot: $out/screen.png"
exit $status
