#include "PacketFilters.h"

namespace bravik {
namespace {

bool IsStartCodePrefix(const uint8_t* p, size_t left) {
  return left >= 4 && p[0] == 0 && p[1] == 0 && p[2] == 1;
}

}  // namespace

bool LooksLikeProgramStream(const uint8_t* data, size_t size) {
  if (!data || !IsStartCodePrefix(data, size)) return false;
  const uint8_t id = data[3];
  return id == 0xBA || (id >= 0xC0 && id <= 0xEF);
}

bool ExtractProgramStream(const uint8_t* data, size_t size, PesKind kind, std::vector<uint8_t>& out) {
  if (!data) return false;
  size_t pos = 0;
  while (pos < size) {
    if (!IsStartCodePrefix(data + pos, size - pos)) return false;
    const uint8_t id = data[pos + 3];
    const size_t left = size - pos;
    if (id == 0xB9) {  // program end
      pos += 4;
      continue;
    }
    if (id == 0xBA) {  // pack header
      if (left < 12) return false;
      if ((data[pos + 4] & 0xC0) == 0x40) {  // MPEG-2: 14 bytes plus stuffing
        if (left < 14) return false;
        const size_t length = 14 + (data[pos + 13] & 0x07);
        if (left < length) return false;
        pos += length;
      } else if ((data[pos + 4] & 0xF0) == 0x20) {  // MPEG-1: 12 bytes
        pos += 12;
      } else {
        return false;
      }
      continue;
    }
    if (id < 0xBB) return false;  // a video elementary start code, not a PES
    if (left < 6) return false;
    const size_t pesLength = (size_t(data[pos + 4]) << 8) | data[pos + 5];
    size_t end;
    if (pesLength == 0) {
      // Unbounded video PES: runs to the next pack header or the packet's end.
      end = size;
      for (size_t i = pos + 6; i + 3 < size; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] == 0xBA) {
          end = i;
          break;
        }
      }
    } else {
      end = pos + 6 + pesLength;
      if (end > size) end = size;  // cut short: take what is there
    }
    const bool video = id >= 0xE0 && id <= 0xEF;
    const bool audio = id >= 0xC0 && id <= 0xDF;
    if ((kind == PesKind::Video && video) || (kind == PesKind::Audio && audio)) {
      size_t payload = pos + 6;
      if (payload < end && (data[payload] & 0xC0) == 0x80) {  // MPEG-2 PES header
        if (payload + 3 > end) return false;
        payload += 3 + data[payload + 2];
      } else {  // MPEG-1 PES header: stuffing, optional buffer size and time stamps
        while (payload < end && data[payload] == 0xFF) ++payload;
        if (payload < end && (data[payload] & 0xC0) == 0x40) payload += 2;
        if (payload >= end) return false;
        const uint8_t marker = data[payload] & 0xF0;
        if (marker == 0x20) payload += 5;
        else if (marker == 0x30) payload += 10;
        else if (data[payload] == 0x0F) payload += 1;
        else return false;
      }
      if (payload > end) return false;
      out.insert(out.end(), data + payload, data + end);
    }
    pos = end;
  }
  return true;
}

bool HasStartCode(const uint8_t* data, size_t size) {
  if (!data) return false;
  if (size >= 3 && data[0] == 0 && data[1] == 0 && data[2] == 1) return true;
  return size >= 4 && data[0] == 0 && data[1] == 0 && data[2] == 0 && data[3] == 1;
}

bool LengthPrefixedToAnnexB(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
  if (!data) return false;
  out.clear();
  size_t pos = 0;
  while (pos < size) {
    if (size - pos < 4) return false;
    const size_t length = (size_t(data[pos]) << 24) | (size_t(data[pos + 1]) << 16) |
                          (size_t(data[pos + 2]) << 8) | data[pos + 3];
    pos += 4;
    if (length == 0 || length > size - pos) return false;
    static const uint8_t kStartCode[4] = {0, 0, 0, 1};
    out.insert(out.end(), kStartCode, kStartCode + 4);
    out.insert(out.end(), data + pos, data + pos + length);
    pos += length;
  }
  return !out.empty();
}

bool JpegIsComplete(const uint8_t* data, size_t size) {
  if (!data || size < 4) return false;
  // In entropy-coded data 0xFF is always followed by 0x00 or a restart
  // marker, so FF D9 after the last FF DA is the end of the picture.
  size_t end = size;
  for (size_t i = size - 1; i > 0; --i) {
    if (data[i - 1] == 0xFF && data[i] == 0xD9) {
      end = i - 1;
      break;
    }
  }
  if (end == size) return false;
  for (size_t i = end; i > 0; --i)
    if (data[i - 1] == 0xFF && data[i] == 0xDA) return true;
  return false;
}

}  // namespace bravik
