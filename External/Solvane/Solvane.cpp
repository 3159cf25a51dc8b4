// Handles are serial numbers looked up in the table of live converters, so a
// stale or made-up handle is refused instead of followed, and a released
// handle never comes back for a new converter.
#include "Solvane.h"

#include <cstdint>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

namespace {

struct Converter {
  int deviceCode;
  int streamType;
  std::vector<unsigned char> output;  // reused: grows, never shrinks
};

std::mutex g_lock;
uintptr_t g_lastHandle = 0;
// Left allocated at exit: a converter released from a static destructor
// elsewhere must still find the table.
std::unordered_map<uintptr_t, Converter*>& LiveConverters() {
  static auto* live = new std::unordered_map<uintptr_t, Converter*>();
  return *live;
}

Converter* Find(SOLVANE_HANDLE handle) {
  const auto it = LiveConverters().find(reinterpret_cast<uintptr_t>(handle));
  return it == LiveConverters().end() ? nullptr : it->second;
}

bool NeedsConversion(int deviceCode, int streamType) {
  return deviceCode == SOLVANE_DEVICE_FRAMED && streamType != SOLVANE_VENDOR_STREAM;
}

int StripFraming(const unsigned char* data, size_t length, int kind, std::vector<unsigned char>& out) {
  out.clear();
  size_t pos = 0;
  if (length == 0) return SOLVANE_ERR_FRAMING;
  while (pos < length) {
    if (length - pos < SOLVANE_FRAME_HEADER_SIZE) return SOLVANE_ERR_FRAMING;
    const unsigned char* header = data + pos;
    if (header[0] != SOLVANE_SYNC0 || header[1] != SOLVANE_SYNC1) return SOLVANE_ERR_FRAMING;
    if (header[2] > SOLVANE_KIND_AUDIO || header[3] != 0) return SOLVANE_ERR_FRAMING;
    const uint32_t payload = uint32_t(header[4]) | uint32_t(header[5]) << 8 | uint32_t(header[6]) << 16 |
                             uint32_t(header[7]) << 24;
    pos += SOLVANE_FRAME_HEADER_SIZE;
    if (payload == 0 || payload > length - pos) return SOLVANE_ERR_FRAMING;
    if (header[2] == kind) out.insert(out.end(), data + pos, data + pos + payload);
    pos += payload;
  }
  return out.empty() ? SOLVANE_ERR_EMPTY : SOLVANE_OK;
}

}  // namespace

extern "C" {

SOLVANE_API SOLVANE_HANDLE SOLVANE_CALL CreateConverter(int deviceCode, int streamType) {
  if (!NeedsConversion(deviceCode, streamType)) return nullptr;
  Converter* converter = new (std::nothrow) Converter{deviceCode, streamType, {}};
  if (!converter) return nullptr;
  try {
    std::lock_guard<std::mutex> guard(g_lock);
    if (++g_lastHandle == 0) ++g_lastHandle;
    LiveConverters().emplace(g_lastHandle, converter);
    return reinterpret_cast<SOLVANE_HANDLE>(g_lastHandle);
  } catch (...) {
    delete converter;
    return nullptr;
  }
}

SOLVANE_API int SOLVANE_CALL ConvertStdData(SOLVANE_HANDLE handle, unsigned char* data, int length,
                                            unsigned char** outData, int* outLength, int kind) {
  if (outData) *outData = nullptr;
  if (outLength) *outLength = 0;
  Converter* converter;
  {
    std::lock_guard<std::mutex> guard(g_lock);
    converter = Find(handle);
  }
  if (!converter) return SOLVANE_ERR_HANDLE;
  if (!data || length < 0 || !outData || !outLength ||
      (kind != SOLVANE_KIND_VIDEO && kind != SOLVANE_KIND_AUDIO))
    return SOLVANE_ERR_ARGUMENT;
  int result;
  try {
    result = StripFraming(data, size_t(length), kind, converter->output);
  } catch (const std::bad_alloc&) {
    return SOLVANE_ERR_MEMORY;
  }
  if (result != SOLVANE_OK) return result;
  *outData = converter->output.data();
  *outLength = int(converter->output.size());
  return SOLVANE_OK;
}

SOLVANE_API void SOLVANE_CALL ReleaseConverter(SOLVANE_HANDLE handle) {
  Converter* converter;
  {
    std::lock_guard<std::mutex> guard(g_lock);
    converter = Find(handle);
    if (!converter) return;
    LiveConverters().erase(reinterpret_cast<uintptr_t>(handle));
  }
  delete converter;
}

}  // extern "C"
