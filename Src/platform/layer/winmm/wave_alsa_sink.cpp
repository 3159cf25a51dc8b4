/* A wave-out sink on the machine's default ALSA playback device.
 *
 * libasound is loaded when first needed, so the layer runs (with the other
 * sinks) on machines without it. Only the few stable entry points below are
 * used; their prototypes are those of alsa-lib's pcm.h. */
#include "wave_sink.h"

#include <dlfcn.h>

#include <cerrno>
#include <mutex>
#include <type_traits>

namespace kova::winmm {

namespace {

struct snd_pcm;
typedef long snd_pcm_sframes_t;
typedef unsigned long snd_pcm_uframes_t;

enum { kStreamPlayback = 0 };
enum { kFormatU8 = 1, kFormatS16LE = 2 };
enum { kAccessRwInterleaved = 3 };

typedef void (*ErrorHandler)(const char *, int, const char *, int, const char *, ...);

struct AlsaApi {
    int (*open)(snd_pcm **, const char *, int, int);
    int (*setParams)(snd_pcm *, int, int, unsigned, unsigned, int, unsigned);
    snd_pcm_sframes_t (*writei)(snd_pcm *, const void *, snd_pcm_uframes_t);
    int (*recover)(snd_pcm *, int, int);
    int (*drop)(snd_pcm *);
    int (*prepare)(snd_pcm *);
    int (*drain)(snd_pcm *);
    int (*close)(snd_pcm *);
    int (*setErrorHandler)(ErrorHandler);
};

void QuietErrors(const char *, int, const char *, int, const char *, ...) {}

/* Loaded once per process and kept: unloading a library that may have
 * started threads of its own is not safe. */
const AlsaApi *LoadAlsa()
{
    static std::once_flag once;
    static AlsaApi api;
    static bool loaded = false;
    std::call_once(once, [] {
        void *lib = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!lib) return;
        bool all = true;
        auto bind = [&](auto &fn, const char *name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(lib, name));
            if (!fn) all = false;
        };
        bind(api.open, "snd_pcm_open");
        bind(api.setParams, "snd_pcm_set_params");
        bind(api.writei, "snd_pcm_writei");
        bind(api.recover, "snd_pcm_recover");
        bind(api.drop, "snd_pcm_drop");
        bind(api.prepare, "snd_pcm_prepare");
        bind(api.drain, "snd_pcm_drain");
        bind(api.close, "snd_pcm_close");
        bind(api.setErrorHandler, "snd_lib_error_set_handler");
        if (!all) return;
        // A machine without a sound card is an expected case, not one for
        // alsa-lib's messages on standard error.
        api.setErrorHandler(QuietErrors);
        loaded = true;
    });
    return loaded ? &api : nullptr;
}

class AlsaSink final : public WaveSink {
public:
    AlsaSink(const AlsaApi *api, snd_pcm *pcm, unsigned frameBytes)
        : api_(api), pcm_(pcm), frameBytes_(frameBytes) {}
    ~AlsaSink() override { Finish(); }

    bool PacesItself() const override { return true; }

    void Play(const void *pcm, size_t bytes) override
    {
        if (!pcm_) return;
        const char *p = static_cast<const char *>(pcm);
        snd_pcm_uframes_t frames = bytes / frameBytes_;
        while (frames > 0) {
            snd_pcm_sframes_t n = api_->writei(pcm_, p, frames);
            if (n < 0) {
                // An underrun or a suspend: recover and go on; anything
                // else loses this chunk rather than the device.
                if (api_->recover(pcm_, static_cast<int>(n), 1) < 0) return;
                continue;
            }
            frames -= static_cast<snd_pcm_uframes_t>(n);
            p += static_cast<size_t>(n) * frameBytes_;
        }
    }

    void Discard() override
    {
        if (!pcm_) return;
        api_->drop(pcm_);
        api_->prepare(pcm_);
    }

    void Finish() override
    {
        if (!pcm_) return;
        api_->drain(pcm_);
        api_->close(pcm_);
        pcm_ = nullptr;
    }

private:
    const AlsaApi *api_;
    snd_pcm *pcm_;
    unsigned frameBytes_;
};

}  // namespace

bool AlsaAvailable()
{
    return LoadAlsa() != nullptr;
}

MMRESULT OpenAlsaSink(const WAVEFORMATEX &format, std::unique_ptr<WaveSink> *sink)
{
    const AlsaApi *api = LoadAlsa();
    if (!api) return MMSYSERR_NODRIVER;
    snd_pcm *pcm = nullptr;
    if (api->open(&pcm, "default", kStreamPlayback, 0) < 0 || !pcm) return MMSYSERR_NODRIVER;
    int sampleFormat = format.wBitsPerSample == 8 ? kFormatU8 : kFormatS16LE;
    // 100 ms of buffering: enough against scheduling hiccups, short enough
    // that returned blocks track what is heard.
    if (api->setParams(pcm, sampleFormat, kAccessRwInterleaved, format.nChannels, format.nSamplesPerSec, 1,
                       100000) < 0) {
        api->close(pcm);
        return MMSYSERR_NODRIVER;
    }
    sink->reset(new AlsaSink(api, pcm, format.nBlockAlign));
    return MMSYSERR_NOERROR;
}

}  // namespace kova::winmm
