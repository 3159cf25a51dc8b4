/* Every exported function that takes an instance handle, called once with
 * valid other arguments: what a test of the handle checks (refused
 * everywhere, or forwarded everywhere). */
#ifndef KOVA_TESTS_SUPPORT_EXPORT_CALLS_H
#define KOVA_TESTS_SUPPORT_EXPORT_CALLS_H

#include <vector>

#include "KovaDecoder.h"

namespace kova_test {

/* The results in declaration order: 17, or 18 with binding the instance to
 * `bindTo` first when a window is given. The capture names a file that is
 * never written: no handle a test passes here has a picture. */
inline std::vector<LONG> CallEveryExport(KOVA_HANDLE h, HWND bindTo = nullptr)
{
    static const BYTE packet[32] = {0, 0, 0, 1, 0x67};
    LONG volume = 0, width = 0, height = 0;
    std::vector<LONG> results;
    if (bindTo)
        results.push_back(KOVA_InitPlayInstance(h, bindTo));
    const LONG calls[] = {KOVA_SetVideoSize(h, 704, 576),
                          KOVA_StartPlayStream(h),
                          KOVA_SendVideoFrame(h, packet, sizeof packet, 352, 288, 96, 1, 2, 3),
                          KOVA_SendAudioFrame(h, packet, sizeof packet, 1, 2, 3),
                          KOVA_CaptureBitmap(h, "never-written.bmp"),
                          KOVA_SetAudio(h, 1),
                          KOVA_SetVolume(h, 50),
                          KOVA_GetVolume(h, &volume),
                          KOVA_GetImagePara(h, &width, &height),
                          KOVA_SetDigitalZoom(h, 10, 10, 90, 90),
                          KOVA_SetAudioParam(h, 2, 8000, 1, 64000, 16),
                          KOVA_SetDecParam(h, 2, 8000, 1, 64000, 16, 0, 0),
                          KOVA_NotifySeek(h, 1, 2),
                          KOVA_SetSpeed(h, 2),
                          KOVA_SetDisplayMode(h, 1),
                          KOVA_SetAudio(h, 0),
                          KOVA_StopPlayStream(h)};
    results.insert(results.end(), calls, calls + sizeof calls / sizeof calls[0]);
    return results;
}

}  // namespace kova_test

#endif
