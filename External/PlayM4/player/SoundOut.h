/* A port's sound on a wave-out device of its own: 16-bit mono PCM blocks
 * written as they fall due, volume applied to the samples. The device is
 * opened on the first block (and again when the sample rate changes) and
 * closed by Close(). Used on the port's presentation thread only. */
#ifndef PLAYM4_SOUND_OUT_H
#define PLAYM4_SOUND_OUT_H

#include <windows.h>
#include <mmsystem.h>

#include <array>
#include <cstdint>
#include <vector>

namespace playm4 {

class SoundOut {
public:
    static constexpr int kBlocks = 16;
    static constexpr int kBlockSamples = 4096;

    SoundOut();
    ~SoundOut() { Close(); }
    SoundOut(const SoundOut &) = delete;
    SoundOut &operator=(const SoundOut &) = delete;

    /* Queues samples; false when the device cannot be opened or every
     * block is still playing (the samples are dropped). */
    bool Play(const int16_t *samples, int count, int rate, WORD volume);

    /* Stops what plays and closes the device. */
    void Close();

    bool IsOpen() const { return device_ != nullptr; }

private:
    bool Open(int rate);

    HWAVEOUT device_ = nullptr;
    int rate_ = 0;
    std::array<WAVEHDR, kBlocks> headers_{};
    std::vector<int16_t> samples_;  /* kBlocks blocks of kBlockSamples */
    int next_ = 0;
};

}  // namespace playm4

#endif
