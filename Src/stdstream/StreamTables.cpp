#include "stdstream/StreamTables.h"

#include <QXDecoder.h>

namespace {

const LONG kNone = -1; /* no entry */

struct CodecRow {
    LONG streamType;
    LONG videoCodec;
    LONG audioCodec;
    LONG codeMode;
};

const CodecRow kCodecRows[] = {
    {2, CODEC_ID_MPEG4, kNone, kNone},
    {9, CODEC_ID_H264, CODEC_ID_PCM_ALAW, kNone},
    {16, CODEC_ID_H264, CODEC_ID_PCM_ALAW, kNone},
    {17, CODEC_ID_H264, CODEC_ID_QX_SPEECH16K, kNone},
    {19, CODEC_ID_H264, CODEC_ID_PCM_ALAW, kNone},
    {22, CODEC_ID_H264, kNone, kNone},
    {23, CODEC_ID_MPEG4, kNone, kNone},
    {25, CODEC_ID_H264, CODEC_ID_QX_SPEECH16K, kNone},
    {96, CODEC_ID_MPEG4, CODEC_ID_PCM_MULAW, kNone},
    {97, CODEC_ID_H264, CODEC_ID_PCM_MULAW, 1},
    {98, CODEC_ID_H264, kNone, kNone},
    {100, CODEC_ID_H264, CODEC_ID_PCM_MULAW, kNone},
    {103, CODEC_ID_H264, CODEC_ID_QX_SPEECH16K, kNone},
    {104, CODEC_ID_MJPEG, CODEC_ID_PCM_ALAW, kNone},
    {108, CODEC_ID_H264, CODEC_ID_PCM_MULAW, kNone},
    {192, CODEC_ID_MJPEG, kNone, kNone},
};

}  // namespace

bool LookupStreamType(const StreamTypeTable &table, LONG type, LONG *value)
{
    const auto found = table.find(type);
    if (found == table.end())
        return false;
    if (value)
        *value = found->second;
    return true;
}

void FillCodecTables(StreamTypeTable &videoCodecs, StreamTypeTable &audioCodecs,
                     StreamTypeTable &codeModes)
{
    videoCodecs.clear();
    audioCodecs.clear();
    codeModes.clear();
    for (const CodecRow &row : kCodecRows) {
        if (row.videoCodec != kNone)
            videoCodecs[row.streamType] = row.videoCodec;
        if (row.audioCodec != kNone)
            audioCodecs[row.streamType] = row.audioCodec;
        if (row.codeMode != kNone)
            codeModes[row.streamType] = row.codeMode;
    }
}

StreamAudioParams AudioParamsForStreamType(LONG streamType)
{
    switch (streamType) {
    case 9: case 16: case 19: case 104:
        return {CODEC_ID_PCM_ALAW, 8000, 1, 128000, 16};
    case 17: case 25: case 102: case 103:
        return {CODEC_ID_QX_SPEECH16K, 16000, 1, 16000, 16};
    case 96: case 108:
        return {CODEC_ID_PCM_MULAW, 8000, 1, 64000, 8};
    case 97:
        return {CODEC_ID_PCM_MULAW, 8000, 1, 128000, 16};
    default:
        return {0, 0, 0, 0, 0};
    }
}

bool DefaultAudioForDevice(LONG deviceCode, DeviceAudioDefaults *out)
{
    DeviceAudioDefaults defaults;
    switch (deviceCode) {
    case 48:
        defaults = {8, 16000, 1, 16000, 16};
        break;
    case 96:
        defaults = {2, 8000, 1, 0, 8};
        break;
    case 97: case 102: case 105:
        defaults = {2, 8000, 1, 0, 16};
        break;
    case 103:
        defaults = {17, 8000, 1, 32000, 16};
        break;
    case 112: case 128: case 129:
        defaults = {3, 8000, 1, 0, 16};
        break;
    default:
        return false;
    }
    if (out)
        *out = defaults;
    return true;
}

LONG AudioCodecForType(LONG audioType)
{
    switch (audioType) {
    case 3:
        return CODEC_ID_PCM_ALAW;
    case 8:
        return CODEC_ID_QX_SPEECH16K;
    case 17:
        return CODEC_ID_ADPCM_G726;
    default:
        return CODEC_ID_PCM_MULAW;
    }
}
