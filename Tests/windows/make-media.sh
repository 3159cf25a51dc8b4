#!/usr/bin/env bash
# Makes the sample streams the Wine playback program plays, on the build
# machine, with the names and contents the test media helpers would make
# themselves (Tests/support/Media.cpp, VendorSample.cpp) where an ffmpeg
# program can run:
#
#   bash Tests/windows/make-media.sh DIR
set -euo pipefail
dir=$1
mkdir -p "$dir"
sample() {  # sample NAME ARGUMENTS...: once, under a temporary name
  local name=$1
  shift
  [ -s "$dir/$name" ] && return 0
  ffmpeg -nostdin -hide_banner -loglevel error -y "$@" "$dir/$name.part$$"
  mv "$dir/$name.part$$" "$dir/$name"
}
quadrants() {  # quadrants WIDTH HEIGHT FRAMES: red, white, black, blue
  echo "-f lavfi -i color=c=white:s=$1x$2:r=25:d=$3,drawbox=x=0:y=0:w=iw/2:h=ih/2:color=red:t=fill,drawbox=x=0:y=ih/2:w=iw/2:h=ih/2:color=black:t=fill,drawbox=x=iw/2:y=ih/2:w=iw/2:h=ih/2:color=blue:t=fill -frames:v $3"
}
# shellcheck disable=SC2046
sample quad-320x240-50.h264 $(quadrants 320 240 50) -c:v libx264 -preset ultrafast -tune zerolatency -g 6 -pix_fmt yuv420p -f h264
# shellcheck disable=SC2046
sample quad-352x288-12.m4v $(quadrants 352 288 12) -c:v mpeg4 -g 6 -q:v 2 -f m4v
# shellcheck disable=SC2046
sample quad-640x360-12.mjpeg $(quadrants 640 360 12) -c:v mjpeg -q:v 2 -pix_fmt yuvj420p -f mjpeg
sample tone-440-2s.ulaw -f lavfi -i sine=f=440:r=8000:d=2 -c:a pcm_mulaw -f mulaw
# The vendor sample's elementary streams (default options): red, green, blue
# and white quadrants, 25 pictures a second for 4 s, and a 1 kHz A-law tone.
sample quad-320x240-25fps-4s-gop25.h264 -f lavfi \
  -i "color=c=0xFFFFFF:s=320x240:r=25:d=4,drawbox=x=0:y=0:w=iw/2:h=ih/2:color=0xFF0000:t=fill,drawbox=x=iw/2:y=0:w=iw/2:h=ih/2:color=0x00FF00:t=fill,drawbox=x=0:y=ih/2:w=iw/2:h=ih/2:color=0x0000FF:t=fill" \
  -frames:v 100 -c:v libx264 -preset ultrafast -tune zerolatency -g 25 -pix_fmt yuv420p -x264-params aud=1 -f h264
sample tone-1000hz-4s.alaw -f lavfi -i sine=frequency=1000:sample_rate=8000:duration=4 -ac 1 -c:a pcm_alaw -f alaw
