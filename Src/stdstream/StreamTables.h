/* The standard-stream decoder's fixed configuration: which codecs a stream
 * type is decoded with, and which sound parameters a stream type or a kind
 * of device implies. Plain tables, never changed while the library runs. */
#ifndef KOVA_STDSTREAM_STREAMTABLES_H
#define KOVA_STDSTREAM_STREAMTABLES_H

#include "platform/win32.h"

#include <map>

/* Stream type -> value. A type with no entry is simply absent. */
using StreamTypeTable = std::map<LONG, LONG>;

/* True with the entry in `value` when `table` lists `type`. */
bool LookupStreamType(const StreamTypeTable &table, LONG type, LONG *value);

/* Empties the three tables and fills them: video CodecID, audio CodecID and
 * the decoding library's code mode per stream type. */
void FillCodecTables(StreamTypeTable &videoCodecs, StreamTypeTable &audioCodecs,
                     StreamTypeTable &codeModes);

/* The audio codec and PCM format a stream type implies. */
struct StreamAudioParams {
    LONG audioCodec;
    LONG sampleRate;
    LONG channels;
    LONG audioBitrate;
    LONG bitsPerSample;
};

/* All zero for a stream type that implies no sound. */
StreamAudioParams AudioParamsForStreamType(LONG streamType);

/* What a kind of device sends when the client gives no sound parameters. */
struct DeviceAudioDefaults {
    LONG audioType;  /* an audioType code, see AudioCodecForType */
    LONG sampleRate;
    LONG channels;
    LONG bitrate;
    LONG bitsPerSample;
};

/* True with the defaults in `out` when the device code is listed. */
bool DefaultAudioForDevice(LONG deviceCode, DeviceAudioDefaults *out);

/* The audio CodecID an audioType code selects: 3 A-law, 8 the 16 kHz
 * speech codec, 17 G.726, anything else mu-law. */
LONG AudioCodecForType(LONG audioType);

#endif
