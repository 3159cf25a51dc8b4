#!/usr/bin/env bash
# Runs the wall benchmark's Windows build under Wine64, as the Wine lane runs
# its programs (Tools/wine-lane.sh): a private Xvfb screen of 1920x1080, a
# fresh Wine prefix, ALSA's null PCM as the sound device. The prefix uses
# Wine's GDI renderer: with its default, OpenGL on Xvfb's software renderer,
# presenting a picture cost 18 to 120 ms of CPU and walls of 36 panes and
# more showed no picture at all (README, "A wall of panes").
#
#   bash Tools/bench_wall/wine.sh BUILD_DIR SECONDS SIZE:PANES...
#   e.g. bash Tools/bench_wall/wine.sh build-win64 30 d1:1 d1:16 d1:64
#
# BUILD_DIR is an x86_64 mingw build with tools (-DKOVA_BUILD_TOOLS=ON) and
# bench_wall built. The streams are made here with the ffmpeg program.
set -euo pipefail
build=$(realpath "$1")
seconds=$2
shift 2
wine=""
for w in wine64 /usr/lib/wine/wine64 wine; do
  if command -v "$w" >/dev/null 2>&1; then wine=$(command -v "$w"); break; fi
done
wineserver=""
for w in wineserver /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver; do
  if command -v "$w" >/dev/null 2>&1; then wineserver=$(command -v "$w"); break; fi
done
[ -n "$wine" ] && [ -n "$wineserver" ] || { echo "wine64 is needed (apt-get install -y wine64 xvfb)" >&2; exit 1; }
work=$(mktemp -d /tmp/kova-wall-wine.XXXXXX)
xvfb_pid=""
cleanup() {
  set +e
  WINEPREFIX="$work/prefix" "$wineserver" -k >/dev/null 2>&1
  [ -z "$xvfb_pid" ] || { kill "$xvfb_pid"; wait "$xvfb_pid"; } 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The program, every DLL of the build beside it, and the streams.
mkdir -p "$work/run"
cp "$build/Tools/bench_wall/bench_wall.exe" "$work/run/"
find "$build" -name '*.dll' -not -path '*/CMakeFiles/*' -exec cp -n {} "$work/run/" \;
declare -A geometry=([cif]=352x288:384k [d1]=704x576:1500k [1080]=1920x1080:4M)
for run in "$@"; do
  size=${run%%:*}
  file="$work/run/bench-wall-$size.h264"
  [ -f "$file" ] && continue
  g=${geometry[$size]}
  ffmpeg -loglevel error -y -f lavfi -i "testsrc2=s=${g%%:*}:r=25:d=10" -vf noise=alls=6:allf=t \
    -c:v libx264 -preset veryfast -tune zerolatency -g 50 -b:v "${g##*:}" -maxrate "${g##*:}" \
    -bufsize "${g##*:}" -pix_fmt yuv420p -f h264 "$file"
done

Xvfb -displayfd 3 -nolisten tcp -screen 0 1920x1080x24 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"
printf 'pcm.!default { type null }\nctl.!default { type null }\n' >"$work/asound.conf"
export ALSA_CONFIG_PATH="$work/asound.conf" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
export WINEPREFIX="$work/prefix"
unset WINEARCH WINESERVER WINELOADER
timeout -k 10 600 "$wine" wineboot -i >"$work/wineboot.log" 2>&1
timeout -k 10 120 "$wine" reg add 'HKCU\Software\Wine\Direct3D' /v renderer /t REG_SZ /d gdi /f >/dev/null 2>&1 ||
  { echo "could not set Wine's GDI renderer" >&2; exit 1; }
"$wineserver" -w || true
timeout -k 10 120 "$wine" reg query 'HKCU\Software\Wine\Direct3D' /v renderer 2>/dev/null | grep -qi 'renderer.*gdi' ||
  { echo "Wine's GDI renderer is not set in the prefix" >&2; exit 1; }

first=1
for run in "$@"; do
  size=${run%%:*}
  panes=${run##*:}
  if [ "$first" = 1 ]; then export BENCH_WALL_HEADER=1; else unset BENCH_WALL_HEADER; fi
  (cd "$work/run" && timeout -k 10 $((seconds * 4 + 120)) "$wine" bench_wall.exe "$panes" "$size" "$seconds" "bench-wall-$size.h264") |
    grep '^|' || echo "| $panes | $size | failed |"
  first=0
done
