#!/usr/bin/env bash
# Installs the build into a scratch prefix, then builds and runs a small
# client against the installed header and libraries with pkg-config's flags
# alone: it makes a window, an instance bound to it, starts and releases it.
#   install_check.sh BUILD_DIR SCRATCH_DIR
set -euo pipefail
build="$1" scratch="$2"
rm -rf "$scratch"
mkdir -p "$scratch"
cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
export PKG_CONFIG_PATH="$scratch/prefix/lib/pkgconfig:$scratch/prefix/lib64/pkgconfig"
pkg-config --exists kovadecoder
[ "$(pkg-config --modversion kovadecoder)" = "1.2.2.1" ]
cat > "$scratch/client.cpp" <<'CLIENT'
#include <KovaDecoder.h>
#include <KovaSpeed.h>
#include <cstdio>
int main()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "InstallCheckPane";
    if (!RegisterClassA(&wc)) return 2;
    HWND pane = CreateWindowExA(0, "InstallCheckPane", "", WS_POPUP | WS_VISIBLE, 0, 0, 352, 288, nullptr, nullptr,
                                nullptr, nullptr);
    if (KovaSpeedFactor(KOVA_SPEED_QUARTER) != 4.0) return 5;
    KOVA_HANDLE h = KOVA_CreateInstance(0, 98);
    if (!pane || !h) return 3;
    const LONG ok = KOVA_InitPlayInstance(h, pane) & KOVA_StartPlayStream(h) & KOVA_StopPlayStream(h);
    KOVA_ReleaseInstance(h);
    DestroyWindow(pane);
    std::printf("installed client ran\n");
    return ok == 1 ? 0 : 4;
}
CLIENT
# shellcheck disable=SC2046
c++ -std=c++17 -o "$scratch/client" "$scratch/client.cpp" $(pkg-config --cflags --libs kovadecoder)
(cd "$scratch" && ./client)
test -x "$scratch/prefix/bin/kova-play"
"$scratch/prefix/bin/kova-play" --help >/dev/null
