#!/usr/bin/env bash
# Builds the packet fuzzer with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz/, seeds it with one valid packet
# of every codec (made with ffmpeg) and runs it for a bounded time.
#   bash Tools/fuzz/run.sh [seconds]     (default 60)
#   bash Tools/fuzz/run.sh CRASH-FILE    replays one input
#   KOVA_FUZZ_TYPE=22 bash Tools/fuzz/run.sh 600   one stream type only
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds="${1:-60}"
replay=""
if [ -f "$seconds" ]; then
  replay=$(realpath "$seconds")
fi
build=build-fuzz

# The library and its outside libraries are shared objects linked with
# --no-undefined: they take the sanitizer runtime as a shared library too.
# Clang calls libatomic for some atomics that GCC inlines.
runtime_dir=$(dirname "$(clang -print-file-name=libclang_rt.asan-x86_64.so)")
link="-shared-libasan -Wl,-rpath,$runtime_dir -Wl,--push-state,--no-as-needed -latomic -Wl,--pop-state"
cmake -S . -B "$build" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKOVA_SANITIZE=address,undefined \
  -DCMAKE_C_FLAGS="-fsanitize=fuzzer-no-link -fno-sanitize-recover=undefined" \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link -fno-sanitize-recover=undefined" \
  -DCMAKE_SHARED_LINKER_FLAGS="$link" -DCMAKE_EXE_LINKER_FLAGS="$link" \
  -DKOVA_BUILD_TESTS=OFF -DKOVA_FUZZ=ON >/dev/null
cmake --build "$build" --target kova_fuzz_packets

# Seeds: a header (stream type index, kind) and one whole packet.
corpus="$build/fuzz-corpus"
mkdir -p "$corpus"
seed() {  # seed NAME TYPE_INDEX KIND FFMPEG_ARGS...
  local name=$1 index=$2 kind=$3; shift 3
  [ -s "$corpus/$name" ] && return
  local raw="$build/fuzz-seed-$name"
  ffmpeg -nostdin -hide_banner -loglevel error -y "$@" "$raw"
  { printf "\\x$(printf %02x "$index")\\x$(printf %02x "$kind")"; head -c 60000 "$raw"; } > "$corpus/$name"
  rm -f "$raw"
}
picture="-f lavfi -i testsrc=s=176x144:r=25:d=1 -frames:v 1"
tone="-f lavfi -i sine=f=440:r=8000:d=0.02"
# Indexes into the fuzzer's stream type list: 7 = 22 (H.264), 1 = 2 (MPEG-4),
# 20 = 192 (Motion JPEG), 11 = 96 (mu-law), 3 = 9 (A-law), 5 = 17 (G.722).
seed h264 7 20 $picture -c:v libx264 -preset ultrafast -pix_fmt yuv420p -f h264
seed mpeg4 1 20 $picture -c:v mpeg4 -f m4v
seed mjpeg 20 20 $picture -c:v mjpeg -pix_fmt yuvj420p -f mjpeg
seed mulaw 11 3 $tone -c:a pcm_mulaw -f mulaw
seed alaw 3 3 $tone -c:a pcm_alaw -f alaw
seed g722 5 3 -f lavfi -i sine=f=1000:r=16000:d=0.02 -c:a g722 -f g722

# Faults must reach the sanitizer, not the library's fault guard.
export ASAN_OPTIONS="allow_user_segv_handler=0:handle_segv=1:detect_leaks=0:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export KOVA_WAVE_OUT=null
if [ -n "$replay" ]; then
  LD_PRELOAD="$runtime_dir/libclang_rt.asan-x86_64.so" "$build/Tools/fuzz/kova_fuzz_packets" "$replay"
  exit
fi
# libFuzzer puts the C++ runtime ahead of the sanitizer runtime; preloading
# puts the sanitizer first, as it must be.
LD_PRELOAD="$runtime_dir/libclang_rt.asan-x86_64.so" "$build/Tools/fuzz/kova_fuzz_packets" "$corpus" \
  -max_total_time="$seconds" -max_len=65536 -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 \
  -artifact_prefix="$build/"
