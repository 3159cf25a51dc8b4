/* The time stamps of packets the decoding library has taken without handing
 * out their picture yet. A decoder that reorders pictures (B-frames) keeps
 * some packets back and hands the pictures out in display order, so the
 * packet whose decode releases a picture is usually not the one the picture
 * came from. The library's calls carry no stamps, but pictures leave in
 * ascending presentation order: the smallest stamp still waiting belongs to
 * the next picture out. Fixed storage: nothing is allocated per packet. */
#ifndef KOVA_STDSTREAM_PICTURESTAMPS_H
#define KOVA_STDSTREAM_PICTURESTAMPS_H

#include <cstdint>

struct PictureStamp {
    int32_t seconds;
    int32_t milliseconds;
    int32_t segmentId;
};

class PictureStamps {
public:
    /* More pictures than a decoder may hold back (H.264 allows 16); when
     * full, the smallest stamp is dropped: its packet gave no picture. */
    static const int kCapacity = 16;
    /* A stamp this far (ms) below the largest one waiting starts a new
     * time line (a recording that starts over): the stamps waiting cannot
     * belong to pictures after it. */
    static const int64_t kRestartGap = 10000;

    void Clear() { count_ = 0; }
    int Count() const { return count_; }

    /* A packet was taken: its stamp waits for its picture. Stamps equal to
     * one waiting are kept once (a picture sent in several packets carries
     * the same stamp on each). */
    void Add(const PictureStamp &stamp)
    {
        if (count_ > 0 && (stamp.segmentId != stamps_[0].segmentId ||
                           Ms(stamp) < Ms(stamps_[Largest()]) - kRestartGap))
            Clear();
        for (int i = 0; i < count_; ++i)
            if (Ms(stamps_[i]) == Ms(stamp))
                return;
        if (count_ == kCapacity)
            Remove(Smallest());
        stamps_[count_++] = stamp;
    }

    /* A picture came out: the smallest stamp waiting, removed; `released`
     * (the stamp of the packet that released it) when none waits. */
    PictureStamp Take(const PictureStamp &released)
    {
        if (count_ == 0)
            return released;
        const int i = Smallest();
        const PictureStamp stamp = stamps_[i];
        Remove(i);
        return stamp;
    }

private:
    static int64_t Ms(const PictureStamp &s) { return static_cast<int64_t>(s.seconds) * 1000 + s.milliseconds; }
    int Smallest() const
    {
        int best = 0;
        for (int i = 1; i < count_; ++i)
            if (Ms(stamps_[i]) < Ms(stamps_[best]))
                best = i;
        return best;
    }
    int Largest() const
    {
        int best = 0;
        for (int i = 1; i < count_; ++i)
            if (Ms(stamps_[i]) > Ms(stamps_[best]))
                best = i;
        return best;
    }
    void Remove(int i) { stamps_[i] = stamps_[--count_]; }

    PictureStamp stamps_[kCapacity];
    int count_ = 0;
};

#endif
