#include "SoundOut.h"

#include <algorithm>

namespace playm4 {

namespace {

/* The device sets WHDR_DONE from its own thread. */
DWORD Flags(const WAVEHDR &header)
{
    return __atomic_load_n(&header.dwFlags, __ATOMIC_ACQUIRE);
}

}  // namespace

SoundOut::SoundOut() : samples_(size_t(kBlocks) * kBlockSamples) {}

bool SoundOut::Open(int rate)
{
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = DWORD(rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = 2;
    format.nAvgBytesPerSec = DWORD(rate) * 2;
    if (waveOutOpen(&device_, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        device_ = nullptr;
        return false;
    }
    rate_ = rate;
    for (int i = 0; i < kBlocks; ++i) {
        WAVEHDR &h = headers_[size_t(i)];
        h = WAVEHDR{};
        h.lpData = reinterpret_cast<LPSTR>(samples_.data() + size_t(i) * kBlockSamples);
        h.dwBufferLength = kBlockSamples * 2;
        if (waveOutPrepareHeader(device_, &h, sizeof h) != MMSYSERR_NOERROR) {
            Close();
            return false;
        }
        /* Free until written. */
        h.dwFlags |= WHDR_DONE;
    }
    next_ = 0;
    return true;
}

void SoundOut::Close()
{
    if (!device_)
        return;
    waveOutReset(device_);
    for (WAVEHDR &h : headers_)
        if (Flags(h) & WHDR_PREPARED)
            waveOutUnprepareHeader(device_, &h, sizeof h);
    waveOutClose(device_);
    device_ = nullptr;
    rate_ = 0;
}

bool SoundOut::Play(const int16_t *samples, int count, int rate, WORD volume)
{
    if (device_ && rate != rate_)
        Close();
    if (!device_ && !Open(rate))
        return false;
    bool all = true;
    while (count > 0) {
        WAVEHDR &h = headers_[size_t(next_)];
        if (!(Flags(h) & WHDR_DONE)) {
            all = false;  /* the device is behind: drop the rest */
            break;
        }
        const int n = std::min(count, int(kBlockSamples));
        int16_t *out = reinterpret_cast<int16_t *>(h.lpData);
        for (int i = 0; i < n; ++i)
            out[i] = int16_t(int32_t(samples[i]) * int32_t(volume) / 65535);
        h.dwBufferLength = DWORD(n) * 2;
        if (waveOutWrite(device_, &h, sizeof h) != MMSYSERR_NOERROR) {
            all = false;
            break;
        }
        next_ = (next_ + 1) % kBlocks;
        samples += n;
        count -= n;
    }
    return all;
}

}  // namespace playm4
