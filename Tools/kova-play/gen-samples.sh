#!/usr/bin/env bash
# Makes the bundled sample recordings with Debian's ffmpeg: short camera-like
# clips of different sizes and codecs. Each picture is split into two colours
# (left and right half) with a white square moving along the bottom, so that a
# screenshot shows which clip plays where and that it moves.
#
#   gen-samples.sh [DIR]   (default: samples/ at the top of the tree, or in
#                           the current directory for an installed copy)
#
# Files already there are kept. Nothing here is committed: the clips are
# made where they are needed.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
tree="$here/../.."
[ -f "$tree/CMakeLists.txt" ] || tree="$PWD"  # installed: work where it is run
dir="${1:-$tree/samples}"
mkdir -p "$dir"
# An ffmpeg run that fails ends the script: leave none of its pieces behind.
trap 'rm -f -- "$dir"/.partial-$$-*' EXIT
seconds="${KOVA_SAMPLE_SECONDS:-6}"

# name size rate left-colour right-colour video-args sound-args tone-Hz format
clip() {
  local name="$1" size="$2" rate="$3" left="$4" right="$5" video="$6" sound="$7"
  local out="$dir/$name"
  [ -s "$out" ] && return 0
  local h="${size#*x}"
  local square=$(( h / 6 ))
  local picture="color=c=$left:s=$size:r=$rate,drawbox=x=iw/2:y=0:w=iw/2:h=ih:color=$right:t=fill[bg];"
  picture+="color=c=white:s=${square}x${square}:r=$rate[sq];"
  picture+="[bg][sq]overlay=x='mod(t*W/3\,W-w)':y=H-h"
  local inputs=(-f lavfi -i "$picture")
  [ -n "$sound" ] && inputs+=(-f lavfi -i "sine=f=${8:-440}:r=8000:samples_per_frame=320")
  local partial="$dir/.partial-$$-$name"
  # shellcheck disable=SC2086
  ffmpeg -nostdin -hide_banner -loglevel error -y "${inputs[@]}" -t "$seconds" $video $sound \
         -f "${9}" "$partial"
  mv "$partial" "$out"
  echo "made $out"
}

h264="-c:v libx264 -profile:v baseline -preset veryfast -bf 0 -g 25 -pix_fmt yuv420p"
clip cam1-h264.mp4          640x360 25 0xE02020 0xE0E020 "$h264" ""                              440 mp4
clip cam2-mpeg4-g711u.mkv   352x288 25 0x2040E0 0x20E0E0 "-c:v mpeg4 -q:v 3 -g 25 -bf 0" "-c:a pcm_mulaw" 440 matroska
clip cam3-mjpeg-g726.mkv    320x240 15 0x20C040 0xD020D0 "-c:v mjpeg -q:v 3 -pix_fmt yuvj420p" "-c:a adpcm_g726 -b:a 32k" 660 matroska
clip cam4-h264-g711a.mov    704x576 25 0xF08000 0x808080 "$h264" "-c:a pcm_alaw"               880 mov
clip cam5-h264.ts           480x270 30 0x8020E0 0x20A0A0 "$h264 -g 30" ""                      440 mpegts

# The vendor sample (stream header, then a program stream with H.264 and
# G.711) is written by the tests' sample maker (kova-vendor-sample): ffmpeg
# does not put G.711 into a program stream.
maker="${KOVA_VENDOR_SAMPLE_MAKER:-$tree/build/Tools/kova-play/kova-vendor-sample}"
if [ ! -s "$dir/cam6-vendor.hik" ]; then
  if [ -x "$maker" ]; then
    "$maker" "$dir/cam6-vendor.hik" && echo "made $dir/cam6-vendor.hik"
  else
    echo "no vendor sample: $maker is not built"
  fi
fi
