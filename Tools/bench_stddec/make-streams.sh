#!/usr/bin/env bash
# Makes the benchmark's streams as bench_stddec makes them itself where the
# ffmpeg program runs (for the Windows build, which runs under Wine):
#
#   bash Tools/bench_stddec/make-streams.sh DIR [SECONDS (10)]
set -euo pipefail
dir=$1
seconds=${2:-10}
mkdir -p "$dir"
for stream in 1920x1080:4M 1280x720:2M; do
  size=${stream%:*} rate=${stream#*:}
  out=$dir/bench-$size-${seconds}s.h264
  [ -s "$out" ] && continue
  ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "testsrc2=s=$size:r=25:d=$seconds" \
    -vf noise=alls=6:allf=t -c:v libx264 -preset veryfast -tune zerolatency -g 50 -b:v "$rate" \
    -maxrate "$rate" -bufsize "$rate" -pix_fmt yuv420p -f h264 "$out.part$$"
  mv "$out.part$$" "$out"
done
