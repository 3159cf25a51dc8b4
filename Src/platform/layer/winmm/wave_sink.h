/* Where a wave-out device's samples go once they have been played. */
#ifndef KOVA_WINMM_WAVE_SINK_H
#define KOVA_WINMM_WAVE_SINK_H

#include <windows.h>
#include <mmsystem.h>

#include <cstddef>
#include <memory>

namespace kova::winmm {

class WaveSink {
public:
    virtual ~WaveSink() = default;

    /* Takes `bytes` of played PCM (whole sample frames, volume applied). A
     * sink that paces itself blocks here at the hardware's rate; the others
     * return at once and the device keeps time by its own clock. */
    virtual void Play(const void *pcm, size_t bytes) = 0;
    virtual bool PacesItself() const { return false; }
    /* Forgets what was handed over but has not been heard yet. */
    virtual void Discard() {}
    /* Plays out what is pending and releases the sink. */
    virtual void Finish() {}
};

/* Checks that the sink KOVA_WAVE_OUT names can be used at all:
 * MMSYSERR_NOERROR or MMSYSERR_NODRIVER. */
MMRESULT CheckSinkChoice();

/* Opens the sink KOVA_WAVE_OUT names for a device of `format`:
 *   unset, empty or "null"   timing only, the samples are dropped
 *   "file:PATH"              a WAV file; the first device opened with
 *                            PATH in this process writes PATH, later
 *                            ones PATH.1, PATH.2, ...
 *   "alsa"                   the default ALSA playback device */
MMRESULT OpenSink(const WAVEFORMATEX &format, std::unique_ptr<WaveSink> *sink);

std::unique_ptr<WaveSink> OpenNullSink();
MMRESULT OpenFileSink(const char *path, const WAVEFORMATEX &format, std::unique_ptr<WaveSink> *sink);
MMRESULT OpenAlsaSink(const WAVEFORMATEX &format, std::unique_ptr<WaveSink> *sink);
bool AlsaAvailable();

}  // namespace kova::winmm

#endif
