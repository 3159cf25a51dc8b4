/* A wave-out sink that records what was played into a WAV file. */
#include "wave_sink.h"

#include <cstdint>
#include <cstdio>

namespace kova::winmm {

namespace {

void PutLE(unsigned char *p, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

class FileSink final : public WaveSink {
public:
    FileSink(FILE *file, const WAVEFORMATEX &format) : file_(file), format_(format) {}
    ~FileSink() override { Finish(); }

    bool WriteHeader()
    {
        unsigned char h[44];
        // RIFF and data sizes are completed when the device closes.
        PutLE(h + 0, 0x46464952u, 4);  // "RIFF"
        PutLE(h + 4, 36, 4);
        PutLE(h + 8, 0x45564157u, 4);  // "WAVE"
        PutLE(h + 12, 0x20746d66u, 4);  // "fmt "
        PutLE(h + 16, 16, 4);
        PutLE(h + 20, WAVE_FORMAT_PCM, 2);
        PutLE(h + 22, format_.nChannels, 2);
        PutLE(h + 24, format_.nSamplesPerSec, 4);
        PutLE(h + 28, format_.nAvgBytesPerSec, 4);
        PutLE(h + 32, format_.nBlockAlign, 2);
        PutLE(h + 34, format_.wBitsPerSample, 2);
        PutLE(h + 36, 0x61746164u, 4);  // "data"
        PutLE(h + 40, 0, 4);
        return std::fwrite(h, 1, sizeof h, file_) == sizeof h;
    }

    void Play(const void *pcm, size_t bytes) override
    {
        if (!file_ || failed_) return;
        if (std::fwrite(pcm, 1, bytes, file_) != bytes) {
            failed_ = true;  // a full disk ends the recording; playing goes on
            return;
        }
        dataBytes_ += bytes;
    }

    void Finish() override
    {
        if (!file_) return;
        // A RIFF chunk holds at most 4 GiB; a longer recording keeps the
        // largest size that fits.
        uint64_t data = dataBytes_ > 0xFFFFFFDBu ? 0xFFFFFFDBu : dataBytes_;
        unsigned char size[4];
        PutLE(size, static_cast<uint32_t>(36 + data), 4);
        if (std::fseek(file_, 4, SEEK_SET) == 0) std::fwrite(size, 1, 4, file_);
        PutLE(size, static_cast<uint32_t>(data), 4);
        if (std::fseek(file_, 40, SEEK_SET) == 0) std::fwrite(size, 1, 4, file_);
        std::fclose(file_);
        file_ = nullptr;
    }

private:
    FILE *file_;
    WAVEFORMATEX format_;
    uint64_t dataBytes_ = 0;
    bool failed_ = false;
};

}  // namespace

MMRESULT OpenFileSink(const char *path, const WAVEFORMATEX &format, std::unique_ptr<WaveSink> *sink)
{
    FILE *file = std::fopen(path, "wb");
    if (!file) {
        std::fprintf(stderr, "kovawin32: cannot create the wave-out file %s\n", path);
        return MMSYSERR_ERROR;
    }
    std::unique_ptr<FileSink> fileSink(new FileSink(file, format));
    if (!fileSink->WriteHeader()) return MMSYSERR_ERROR;
    *sink = std::move(fileSink);
    return MMSYSERR_NOERROR;
}

}  // namespace kova::winmm
