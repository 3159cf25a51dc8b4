/* Learns the stream types of a program stream from its program stream map.
 *
 * The demultiplexer decides codecs by its own rules, which know nothing of
 * G.711 in a program stream; this scanner reads the bytes as they go to the
 * demultiplexer, walks the packs and packets by their lengths (resyncing on
 * the next start code after garbage) and keeps the stream type each map
 * gives to each elementary stream id. */
#ifndef PLAYM4_STREAM_MAP_H
#define PLAYM4_STREAM_MAP_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace playm4 {

class StreamMap {
public:
    StreamMap() { Clear(); }

    /* Forgets the map and the position in the stream. */
    void Clear();

    /* Scans the next bytes of the stream, in any pieces. */
    void Feed(const uint8_t *data, size_t size);

    /* The stream type the latest map gives to a stream id (0xE0, 0xC0 ...),
     * or -1 when no map named it. */
    int TypeOf(uint8_t streamId) const { return types_[streamId]; }

    /* Maps taken since Clear(). */
    unsigned MapsSeen() const { return maps_; }

    /* Reads one map, from the byte after its length field; false when it is
     * malformed or not yet applicable (the table is then left as it was). */
    bool ParseMap(const uint8_t *body, size_t size);

private:
    enum class State { Sync, Code, PackFirst, Pack, Length, Skip, Capture };

    static constexpr size_t kMaxMap = 1018;

    std::array<int, 256> types_;
    unsigned maps_ = 0;

    State state_ = State::Sync;
    unsigned zeros_ = 0;       /* zero bytes just before, for the start code */
    uint8_t code_ = 0;         /* start code being read */
    size_t need_ = 0;          /* bytes left of the current field or packet */
    unsigned lengthBytes_ = 0;
    size_t length_ = 0;
    bool mpeg2Pack_ = false;
    std::array<uint8_t, kMaxMap> map_{};
    size_t mapFilled_ = 0;
};

}  // namespace playm4

#endif
