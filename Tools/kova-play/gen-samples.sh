#!/usr/bin/env bash
# Makes the bundled sample recordings with Debian's ffmpeg: short clips that
# look like what a camera wall shows, at the sizes and codecs of cameras. Each
# is a dim scene under slowly moving light, with people and cars crossing
# it, sensor noise, and the camera's clock and name burnt in (when a font is
# installed). Two privacy masks of solid colour, left and right at the height
# of the upper middle, stay put: a screenshot shows by them which clip plays
# where.
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
font=/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf
start=$(date +%s)

# name size rate left-mask right-mask video-args sound-args tone-Hz format label
clip() {
  local name="$1" size="$2" rate="$3" left="$4" right="$5" video="$6" sound="$7"
  local out="$dir/$name"
  [ -s "$out" ] && return 0
  local w="${size%x*}" h="${size#*x}"
  local person="$(( w / 16 / 2 * 2 ))x$(( h / 4 / 2 * 2 ))" car="$(( w / 5 / 2 * 2 ))x$(( h / 8 / 2 * 2 ))"
  local picture="gradients=s=$size:r=$rate:c0=0x1c2430:c1=0x5a5a50:c2=0x2a3a28:nb_colors=3:speed=0.02:seed=7[scene];"
  picture+="color=c=0x181818:s=$person:r=$rate[person];color=c=0x9090a0:s=$car:r=$rate[car];"
  picture+="[scene][person]overlay=x='mod(t*W/7\,W+w)-w':y=H*0.6[walk];"
  picture+="[walk][car]overlay=x='W-mod(t*W/3\,W+w)':y=H*0.84,"
  picture+="drawbox=x=iw*0.1:y=ih*0.25:w=iw*0.3:h=ih*0.3:color=$left:t=fill,"
  picture+="drawbox=x=iw*0.6:y=ih*0.25:w=iw*0.3:h=ih*0.3:color=$right:t=fill,"
  picture+="noise=alls=7:allf=t"
  if [ -r "$font" ]; then
    picture+=",drawtext=fontfile=$font:fontsize=h/22:fontcolor=white:box=1:boxcolor=black@0.4:x=w/40:y=h/40"
    picture+=":text='%{pts\\:localtime\\:$start}  ${10}'"
  fi
  local inputs=(-f lavfi -i "$picture")
  [ -n "$sound" ] && inputs+=(-f lavfi -i "sine=f=${8:-440}:r=8000:samples_per_frame=320")
  local partial="$dir/.partial-$$-$name"
  # shellcheck disable=SC2086
  ffmpeg -nostdin -hide_banner -loglevel error -y "${inputs[@]}" -t "$seconds" $video $sound \
         -f "${9}" "$partial"
  mv "$partial" "$out"
  echo "made $out"
}

h264="-c:v libx264 -profile:v main -preset veryfast -bf 0 -g 25 -pix_fmt yuv420p"
clip cam1-h264.mp4        1920x1080 25 0xE02020 0xE0E020 "$h264" ""                       440 mp4      "GATE 1080p"
clip cam2-mpeg4-g711u.mkv 704x576   25 0x2040E0 0x20E0E0 "-c:v mpeg4 -q:v 4 -g 25 -bf 0" "-c:a pcm_mulaw" 440 matroska "YARD D1"
clip cam3-mjpeg-g726.mkv  640x480   15 0x20C040 0xD020D0 "-c:v mjpeg -q:v 5 -pix_fmt yuvj420p" "-c:a adpcm_g726 -b:a 32k" 660 matroska "LOBBY VGA"
clip cam4-h264-g711a.mov  1280x720  25 0xF08000 0x808080 "$h264" "-c:a pcm_alaw"        880 mov      "DOOR 720p"
clip cam5-h264.ts         640x360   30 0x8020E0 0x20A0A0 "$h264 -g 30" ""               440 mpegts   "SUB 360p"

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
