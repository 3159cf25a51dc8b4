#!/usr/bin/env bash
# Builds the unit tests with ThreadSanitizer in build-tsan/ and runs the
# threaded ones: the video output and its refresh thread, the renderer and its
# pacing timer, the frame pool, wave output and the standard decoder's
# presentation thread; then the platform layer's threaded conformance
# programs (waits, threads, timer queues, message queues, wave-out). Any
# reported race fails the run.
#   bash Tools/tsan.sh [GTEST_FILTER]
set -euo pipefail
cd "$(dirname "$0")/.."
filter="${1:-DDraw*:*DisplayFormat*:*TwoMonitor*:VideoRenderer*:HighResolutionTimer*:BufferList*:CBufferManager*:WaveOut*:Qxvideo*:StandardStreamExports*}"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKOVA_SANITIZE=thread -DKOVA_BUILD_TOOLS=OFF >/dev/null
layer_tests=(kernel32_sync_test kernel32_thread_test kernel32_timer_test user32_msgqueue_test winmm_waveout_test)
cmake --build build-tsan --target kova_unit_tests "${layer_tests[@]}"
# The fault guard's own tests raise processor faults on purpose; they are not
# in the filter. Sound goes nowhere.
export KOVA_WAVE_OUT=null
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
build-tsan/Tests/kova_unit_tests --gtest_filter="$filter"
for t in "${layer_tests[@]}"; do
  build-tsan/Tests/$t
done
