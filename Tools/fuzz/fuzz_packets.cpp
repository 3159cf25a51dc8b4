// Arbitrary packets through KOVA_SendVideoFrame and KOVA_SendAudioFrame, for
// every stream type the facade routes. One instance per stream type lives for
// the whole run, bound to a window of the virtual desktop and playing at the
// fastest speed, so that packets meet a decoder in whatever state the
// earlier ones left it.
//
// Input: byte 0 picks the stream type; byte 1 the kind of call (bit 0: sound,
// bit 1: sound switched on first, bit 4: a picture size is announced, bits
// 2-3: which one); the rest is the packet. A new size restarts the decoder
// for some stream types, which takes a while: announcing one is the
// exception, as with a camera.
#include "KovaDecoder.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>

namespace {

/* Every type the facade routes: the vendor type, the standard types it
 * lists and one it does not (routed to the standard decoder too). */
const LONG kStreamTypes[] = {102, 2,  4,  9,  16,  17,  19,  22,  23,  25,  37,
                             96,  97, 98, 99, 100, 101, 103, 104, 108, 192, 254, 5};
const size_t kTypeCount = sizeof kStreamTypes / sizeof kStreamTypes[0];

/* Announced sizes: unknown, and three sizes a camera sends. */
const LONG kSizes[4][2] = {{0, 0}, {176, 144}, {352, 288}, {704, 576}};

HWND PaneWindow()
{
    static HWND window = [] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "KovaFuzzPane";
        RegisterClassA(&wc);
        return CreateWindowExA(0, "KovaFuzzPane", "fuzz", WS_POPUP | WS_VISIBLE, 0, 0, 176, 144, nullptr,
                               nullptr, nullptr, nullptr);
    }();
    return window;
}

KOVA_HANDLE InstanceFor(LONG type)
{
    static std::map<LONG, KOVA_HANDLE> instances;
    auto found = instances.find(type);
    if (found != instances.end())
        return found->second;
    KOVA_HANDLE h = KOVA_CreateInstance(0, type);
    if (h) {
        KOVA_InitPlayInstance(h, PaneWindow());
        KOVA_StartPlayStream(h);
        KOVA_SetSpeed(h, 5);
    }
    instances[type] = h;
    return h;
}

/* KOVA_FUZZ_TYPE=<stream type> sends every input to that one type (byte 0
 * is then ignored), so that a long run can be spent on one decoder. */
LONG PinnedType()
{
    static const LONG pinned = [] {
        const char *value = std::getenv("KOVA_FUZZ_TYPE");
        return value && *value ? LONG(std::strtol(value, nullptr, 10)) : LONG(-1);
    }();
    return pinned;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const LONG type = PinnedType() >= 0 ? PinnedType() : kStreamTypes[data[0] % kTypeCount];
    const uint8_t kind = data[1];
    const BYTE *packet = data + 2;
    const LONG length = static_cast<LONG>(size - 2);
    KOVA_HANDLE h = InstanceFor(type);
    if (!h)
        return 0;
    if (kind & 1) {
        if (kind & 2)
            KOVA_SetAudio(h, 1);
        KOVA_SendAudioFrame(h, packet, length, 0, 0, 0);
    } else {
        const LONG *announced = kSizes[(kind & 0x10) ? (kind >> 2) & 3 : 0];
        KOVA_SendVideoFrame(h, packet, length, announced[0], announced[1], type, 0, 0, 0);
    }
    return 0;
}
