#!/usr/bin/env bash
# The Wine lane: the Win32 conformance programs and the system's Windows code
# paths, cross-built for x86_64 Windows and run under Wine64, a second Win32
# implementation written by other hands than our platform layer.
#
#   bash Tools/wine-lane.sh [build-dir]      (default build-win64)
#
# Each program runs in a fresh Wine prefix of its own, copied from one
# template made per run (wineboot costs some 30-60 s; a copy about 1 s), under
# a private headless X server and a private ALSA configuration whose default
# PCM is a null device, with a bounded time each. Prints every program's
# result and then "N passed, N failed"; exits non-zero when anything failed.
#
# Programs that draw into child windows run with Wine's GDI renderer (set in
# their own prefix): under Wine 8's default, OpenGL, DirectDraw pictures do
# not reach child windows and two such windows can hang in Wine's Direct3D
# command threads (README, "kova-play on Windows"). Every other program
# keeps the default renderer.
#
# Environment: KOVA_WINE_TIMEOUT (seconds per program, default 300),
# KOVA_WINE_FILTER (a regular expression: run only matching programs).
set -euo pipefail
# The build directory as the caller names it (relative to where the lane is
# started), made absolute before moving to the top of the tree.
build=$(realpath -m "${1:-$(dirname "$0")/../build-win64}")
cd "$(dirname "$0")/.."
per_program=${KOVA_WINE_TIMEOUT:-300}
filter=${KOVA_WINE_FILTER:-.}
gdi_renderer='^kova_wine_play_e2e$'
lane_start=$(date +%s)

# --- What the lane needs on a clean Debian machine -------------------------
need=(wine64 xvfb g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest cmake ninja-build ffmpeg)
bash Tools/install-missing.sh "wine lane" "${need[@]}"

wine=""
for w in wine64 /usr/lib/wine/wine64 wine; do
  if command -v "$w" >/dev/null 2>&1; then wine=$(command -v "$w"); break; fi
done
[ -n "$wine" ] || { echo "wine lane: no wine64 loader found" >&2; exit 1; }
wineserver=""
for w in wineserver /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver; do
  if command -v "$w" >/dev/null 2>&1; then wineserver=$(command -v "$w"); break; fi
done
[ -n "$wineserver" ] || { echo "wine lane: no wineserver found" >&2; exit 1; }

# --- Build -------------------------------------------------------------------
cmake -S . -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake \
  -DKOVA_BUILD_TESTS=ON -DKOVA_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" -j2

# The programs the lane runs: the conformance programs, then the system's
# tests that need no outside library.
programs=()
for exe in "$build"/Tests/*_test.exe "$build"/Tests/kova_wine_*.exe; do
  [ -f "$exe" ] || continue
  name=$(basename "$exe" .exe)
  [[ $name =~ $filter ]] || continue
  programs+=("$exe")
done
[ ${#programs[@]} -gt 0 ] || { echo "wine lane: no test programs in $build/Tests" >&2; exit 1; }

# --- A private world: X server, ALSA, prefixes ------------------------------
work=$(mktemp -d /tmp/kova-wine-lane.XXXXXX)
xvfb_pid=""
current_prefix=""
small_mounted=""
cleanup() {
  set +e
  if [ -n "$small_mounted" ]; then umount "$work/small" 2>/dev/null || umount -l "$work/small" 2>/dev/null; fi
  for p in "$current_prefix" "$work/template"; do
    if [ -n "$p" ] && [ -d "$p" ]; then
      WINEPREFIX=$p "$wineserver" -k >/dev/null 2>&1
    fi
  done
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Xvfb picks a free display itself and reports it on the descriptor given.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1920x1080x24 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log" >&2; echo "wine lane: Xvfb failed" >&2; exit 1; }
  sleep 0.1
done
[ -s "$work/display" ] || { echo "wine lane: Xvfb reported no display" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

# Wine's wave-out opens the default ALSA device: a file PCM over a null one,
# per program (below), lets devices open on machines without sound hardware
# (it is not paced in real time) and keeps what was played, as a WAV file the
# program finds through KOVA_WINE_SOUND_FILE.
sound_device() {  # sound_device NAME
  cat >"$work/asound-$1.conf" <<EOF
pcm.!default { type file; slave { pcm { type null } }; file "$work/sound-$1.wav"; format wav }
ctl.!default { type null }
EOF
  export ALSA_CONFIG_PATH="$work/asound-$1.conf"
  export KOVA_WINE_SOUND_FILE="Z:$work/sound-$1.wav"
}
sound_device wineboot

# The log's free-space guard wants a drive with less than 100 MiB free: a
# small tmpfs, mapped as drive T: in every prefix (root only; the tests skip
# without it).
mkdir -p "$work/small"
if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=48m kova-wine-small "$work/small" 2>/dev/null; then
  small_mounted=1
  export KOVA_TEST_SMALL_DRIVE='T:\'
else
  echo "wine lane: no small drive (mounting a tmpfs needs root): free-space tests skip"
  unset KOVA_TEST_SMALL_DRIVE
fi
export WINEDEBUG=-all
# No .NET or HTML engine in the prefix: nothing here needs them, and Wine
# would otherwise offer to download them.
export WINEDLLOVERRIDES="mscoree=;mshtml="
unset WINEARCH WINESERVER WINELOADER

boot_start=$(date +%s)
if ! WINEPREFIX="$work/template" timeout -k 10 600 "$wine" wineboot -i >"$work/wineboot.log" 2>&1; then
  cat "$work/wineboot.log" >&2
  echo "wine lane: wineboot failed" >&2
  exit 1
fi
# A crashing program is to end with its fault, not wait for Wine's debugger
# (winedbg can hang on a loaded machine): point the post-mortem debugger at a
# program that does not exist.
WINEPREFIX="$work/template" timeout -k 10 120 "$wine" reg add \
  'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /t REG_SZ \
  /d kova-no-debugger.exe /f >/dev/null 2>&1 || echo "wine lane: could not switch the debugger off" >&2
WINEPREFIX="$work/template" timeout -k 10 120 "$wineserver" -w || true
echo "wine lane: template prefix ready in $(( $(date +%s) - boot_start )) s on display $DISPLAY, wine $("$wine" --version 2>/dev/null)"

# --- Run -------------------------------------------------------------------
passed=0
failed=0
failed_names=()
for exe in "${programs[@]}"; do
  name=$(basename "$exe" .exe)
  current_prefix="$work/prefix-$name"
  cp -a "$work/template" "$current_prefix"
  [ -z "$small_mounted" ] || ln -s "$work/small" "$current_prefix/dosdevices/t:"
  renderer=""
  if [[ $name =~ $gdi_renderer ]]; then
    renderer=" with the GDI renderer"
    WINEPREFIX="$current_prefix" timeout -k 10 120 "$wine" reg add 'HKCU\Software\Wine\Direct3D' \
      /v renderer /t REG_SZ /d gdi /f >/dev/null 2>&1 || echo "wine lane: could not set the GDI renderer for $name" >&2
    WINEPREFIX="$current_prefix" timeout -k 10 120 "$wineserver" -w || true
  fi
  mkdir -p "$work/cwd-$name"
  sound_device "$name"
  t0=$(date +%s)
  set +e
  (cd "$work/cwd-$name" &&
   WINEPREFIX="$current_prefix" timeout -k 10 "$per_program" "$wine" "$exe") >"$work/$name.log" 2>&1
  rc=$?
  set -e
  WINEPREFIX="$current_prefix" "$wineserver" -k >/dev/null 2>&1 || true
  WINEPREFIX="$current_prefix" timeout -k 5 30 "$wineserver" -w >/dev/null 2>&1 || true
  secs=$(( $(date +%s) - t0 ))
  if [ $rc -eq 0 ]; then
    passed=$((passed + 1))
    summary=$(grep -E 'passed|PASSED' "$work/$name.log" | tail -n1 || true)
    [ -n "$summary" ] || summary=$(grep -v '^ *$' "$work/$name.log" | tail -n3 | tr '\n' ' ')
    echo "wine lane: PASS $name${renderer} (${secs} s): $summary"
  else
    failed=$((failed + 1))
    failed_names+=("$name")
    if [ $rc -eq 124 ] || [ $rc -eq 137 ]; then echo "wine lane: $name timed out after ${per_program} s"; fi
    echo "wine lane: FAIL $name${renderer} (exit $rc, ${secs} s); its output:"
    sed 's/^/    /' "$work/$name.log" | tail -n 200
  fi
  rm -rf "$current_prefix" "$work/cwd-$name" "$work/sound-$name.wav"
  current_prefix=""
done

echo "wine lane: ${passed} passed, ${failed} failed in $(( $(date +%s) - lane_start )) s${failed_names[*]:+ (failed: ${failed_names[*]})}"
[ "$failed" -eq 0 ]
