/* Choosing a wave-out sink from the environment, and the null sink. */
#include "wave_sink.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace kova::winmm {

namespace {

class NullSink final : public WaveSink {
public:
    void Play(const void *, size_t) override {}
};

enum class SinkKind { Null, File, Alsa, Unknown };

SinkKind ParseChoice(const char *value, const char **path)
{
    *path = nullptr;
    if (!value || !*value || std::strcmp(value, "null") == 0) return SinkKind::Null;
    if (std::strncmp(value, "file:", 5) == 0 && value[5]) {
        *path = value + 5;
        return SinkKind::File;
    }
    if (std::strcmp(value, "alsa") == 0) return SinkKind::Alsa;
    return SinkKind::Unknown;
}

void ReportUnknownChoice(const char *value)
{
    static std::atomic<bool> reported{false};
    if (!reported.exchange(true))
        std::fprintf(stderr, "kovawin32: KOVA_WAVE_OUT=\"%s\" is not null, file:PATH or alsa; "
                             "wave-out devices will not open\n", value);
}

/* Devices that write the same file name are numbered across the process,
 * so that a reopened or second device never overwrites what an earlier one
 * played. */
std::mutex g_fileDevicesMutex;
std::map<std::string, unsigned> g_fileDevices;

std::string NextFileName(const char *path)
{
    std::string name(path);
    unsigned n;
    {
        std::lock_guard<std::mutex> lock(g_fileDevicesMutex);
        n = g_fileDevices[name]++;
    }
    if (n > 0) name += "." + std::to_string(n);
    return name;
}

}  // namespace

std::unique_ptr<WaveSink> OpenNullSink()
{
    return std::unique_ptr<WaveSink>(new NullSink());
}

MMRESULT CheckSinkChoice()
{
    const char *value = std::getenv("KOVA_WAVE_OUT");
    const char *path;
    switch (ParseChoice(value, &path)) {
    case SinkKind::Null:
    case SinkKind::File:
        return MMSYSERR_NOERROR;
    case SinkKind::Alsa:
        return AlsaAvailable() ? MMSYSERR_NOERROR : MMSYSERR_NODRIVER;
    case SinkKind::Unknown:
        break;
    }
    ReportUnknownChoice(value);
    return MMSYSERR_NODRIVER;
}

MMRESULT OpenSink(const WAVEFORMATEX &format, std::unique_ptr<WaveSink> *sink)
{
    const char *value = std::getenv("KOVA_WAVE_OUT");
    const char *path;
    switch (ParseChoice(value, &path)) {
    case SinkKind::Null:
        *sink = OpenNullSink();
        return MMSYSERR_NOERROR;
    case SinkKind::File:
        return OpenFileSink(NextFileName(path).c_str(), format, sink);
    case SinkKind::Alsa:
        return OpenAlsaSink(format, sink);
    case SinkKind::Unknown:
        break;
    }
    ReportUnknownChoice(value);
    return MMSYSERR_NODRIVER;
}

}  // namespace kova::winmm
