#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test, a minute
# of the soak program, every unit and integration test again under the
# address and undefined-behaviour sanitizers and under the thread sanitizer,
# the packet fuzzer for a minute, cross-builds the 32-bit Windows DLL and
# checks its export table, then runs the Win32 tests under Wine64.
set -euo pipefail
cd "$(dirname "$0")/.."
bash Tools/deps.sh

cmake -S . -B build -G Ninja
cmake --build build
ctest --test-dir build --output-on-failure -j2

# A minute of the soak program: instance lifetimes over every stream type,
# then a 16-pane wall; fails when threads, handles or descriptors grew.
build/Tools/soak/kova_soak --cycle-seconds 30 --wall-seconds 30 --sample-seconds 10

# The unit and integration tests again under AddressSanitizer with
# UndefinedBehaviorSanitizer, then under ThreadSanitizer.
bash Tools/asan.sh
bash Tools/tsan.sh

# The packet fuzzer under AddressSanitizer and UndefinedBehaviorSanitizer,
# for a bounded time.
bash Tools/fuzz/run.sh 60

# The Windows builds make their FFmpeg from Debian's source package once per
# build directory (Tools/ffmpeg-mingw.sh; some minutes per architecture).
cmake -S . -B build-win32 -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake \
  -DKOVA_BUILD_TESTS=OFF -DKOVA_BUILD_TOOLS=OFF
cmake --build build-win32 --target KovaDecoder
bash Tools/check-exports.sh build-win32/Src/KovaDecoder.dll

# The same Win32 tests and the system's Windows code paths under Wine64.
bash Tools/wine-lane.sh build-win64
