#!/usr/bin/env bash
# Builds the unit and integration tests with ThreadSanitizer in build-tsan/
# (test programs only, no tools) and runs every test with threads: the
# exports and the sound owner, the log (across threads and processes), the
# video output and its refresh thread, the renderer and its pacing timer,
# the frame pool, wave output, the standard decoder, the vendor decoder and
# player, the playback tests through the library, and the platform layer's
# conformance programs. Any reported race fails the run; there is no
# suppression file.
#
# Left out: the tests that raise real processor faults (names with "Fault",
# and the facade whose constructor faults): the guard leaves the handler
# with a jump the sanitizer cannot follow, so it loses track of the
# thread's state; they run under the address sanitizer (Tools/asan.sh).
# The colour kernels' sweep of every value is one thread of arithmetic and
# takes minutes under this sanitizer; the packaging check builds a client
# without it.
#   bash Tools/tsan.sh [CTEST_REGEX]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-tsan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKOVA_SANITIZE=thread -DKOVA_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" -j2
only=(); [ $# -gt 0 ] && only=(-R "$1")
# Sound goes nowhere.
export KOVA_WAVE_OUT="${KOVA_WAVE_OUT:-null}"
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
ctest --test-dir "$build" --output-on-failure -j2 "${only[@]}" \
  -E 'Fault|AFacadeThatCannotBeCreated|^install\.|EveryTriple'
