#include "AvCommon.h"

#include <cstring>

extern "C" {
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
}

namespace kovaplay {

VideoCodec VideoCodecOf(AVCodecID id)
{
    switch (id) {
    case AV_CODEC_ID_H264: return VideoCodec::H264;
    case AV_CODEC_ID_MPEG4: return VideoCodec::Mpeg4;
    case AV_CODEC_ID_MJPEG: return VideoCodec::Mjpeg;
    default: return VideoCodec::None;
    }
}

AudioCodec AudioCodecOf(AVCodecID id)
{
    switch (id) {
    case AV_CODEC_ID_PCM_MULAW: return AudioCodec::G711MuLaw;
    case AV_CODEC_ID_PCM_ALAW: return AudioCodec::G711ALaw;
    case AV_CODEC_ID_ADPCM_G726: return AudioCodec::G726;
    default: return AudioCodec::None;
    }
}

void DescribeStreams(const AVFormatContext *format, int video, int audio, MediaInfo &info)
{
    info.formatName = format->iformat ? format->iformat->name : "?";
    if (format->duration > 0)
        info.durationMs = format->duration / (AV_TIME_BASE / 1000);
    if (video >= 0) {
        const AVStream *s = format->streams[video];
        info.video = VideoCodecOf(s->codecpar->codec_id);
        info.videoName = avcodec_get_name(s->codecpar->codec_id);
        info.width = s->codecpar->width;
        info.height = s->codecpar->height;
        AVRational rate = s->avg_frame_rate.num > 0 ? s->avg_frame_rate : s->r_frame_rate;
        if (rate.num > 0 && rate.den > 0) {
            const double fps = av_q2d(rate);
            if (fps >= 1 && fps <= 120) info.frameRate = fps;
        }
    }
    if (audio >= 0) {
        const AVStream *s = format->streams[audio];
        info.audio = AudioCodecOf(s->codecpar->codec_id);
        info.audioName = avcodec_get_name(s->codecpar->codec_id);
        info.sampleRate = s->codecpar->sample_rate;
        info.channels = s->codecpar->ch_layout.nb_channels;
        info.audioBitRate = int(s->codecpar->bit_rate);
        if (info.audio == AudioCodec::G726 && info.audioBitRate <= 0)
            info.audioBitRate = s->codecpar->bits_per_coded_sample * info.sampleRate;
    }
}

int64_t PacketMs(const AVFormatContext *format, const AVStream *stream, const AVPacket *packet)
{
    int64_t t = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    if (t == AV_NOPTS_VALUE) return -1;
    int64_t ms = av_rescale_q(t, stream->time_base, AVRational{1, 1000});
    if (format->start_time != AV_NOPTS_VALUE)
        ms -= format->start_time / (AV_TIME_BASE / 1000);
    return ms < 0 ? 0 : ms;
}

bool OpenCameraFormFilter(const AVStream *stream, VideoCodec codec, bool repeatParameterSets, AVBSFContext *&filter,
                          std::string &error)
{
    const AVCodecParameters *vp = stream->codecpar;
    const char *name = nullptr;
    if (codec == VideoCodec::H264 && vp->extradata_size > 0 && vp->extradata[0] == 1)
        name = "h264_mp4toannexb";  // avcC in the container: length-prefixed units
    else if ((codec == VideoCodec::Mpeg4 || (codec == VideoCodec::H264 && repeatParameterSets)) &&
             vp->extradata_size > 0)
        name = "dump_extra";
    if (!name) return true;
    const AVBitStreamFilter *bsf = av_bsf_get_by_name(name);
    int r = bsf ? av_bsf_alloc(bsf, &filter) : AVERROR_FILTER_NOT_FOUND;
    if (r >= 0) r = avcodec_parameters_copy(filter->par_in, vp);
    if (r >= 0) {
        filter->time_base_in = stream->time_base;
        if (std::strcmp(name, "dump_extra") == 0) av_opt_set(filter->priv_data, "freq", "keyframe", 0);
        r = av_bsf_init(filter);
    }
    if (r < 0) {
        error = std::string("cannot set up the ") + name + " filter: " + AvError(r);
        av_bsf_free(&filter);
        return false;
    }
    return true;
}

std::string Describe(const MediaInfo &info)
{
    std::string codecs = info.videoName;
    if (info.audio != AudioCodec::None) {
        const char *a = info.audio == AudioCodec::G711MuLaw ? "g711u" : info.audio == AudioCodec::G711ALaw ? "g711a" : "g726";
        codecs += std::string("+") + a;
    }
    return info.vendor ? "vendor(" + codecs + ")" : codecs;
}

}  // namespace kovaplay
