/* Packet rewriting done before decoding: unwrapping MPEG program stream
 * packs and turning length-prefixed H.264 into start-code form. Both work on
 * untrusted bytes and never read outside the packet. */
#ifndef BRAVIK_PACKET_FILTERS_H
#define BRAVIK_PACKET_FILTERS_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bravik {

enum class PesKind { Video, Audio };

/* True when the packet starts like an MPEG program stream (a pack header or
 * a PES packet start code). */
bool LooksLikeProgramStream(const uint8_t* data, size_t size);

/* Appends the payload of every PES packet of the given kind (video stream ids
 * 0xE0-0xEF, audio 0xC0-0xDF) to out. Returns false when the packet is not a
 * well-formed sequence of packs and PES packets. A last PES packet cut short
 * contributes what is present. */
bool ExtractProgramStream(const uint8_t* data, size_t size, PesKind kind, std::vector<uint8_t>& out);

/* True when the packet starts with an H.264 start code (00 00 01 or
 * 00 00 00 01). */
bool HasStartCode(const uint8_t* data, size_t size);

/* Rewrites NAL units prefixed by 4-byte big-endian lengths into start-code
 * form. Returns false, leaving out unspecified, when the lengths do not tile
 * the packet exactly. */
bool LengthPrefixedToAnnexB(const uint8_t* data, size_t size, std::vector<uint8_t>& out);

/* True when a JPEG picture has its end marker after its scan: a picture cut
 * short lacks it. */
bool JpegIsComplete(const uint8_t* data, size_t size);

}  // namespace bravik

#endif
