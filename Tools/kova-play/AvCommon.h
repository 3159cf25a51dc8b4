/* Small shared pieces of the two libavformat readers. */
#ifndef KOVA_PLAY_AV_COMMON_H
#define KOVA_PLAY_AV_COMMON_H

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

#include <string>

#include "MediaSource.h"

namespace kovaplay {

inline std::string AvError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

VideoCodec VideoCodecOf(AVCodecID id);
AudioCodec AudioCodecOf(AVCodecID id);

/* Fills the codec, size, rate and duration fields from the chosen streams
 * (either index may be negative). */
void DescribeStreams(const AVFormatContext *format, int video, int audio, MediaInfo &info);

/* A packet's time in milliseconds from the start of the file: its decoding
 * time when known (monotonic), else its presentation time; -1 when it has
 * neither. */
int64_t PacketMs(const AVFormatContext *format, const AVStream *stream, const AVPacket *packet);

}  // namespace kovaplay

#endif
