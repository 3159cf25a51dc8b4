#include "Pacer.h"

namespace playm4 {

int64_t Pacer::ScaleToTicks(int64_t streamMs) const
{
    return exponent_ >= 0 ? streamMs / (int64_t(1) << exponent_) : streamMs * (int64_t(1) << -exponent_);
}

int64_t Pacer::ScaleToStream(int64_t ticks) const
{
    return exponent_ >= 0 ? ticks * (int64_t(1) << exponent_) : ticks / (int64_t(1) << -exponent_);
}

void Pacer::Anchor(int64_t stamp, int64_t now)
{
    anchored_ = true;
    anchorStamp_ = stamp;
    anchorTick_ = now;
}

void Pacer::SetSpeed(int speedExponent, int64_t now)
{
    if (anchored_)
        Anchor(anchorStamp_ + ScaleToStream(now - anchorTick_), now);
    exponent_ = speedExponent;
}

int64_t Pacer::Due(int64_t stamp, int64_t now)
{
    if (!anchored_)
        Anchor(stamp, now);
    return anchorTick_ + ScaleToTicks(stamp - anchorStamp_);
}

Pacer::Decision Pacer::Decide(int64_t stamp, int64_t now)
{
    if (!anchored_) {
        Anchor(stamp, now);
        return {true, 0, true};
    }
    const int64_t due = Due(stamp, now);
    if (now - due > kMaxLateMs || due - now > kMaxEarlyMs) {
        Anchor(stamp, now);
        return {true, 0, true};
    }
    if (due > now)
        return {false, due - now, false};
    return {true, 0, false};
}

}  // namespace playm4
