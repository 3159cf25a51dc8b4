#!/usr/bin/env bash
# Installs what is needed, builds, and plays the bundled sample streams.
set -euo pipefail
cd "$(dirname "$0")/.."
bash Tools/deps.sh
cmake -S . -B build -G Ninja
cmake --build build
if [ -x build/Tools/kova-play/kova-play ]; then
  exec bash Tools/kova-play/play-samples.sh "$@"
fi
echo "Built build/Src/libKovaDecoder.so. The sample player is not part of this tree yet."
