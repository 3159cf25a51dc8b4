/* A PCM wave format: shared by the conformance program and the layer's
 * control checks. */
#ifndef KOVA_TEST_PCM_FORMAT_H
#define KOVA_TEST_PCM_FORMAT_H

#include <windows.h>
#include <mmsystem.h>

#include "wintest.h"

WINTEST_MAYBE_UNUSED static WAVEFORMATEX pcm_format(WORD channels, DWORD rate, WORD bits)
{
    WAVEFORMATEX f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = (WORD)(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    f.cbSize = 0;
    return f;
}

#endif
