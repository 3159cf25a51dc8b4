/* Wave output through the layer's control interface: waveOutOpen and
 * waveOutSetVolume fail when armed to, as often as armed. */
#include <windows.h>
#include <mmsystem.h>

#include "wintest.h"

#include "kova_control.h"
#include "winmm/pcm_format.h"

static void test_injected_faults(void)
{
    WAVEFORMATEX f = pcm_format(1, 8000, 16);
    HWAVEOUT hwo = NULL;
    KovaControl_FailCall("waveOutOpen", MMSYSERR_ALLOCATED, 0, 1);
    ok(waveOutOpen(&hwo, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL) == MMSYSERR_ALLOCATED, "injected open fault\n");
    ok(waveOutOpen(&hwo, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL) == MMSYSERR_NOERROR, "fault taken once\n");
    KovaControl_FailCall("waveOutSetVolume", MMSYSERR_NOTSUPPORTED, 0, -1);
    ok(waveOutSetVolume(hwo, 0) == MMSYSERR_NOTSUPPORTED, "injected volume fault\n");
    KovaControl_ClearFaults();
    ok(waveOutClose(hwo) == MMSYSERR_NOERROR, "close\n");
}

START_TEST(winmm_waveout_control)
{
    test_injected_faults();
}
