/* When to show a picture or play a block of sound: a pure decision over
 * the item's time stamp and a tick given by the caller (milliseconds).
 *
 * The first item anchors the stream's time to the tick. An item is due at
 * the anchor tick plus its distance from the anchor's time stamp divided
 * by the speed (2 to the power `speedExponent`, -4 to 4). A live stream is
 * bumpy: an item due long ago (the source stalled) or far ahead (the time
 * stamps jumped) re-anchors the stream on itself instead of rushing or
 * freezing. A speed change re-anchors at the stream time reached, so the
 * picture does not jump. */
#ifndef PLAYM4_PACER_H
#define PLAYM4_PACER_H

#include <cstdint>

namespace playm4 {

class Pacer {
public:
    /* An item due more than this long ago, or further ahead, re-anchors. */
    static constexpr int64_t kMaxLateMs = 1000;
    static constexpr int64_t kMaxEarlyMs = 3000;

    struct Decision {
        bool show;       /* show now; otherwise wait */
        int64_t waitMs;  /* when !show: how long until it is due */
        bool reanchored; /* the item set a new anchor */
    };

    void Reset() { anchored_ = false; }
    bool Anchored() const { return anchored_; }

    /* Changes the speed at tick `now`, keeping the stream time reached. */
    void SetSpeed(int speedExponent, int64_t now);
    int SpeedExponent() const { return exponent_; }

    /* The tick at which `stamp` is due; anchors on it when not anchored. */
    int64_t Due(int64_t stamp, int64_t now);

    /* Show now or wait; re-anchors on items too late or too early. */
    Decision Decide(int64_t stamp, int64_t now);

private:
    int64_t ScaleToTicks(int64_t streamMs) const;
    int64_t ScaleToStream(int64_t ticks) const;
    void Anchor(int64_t stamp, int64_t now);

    bool anchored_ = false;
    int64_t anchorStamp_ = 0;
    int64_t anchorTick_ = 0;
    int exponent_ = 0;
};

}  // namespace playm4

#endif
