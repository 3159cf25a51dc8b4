#include "StreamMap.h"

#include <algorithm>
#include <cstring>

namespace playm4 {

namespace {

constexpr uint8_t kPackHeader = 0xBA;
constexpr uint8_t kProgramStreamMap = 0xBC;
constexpr uint8_t kSystemHeader = 0xBB;

/* Start codes followed by a 16-bit length: the system header and every
 * stream id (0xBC map, 0xBD-0xBF private and padding, 0xC0-0xEF audio and
 * video, 0xF0-0xFF others). */
bool HasLength(uint8_t code)
{
    return code == kSystemHeader || code >= kProgramStreamMap;
}

}  // namespace

void StreamMap::Clear()
{
    types_.fill(-1);
    maps_ = 0;
    state_ = State::Sync;
    zeros_ = 0;
    mapFilled_ = 0;
}

bool StreamMap::ParseMap(const uint8_t *body, size_t size)
{
    /* indicator and version, marker, info length, map length, CRC */
    if (size < 10)
        return false;
    if (!(body[0] & 0x80))
        return false;  /* a map for later: not applicable yet */
    size_t pos = 4 + ((size_t(body[2]) << 8) | body[3]);
    const size_t crcAt = size - 4;
    if (pos + 2 > crcAt)
        return false;
    const size_t end = pos + 2 + ((size_t(body[pos]) << 8) | body[pos + 1]);
    pos += 2;
    if (end > crcAt)
        return false;
    std::array<int, 256> types;
    types.fill(-1);
    while (pos + 4 <= end) {
        types[body[pos + 1]] = body[pos];
        pos += 4 + ((size_t(body[pos + 2]) << 8) | body[pos + 3]);
    }
    if (pos != end)
        return false;
    /* Devices are careless with the CRC: it is not checked. */
    types_ = types;
    ++maps_;
    return true;
}

void StreamMap::Feed(const uint8_t *data, size_t size)
{
    size_t i = 0;
    while (i < size) {
        switch (state_) {
        case State::Sync: {
            const uint8_t b = data[i++];
            if (b == 1 && zeros_ >= 2)
                state_ = State::Code;
            zeros_ = b == 0 ? std::min(zeros_ + 1, 2u) : 0;
            break;
        }
        case State::Code:
            code_ = data[i++];
            zeros_ = 0;
            if (code_ == kPackHeader)
                state_ = State::PackFirst;
            else if (HasLength(code_)) {
                state_ = State::Length;
                lengthBytes_ = 0;
                length_ = 0;
            } else {
                /* The end code, or a start code met while out of step:
                 * look on. */
                state_ = State::Sync;
                zeros_ = code_ == 0 ? 1 : 0;
            }
            break;
        case State::PackFirst: {
            /* MPEG-2 packs begin with bits 01 and have ten bytes after the
             * start code, the last giving a stuffing count; MPEG-1 packs
             * begin with 0010 and have eight. */
            const uint8_t b = data[i++];
            mpeg2Pack_ = (b & 0xC0) == 0x40;
            need_ = mpeg2Pack_ ? 9 : 7;
            state_ = State::Pack;
            break;
        }
        case State::Pack: {
            const size_t n = std::min(need_, size - i);
            i += n;
            need_ -= n;
            if (need_ == 0) {
                need_ = mpeg2Pack_ ? (data[i - 1] & 0x07) : 0;
                state_ = need_ ? State::Skip : State::Sync;
            }
            break;
        }
        case State::Skip: {
            const size_t n = std::min(need_, size - i);
            i += n;
            need_ -= n;
            if (need_ == 0)
                state_ = State::Sync;
            break;
        }
        case State::Length:
            length_ = (length_ << 8) | data[i++];
            if (++lengthBytes_ == 2) {
                need_ = length_;
                if (length_ == 0)
                    state_ = State::Sync;
                else if (code_ == kProgramStreamMap && length_ <= kMaxMap) {
                    mapFilled_ = 0;
                    state_ = State::Capture;
                } else
                    state_ = State::Skip;
            }
            break;
        case State::Capture: {
            const size_t n = std::min(need_, size - i);
            std::memcpy(map_.data() + mapFilled_, data + i, n);
            mapFilled_ += n;
            i += n;
            need_ -= n;
            if (need_ == 0) {
                ParseMap(map_.data(), mapFilled_);
                state_ = State::Sync;
            }
            break;
        }
        }
    }
}

}  // namespace playm4
