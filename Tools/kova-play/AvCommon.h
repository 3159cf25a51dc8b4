/* Small shared pieces of the two libavformat readers. */
#ifndef KOVA_PLAY_AV_COMMON_H
#define KOVA_PLAY_AV_COMMON_H

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
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

/* The filter that puts a video stream's pictures in the form cameras send
 * them (H.264 Annex B with parameter sets in band, MPEG-4 part 2 with its
 * configuration before each key picture); `filter` stays null when the
 * pictures already are. `repeatParameterSets`: H.264 parameter sets given
 * out of band in Annex B form (a live source's session description) go
 * before each key picture too. False with a message when it cannot be set up. */
bool OpenCameraFormFilter(const AVStream *stream, VideoCodec codec, bool repeatParameterSets, AVBSFContext *&filter,
                          std::string &error);

}  // namespace kovaplay

#endif
