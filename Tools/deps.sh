#!/usr/bin/env bash
# Installs what building, testing and demonstrating KovaDecoder needs on a
# Debian machine. Quiet and quick when everything is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev ffmpeg
  libx11-dev libpng-dev zlib1g-dev libasound2-dev libyuv-dev
  xvfb locales wine64 googletest
  clang libclang-rt-dev
  libgstrtspserver-1.0-dev gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly
  gstreamer1.0-x fonts-dejavu-core
)

bash "$(dirname "$0")/install-missing.sh" deps "${packages[@]}"
