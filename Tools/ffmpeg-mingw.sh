#!/usr/bin/env bash
# Builds the FFmpeg DLLs the Windows builds link against, from Debian's own
# source package (FFmpeg 5.1 with Debian's patches), with only what the
# outside libraries and kova-play use:
#
#   bash Tools/ffmpeg-mingw.sh ARCH PREFIX     (ARCH: i686 or x86_64)
#
# Installs avcodec/avformat/avutil/swscale DLLs into PREFIX/bin, import
# libraries into PREFIX/lib and headers into PREFIX/include, then writes
# PREFIX/kova-ffmpeg.stamp. Does nothing when the stamp is there and names the
# same configuration, so a second call costs nothing.
#
# The source is fetched once into KOVA_FFMPEG_SOURCE_CACHE (default
# ~/.cache/kova-ffmpeg) and shared by every architecture and build directory.
# Debian has no mingw FFmpeg, but its archive has the source: a deb-src entry
# is made by copying the machine's own deb entries, so no archive address is
# written here. KOVA_FFMPEG_ASM=0 builds without the x86 assembly (slower
# decoding, no nasm needed).
set -euo pipefail
tools=$(cd "$(dirname "$0")" && pwd)

arch=${1:?usage: ffmpeg-mingw.sh i686|x86_64 PREFIX}
prefix=$(realpath -m "${2:?usage: ffmpeg-mingw.sh i686|x86_64 PREFIX}")
cache=${KOVA_FFMPEG_SOURCE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kova-ffmpeg}
asm=${KOVA_FFMPEG_ASM:-1}
jobs=${KOVA_FFMPEG_JOBS:-$(nproc)}
case "$arch" in
  i686) ffarch=x86 ;;
  x86_64) ffarch=x86_64 ;;
  *) echo "ffmpeg-mingw: unknown architecture $arch (i686 or x86_64)" >&2; exit 2 ;;
esac
host=$arch-w64-mingw32

# What is built. The outside libraries decode H.264, MPEG-4 part 2, Motion
# JPEG, G.711, G.726 and G.722 and split the vendor's program stream; kova-play
# also reads MP4/MOV, Matroska, AVI, MPEG-TS/PS and raw H.264 files and
# rewrites avcC or out-of-band MPEG-4 headers into the stream.
features=(
  --enable-decoder=h264,mpeg4,mjpeg,pcm_mulaw,pcm_alaw,adpcm_g726,adpcm_g722
  --enable-parser=h264,mpeg4video,mjpeg
  --enable-demuxer=mpegps,mov,matroska,avi,mpegts,h264
  --enable-protocol=file
  --enable-bsf=h264_mp4toannexb,dump_extradata  # the build's name for "dump_extra"
)
# The stamp names what was built; a build of anything else starts afresh.
config="ffmpeg-5.1 $host asm=$asm static-runtime ${features[*]}"
stamp=$prefix/kova-ffmpeg.stamp
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$config" ]; then
  exit 0
fi

need=(dpkg-dev make pkg-config "gcc-mingw-w64-${arch/_/-}-posix" "binutils-mingw-w64-${arch/_/-}")
[ "$asm" = 1 ] && need+=(nasm)
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
bash "$tools/install-missing.sh" ffmpeg-mingw "${need[@]}"

# --- The source, once -------------------------------------------------------
mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9   # two builds starting together fetch it once
src=$(find "$cache" -maxdepth 1 -type d -name 'ffmpeg-5.1*' | sort | tail -n1)
if [ -z "$src" ]; then
  t0=$(date +%s)
  if ! apt-get source --print-uris ffmpeg 2>/dev/null | grep -q "ffmpeg_5\.1"; then
    # Every deb entry of the machine, once more as deb-src.
    list=/etc/apt/sources.list.d/kova-deb-src.sources
    tmp=$(mktemp)
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] && [ "$f" != "$list" ] || continue
      sed -n '/^Types:/s/^Types:.*/Types: deb-src/;p' "$f" >>"$tmp"
      echo >>"$tmp"
    done
    if [ -f /etc/apt/sources.list ] && grep -qE '^deb ' /etc/apt/sources.list; then
      grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
        $SUDO tee /etc/apt/sources.list.d/kova-deb-src.list >/dev/null
    fi
    [ -s "$tmp" ] && $SUDO install -m 644 "$tmp" "$list"
    rm -f "$tmp"
    $SUDO apt-get -o DPkg::Lock::Timeout=900 update -qq
  fi
  (cd "$cache" && apt-get source -qq ffmpeg >/dev/null 2>"$cache/apt-source.log") ||
    { cat "$cache/apt-source.log" >&2; echo "ffmpeg-mingw: apt-get source ffmpeg failed" >&2; exit 1; }
  rm -f "$cache"/ffmpeg_*.tar.* "$cache"/ffmpeg_*.dsc
  src=$(find "$cache" -maxdepth 1 -type d -name 'ffmpeg-5.1*' | sort | tail -n1)
  [ -n "$src" ] || { echo "ffmpeg-mingw: no FFmpeg 5.1 source in $cache" >&2; exit 1; }
  echo "ffmpeg-mingw: source $(basename "$src") fetched in $(( $(date +%s) - t0 )) s"
fi
flock -u 9

# --- Configure, build, install ---------------------------------------------
work=$prefix.build
rm -rf "$work" "$stamp" "$prefix"/bin "$prefix"/lib "$prefix"/include "$prefix"/share
mkdir -p "$work"
t0=$(date +%s)
asm_flags=()
[ "$asm" = 1 ] || asm_flags=(--disable-asm)
# Windows threads, and libgcc and winpthreads (whose clock_gettime and
# nanosleep avutil calls) linked in: the DLLs need nothing beside them but
# each other and the system's own DLLs (checked after the build).
(cd "$work" && "$src/configure" \
  --prefix="$prefix" --arch="$ffarch" --target-os=mingw32 \
  --cross-prefix="$host-" --enable-cross-compile --pkg-config=pkg-config \
  --enable-shared --disable-static --disable-programs --disable-doc \
  --disable-everything --disable-autodetect --disable-network \
  --disable-avdevice --disable-avfilter --disable-postproc --disable-swresample \
  --enable-avcodec --enable-avformat --enable-swscale --enable-w32threads \
  --disable-debug --extra-ldflags=-static \
  "${asm_flags[@]}" "${features[@]}") >"$work/configure.log" 2>&1 ||
  { tail -n 30 "$work/configure.log" >&2; echo "ffmpeg-mingw: configure failed (see $work/configure.log)" >&2; exit 1; }
make -C "$work" -j"$jobs" >"$work/make.log" 2>&1 ||
  { tail -n 40 "$work/make.log" >&2; echo "ffmpeg-mingw: build failed (see $work/make.log)" >&2; exit 1; }
make -C "$work" install >"$work/install.log" 2>&1 ||
  { tail -n 20 "$work/install.log" >&2; echo "ffmpeg-mingw: install failed" >&2; exit 1; }
for dll in "$prefix"/bin/*.dll; do
  for import in $("$host-objdump" -p "$dll" | awk '/DLL Name:/ {print $3}'); do
    case "$import" in
      KERNEL32.dll|msvcrt.dll|bcrypt.dll|USER32.dll|ADVAPI32.dll|ole32.dll|avcodec-*.dll|avformat-*.dll|avutil-*.dll|swscale-*.dll) ;;
      *) echo "ffmpeg-mingw: $(basename "$dll") imports $import, which a Windows machine does not have" >&2; exit 1 ;;
    esac
  done
done
echo "$config" >"$stamp"
echo "ffmpeg-mingw: $host (asm=$asm) built into $prefix in $(( $(date +%s) - t0 )) s"
rm -rf "$work"
