// The decoding engine over FFmpeg: libavcodec decodes, libswscale scales and
// converts. Decoding runs on the caller's thread, one picture per packet,
// with no frame threading, so that a packet's picture is ready when the
// decode call returns.
#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "../Engine.h"
#include "Bitmap.h"
#include "CodecMap.h"
#include "LogHook.h"
#include "PacketFilters.h"
#include "Pcm.h"

namespace bravik {
namespace {

const int kMaxOutputSide = 16384;

// FFmpeg's full-range ("J") formats, named as their plain twin plus the range.
AVPixelFormat PlainFormat(AVPixelFormat format, bool& fullRange) {
  switch (format) {
    case AV_PIX_FMT_YUVJ420P: fullRange = true; return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: fullRange = true; return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: fullRange = true; return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: fullRange = true; return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P: fullRange = true; return AV_PIX_FMT_YUV411P;
    default: return format;
  }
}

// Copies a plane of w x h into one of width x height (no smaller), the last
// column and the last row repeated into the margin.
void CopyPadded(uint8_t* dst, int dstStride, int width, int height, const uint8_t* src, int srcStride, int w,
                int h) {
  for (int y = 0; y < h; ++y) {
    uint8_t* row = dst + size_t(y) * dstStride;
    const uint8_t* from = src + size_t(y) * srcStride;
    std::memcpy(row, from, size_t(w));
    if (width > w) std::memset(row + w, from[w - 1], size_t(width - w));
  }
  const uint8_t* last = dst + size_t(h - 1) * dstStride;
  for (int y = h; y < height; ++y) std::memcpy(dst + size_t(y) * dstStride, last, size_t(width));
}

// A swscale context kept while its source and destination stay the same.
class Scaler {
public:
  ~Scaler() { sws_freeContext(context_); }

  // Converts the frame into the destination planes; false when the
  // conversion cannot be set up.
  bool Run(const AVFrame* frame, int width, int height, AVPixelFormat dstFormat, uint8_t* const dst[],
           const int dstStride[]) {
    bool fullRange = frame->color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat srcFormat = PlainFormat(AVPixelFormat(frame->format), fullRange);
    const int matrix = frame->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT;
    const Key key{frame->width, frame->height, srcFormat, fullRange, matrix, width, height, dstFormat};
    if (!context_ || std::memcmp(&key, &key_, sizeof key) != 0) {
      sws_freeContext(context_);
      context_ = nullptr;
      // Pictures handed out are video range; bitmaps are full-range RGB. The
      // ranges are set before the context is set up, so that a same-size
      // conversion does not take the plain-copy path that ignores them.
      const int dstRange = dstFormat == AV_PIX_FMT_YUV420P ? 0 : 1;
      SwsContext* context = sws_alloc_context();
      if (!context) return false;
      av_opt_set_int(context, "srcw", key.srcWidth, 0);
      av_opt_set_int(context, "srch", key.srcHeight, 0);
      av_opt_set_int(context, "src_format", srcFormat, 0);
      av_opt_set_int(context, "dstw", width, 0);
      av_opt_set_int(context, "dsth", height, 0);
      av_opt_set_int(context, "dst_format", dstFormat, 0);
      av_opt_set_int(context, "src_range", fullRange ? 1 : 0, 0);
      av_opt_set_int(context, "dst_range", dstRange, 0);
      // A change of size alone (a 1080-row picture for a window of whole
      // macroblocks, 1088) takes the fast bilinear path, some 2.5 times
      // faster than the accurate one and as good for moving pictures; a
      // change of format or range keeps accurate rounding.
      const bool scaleOnly = srcFormat == dstFormat && (fullRange ? 1 : 0) == dstRange;
      av_opt_set_int(context, "sws_flags", scaleOnly ? SWS_FAST_BILINEAR : SWS_BILINEAR | SWS_ACCURATE_RND, 0);
      if (sws_init_context(context, nullptr, nullptr) < 0) {
        sws_freeContext(context);
        return false;
      }
      const int* coefficients = sws_getCoefficients(matrix);
      sws_setColorspaceDetails(context, coefficients, fullRange ? 1 : 0, coefficients, dstRange, 0,
                               1 << 16, 1 << 16);
      context_ = context;
      key_ = key;
    }
    return sws_scale(context_, frame->data, frame->linesize, 0, frame->height, dst, dstStride) > 0;
  }

private:
  struct Key {
    int srcWidth, srcHeight;
    int srcFormat;
    int fullRange;
    int matrix;
    int dstWidth, dstHeight;
    int dstFormat;
  };
  SwsContext* context_ = nullptr;
  Key key_{};
};

class FFmpegEngine final : public Engine, public LogSink {
public:
  FFmpegEngine() = default;
  ~FFmpegEngine() override {
    Close();
    av_packet_free(&packet_);
    av_frame_free(&decoded_);
    av_frame_free(&held_);
    av_buffer_unref(&packetBuffer_);
  }

  int Open(CodecID video, const _picture_param& picture, bool withAudio, CodecID audio,
           const _audio_param& audioParam) override;
  int Close() override;
  int SetOutput(const _picture_param& output) override;
  int SetOutputFormat(PixelFormat format) override;
  int GetParam(_video_param& param) override;
  int GetOutputResolution(int& width, int& height) override;
  int DecodeVideo(const unsigned char* data, int length) override;
  unsigned char* VideoFrame() override { return havePicture_ ? picture_.data() : nullptr; }
  int VideoFrameSize() override { return havePicture_ ? int(picture_.size()) : 0; }
  int DecodeAudio(const unsigned char* data, int length) override;
  unsigned char* AudioFrame() override { return pcm_.empty() ? nullptr : pcm_.data(); }
  int AudioFrameSize() override { return int(pcm_.size()); }
  int SaveImage(const char* path) override;

  void Deliver(void* context, int level, const char* text, va_list args) override;
  void BeginCall() override { messagesThisCall_ = 0; }

private:
  bool Allocate();
  void Report(int level, const char* format, ...);
  int OpenVideo(CodecID id, const _picture_param& picture);
  int OpenAudio(CodecID id, const _audio_param& param);
  int Send(AVCodecContext* context, const uint8_t* data, size_t size);
  const uint8_t* Unwrap(const uint8_t* data, size_t& size, PesKind kind, int& error);
  int RenderPicture();

  AVCodecContext* video_ = nullptr;
  AVCodecContext* audio_ = nullptr;
  CodecID videoId_ = CODEC_ID_NONE;
  CodecID audioId_ = CODEC_ID_NONE;

  AVPacket* packet_ = nullptr;
  AVFrame* decoded_ = nullptr;
  AVFrame* held_ = nullptr;  // the last picture, at the stream's own size
  AVBufferRef* packetBuffer_ = nullptr;
  std::vector<uint8_t> unwrapped_;
  std::vector<uint8_t> annexB_;

  // Output request; kept across runs, since callers set it once per window.
  bool outputNative_ = true;
  int outputWidth_ = 0;
  int outputHeight_ = 0;

  std::vector<uint8_t> picture_;
  bool havePicture_ = false;
  int pictureWidth_ = 0;
  int pictureHeight_ = 0;
  Scaler scaler_;

  int hintWidth_ = 0;
  int hintHeight_ = 0;
  int framesDecoded_ = 0;
  int framesFailed_ = 0;

  PcmFormat pcmFormat_;
  std::vector<uint8_t> pcm_;

  int messagesThisCall_ = 0;
};

bool FFmpegEngine::Allocate() {
  if (!packet_) packet_ = av_packet_alloc();
  if (!decoded_) decoded_ = av_frame_alloc();
  if (!held_) held_ = av_frame_alloc();
  return packet_ && decoded_ && held_;
}

void FFmpegEngine::Deliver(void* context, int level, const char* text, va_list args) {
  if (!settings.log || !text || level > AV_LOG_INFO) return;
  if (settings.logLimit > 0 && messagesThisCall_ >= settings.logLimit) return;
  ++messagesThisCall_;
  settings.log(context, level, text, args);
}

void FFmpegEngine::Report(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Deliver(nullptr, level, format, args);
  va_end(args);
}

int FFmpegEngine::Open(CodecID video, const _picture_param& picture, bool withAudio, CodecID audio,
                       const _audio_param& audioParam) {
  LogScope scope(this);
  Close();
  if (!Allocate()) return QX_ERR_MEMORY;
  if (video == CODEC_ID_NONE && (!withAudio || audio == CODEC_ID_NONE)) {
    Report(AV_LOG_ERROR, "QXOpenDecoder: no codec given\n");
    return QX_ERR_UNSUPPORTED;
  }
  if (video != CODEC_ID_NONE) {
    const int r = OpenVideo(video, picture);
    if (r != QX_OK) return r;
  }
  if (withAudio && audio != CODEC_ID_NONE) {
    const int r = OpenAudio(audio, audioParam);
    if (r != QX_OK) {
      Close();
      return video != CODEC_ID_NONE ? QX_ERR_AUDIO_OPEN : r;
    }
  }
  return QX_OK;
}

int FFmpegEngine::OpenVideo(CodecID id, const _picture_param& picture) {
  const AVCodecID codecId = ToFFmpegCodec(id);
  if (!IsVideoCodec(id) || codecId == AV_CODEC_ID_NONE) {
    Report(AV_LOG_ERROR, "QXOpenDecoder: unknown video codec %d\n", int(id));
    return QX_ERR_UNSUPPORTED;
  }
  const AVCodec* codec = avcodec_find_decoder(codecId);
  if (!codec) {
    Report(AV_LOG_ERROR, "QXOpenDecoder: no decoder for video codec %d\n", int(id));
    return QX_ERR_UNSUPPORTED;
  }
  AVCodecContext* context = avcodec_alloc_context3(codec);
  if (!context) return QX_ERR_MEMORY;
  context->thread_count = 1;
  if (settings.outputMode == 1)
    context->flags &= ~AV_CODEC_FLAG_OUTPUT_CORRUPT;
  else
    context->flags |= AV_CODEC_FLAG_OUTPUT_CORRUPT;
  if (avcodec_open2(context, codec, nullptr) < 0) {
    avcodec_free_context(&context);
    return QX_ERR_UNSUPPORTED;
  }
  video_ = context;
  videoId_ = id;
  hintWidth_ = picture.width > 0 ? picture.width : 0;
  hintHeight_ = picture.height > 0 ? picture.height : 0;
  return QX_OK;
}

int FFmpegEngine::OpenAudio(CodecID id, const _audio_param& param) {
  const AVCodecID codecId = ToFFmpegCodec(id);
  if (!IsAudioCodec(id) || codecId == AV_CODEC_ID_NONE) {
    Report(AV_LOG_ERROR, "QXOpenDecoder: unknown audio codec %d\n", int(id));
    return QX_ERR_UNSUPPORTED;
  }
  const AVCodec* codec = avcodec_find_decoder(codecId);
  if (!codec) return QX_ERR_UNSUPPORTED;
  AVCodecContext* context = avcodec_alloc_context3(codec);
  if (!context) return QX_ERR_MEMORY;
  const AudioSetup setup = ChooseAudioSetup(id, param);
  context->sample_rate = setup.sampleRate;
  av_channel_layout_default(&context->ch_layout, setup.channels);
  context->bit_rate = setup.bitRate;
  context->bits_per_coded_sample = setup.bitsPerCodedSample;
  if (avcodec_open2(context, codec, nullptr) < 0) {
    avcodec_free_context(&context);
    return QX_ERR_UNSUPPORTED;
  }
  audio_ = context;
  audioId_ = id;
  pcmFormat_ = setup.output;
  return QX_OK;
}

int FFmpegEngine::Close() {
  LogScope scope(this);
  avcodec_free_context(&video_);
  avcodec_free_context(&audio_);
  videoId_ = audioId_ = CODEC_ID_NONE;
  if (held_) av_frame_unref(held_);
  havePicture_ = false;
  pictureWidth_ = pictureHeight_ = 0;
  hintWidth_ = hintHeight_ = 0;
  framesDecoded_ = framesFailed_ = 0;
  pcm_.clear();
  return QX_OK;
}

int FFmpegEngine::SetOutput(const _picture_param& output) {
  if (output.width > kMaxOutputSide || output.height > kMaxOutputSide) return QX_ERR_ARGUMENT;
  if (output.format == -1 || output.width <= 0 || output.height <= 0) {
    outputNative_ = true;
    outputWidth_ = outputHeight_ = 0;
  } else {
    outputNative_ = false;
    outputWidth_ = output.width;
    outputHeight_ = output.height;
  }
  return QX_OK;
}

int FFmpegEngine::SetOutputFormat(PixelFormat format) {
  return format == PIX_FMT_YUV420P ? QX_OK : QX_ERR_UNSUPPORTED;
}

int FFmpegEngine::GetParam(_video_param& param) {
  param = _video_param();
  param.codec = videoId_;
  const bool native = held_ && held_->width > 0;
  param.width = native ? held_->width : hintWidth_;
  param.height = native ? held_->height : hintHeight_;
  GetOutputResolution(param.output_width, param.output_height);
  param.output_format = PIX_FMT_YUV420P;
  param.frames_decoded = framesDecoded_;
  param.frames_failed = framesFailed_;
  param.profile = video_ ? video_->profile : FF_PROFILE_UNKNOWN;
  param.level = video_ ? video_->level : FF_LEVEL_UNKNOWN;
  param.sar_num = native ? held_->sample_aspect_ratio.num : 0;
  param.sar_den = native && held_->sample_aspect_ratio.den ? held_->sample_aspect_ratio.den : 1;
  param.audio_codec = audioId_;
  param.audio_sample_rate = audio_ ? audio_->sample_rate : 0;
  param.audio_channels = audio_ ? pcmFormat_.channels : 0;
  return QX_OK;
}

int FFmpegEngine::GetOutputResolution(int& width, int& height) {
  if (havePicture_) {
    width = pictureWidth_;
    height = pictureHeight_;
  } else if (!outputNative_) {
    width = outputWidth_;
    height = outputHeight_;
  } else {
    width = hintWidth_;
    height = hintHeight_;
  }
  return QX_OK;
}

int FFmpegEngine::Send(AVCodecContext* context, const uint8_t* data, size_t size) {
  if (size > size_t(INT_MAX - AV_INPUT_BUFFER_PADDING_SIZE)) return AVERROR(EINVAL);
  const size_t needed = size + AV_INPUT_BUFFER_PADDING_SIZE;
  // One packet buffer, reused; FFmpeg takes a reference instead of a copy.
  if (!packetBuffer_ || !av_buffer_is_writable(packetBuffer_) || size_t(packetBuffer_->size) < needed) {
    size_t capacity = packetBuffer_ ? size_t(packetBuffer_->size) : 0;
    capacity = std::max(needed, std::min(capacity * 2, size_t(INT_MAX)));
    av_buffer_unref(&packetBuffer_);
    packetBuffer_ = av_buffer_alloc(capacity);
    if (!packetBuffer_) return AVERROR(ENOMEM);
  }
  std::memcpy(packetBuffer_->data, data, size);
  std::memset(packetBuffer_->data + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
  av_packet_unref(packet_);
  packet_->buf = av_buffer_ref(packetBuffer_);
  if (!packet_->buf) return AVERROR(ENOMEM);
  packet_->data = packetBuffer_->data;
  packet_->size = int(size);
  int r = avcodec_send_packet(context, packet_);
  av_packet_unref(packet_);
  return r;
}

const uint8_t* FFmpegEngine::Unwrap(const uint8_t* data, size_t& size, PesKind kind, int& error) {
  error = QX_OK;
  if (!settings.demux || !LooksLikeProgramStream(data, size)) return data;
  unwrapped_.clear();
  if (!ExtractProgramStream(data, size, kind, unwrapped_)) {
    Report(AV_LOG_ERROR, "malformed program stream packet of %d bytes\n", int(size));
    error = QX_ERR_DECODE;
    return nullptr;
  }
  if (unwrapped_.empty()) {
    error = QX_ERR_NO_OUTPUT;
    return nullptr;
  }
  size = unwrapped_.size();
  return unwrapped_.data();
}

int FFmpegEngine::DecodeVideo(const unsigned char* data, int length) {
  LogScope scope(this);
  havePicture_ = false;  // whatever happens, the previous picture is gone
  if (!data || length <= 0) return QX_ERR_ARGUMENT;
  if (!video_) return QX_ERR_NOT_OPEN;

  size_t size = size_t(length);
  int error;
  const uint8_t* payload = Unwrap(data, size, PesKind::Video, error);
  if (!payload) {
    ++framesFailed_;
    return error;
  }
  if (videoId_ == CODEC_ID_H264 && settings.encodeMode == 1 && !HasStartCode(payload, size) &&
      LengthPrefixedToAnnexB(payload, size, annexB_)) {
    payload = annexB_.data();
    size = annexB_.size();
  }

  if (videoId_ == CODEC_ID_MJPEG && settings.outputMode == 1 && !JpegIsComplete(payload, size)) {
    Report(AV_LOG_ERROR, "incomplete JPEG picture of %d bytes\n", int(size));
    ++framesFailed_;
    return QX_ERR_DECODE;
  }

  int sent = Send(video_, payload, size);
  bool got = false;
  bool refused = false;
  for (;;) {
    const int r = avcodec_receive_frame(video_, decoded_);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) break;
    if (r < 0) {
      sent = r;
      break;
    }
    const bool damaged = (decoded_->flags & AV_FRAME_FLAG_CORRUPT) || decoded_->decode_error_flags;
    if (settings.outputMode == 1 && damaged) {
      av_frame_unref(decoded_);
      refused = true;
      continue;
    }
    av_frame_unref(held_);
    av_frame_move_ref(held_, decoded_);
    got = true;
  }
  if (!got) {
    ++framesFailed_;
    return sent < 0 || refused ? QX_ERR_DECODE : QX_ERR_NO_OUTPUT;
  }
  const int r = RenderPicture();
  if (r != QX_OK) {
    ++framesFailed_;
    return r;
  }
  ++framesDecoded_;
  return QX_OK;
}

int FFmpegEngine::RenderPicture() {
  const int width = outputNative_ ? held_->width : outputWidth_;
  const int height = outputNative_ ? held_->height : outputHeight_;
  if (width <= 0 || height <= 0 || width > kMaxOutputSide || height > kMaxOutputSide)
    return QX_ERR_DECODE;
  const size_t lumaBytes = size_t(width) * size_t(height);
  const int chromaWidth = (width + 1) / 2;
  const int chromaHeight = (height + 1) / 2;
  const size_t chromaBytes = size_t(chromaWidth) * size_t(chromaHeight);
  try {
    picture_.resize(lumaBytes + 2 * chromaBytes);
  } catch (const std::bad_alloc&) {
    return QX_ERR_MEMORY;
  }
  uint8_t* const planes[4] = {picture_.data(), picture_.data() + lumaBytes,
                              picture_.data() + lumaBytes + chromaBytes, nullptr};
  const int strides[4] = {width, chromaWidth, chromaWidth, 0};

  // A picture asked for at its own size is copied; one asked for a little
  // larger, to whole macroblocks (1080 rows shown as 1088), is copied with
  // its last rows and columns repeated, which the eye cannot tell from the
  // scaled picture at a third of the cost.
  const bool padOnly = held_->width > 0 && held_->height > 0 && width >= held_->width && width - held_->width < 16 && height >= held_->height &&
                       height - held_->height < 16;
  if (held_->format == AV_PIX_FMT_YUV420P && held_->color_range != AVCOL_RANGE_JPEG && padOnly) {
    const int heldChromaWidth = (held_->width + 1) / 2;
    const int heldChromaHeight = (held_->height + 1) / 2;
    CopyPadded(planes[0], strides[0], width, height, held_->data[0], held_->linesize[0], held_->width,
               held_->height);
    CopyPadded(planes[1], strides[1], chromaWidth, chromaHeight, held_->data[1], held_->linesize[1],
               heldChromaWidth, heldChromaHeight);
    CopyPadded(planes[2], strides[2], chromaWidth, chromaHeight, held_->data[2], held_->linesize[2],
               heldChromaWidth, heldChromaHeight);
  } else if (!scaler_.Run(held_, width, height, AV_PIX_FMT_YUV420P, planes, strides)) {
    Report(AV_LOG_ERROR, "cannot convert %s %dx%d to %dx%d\n",
           av_get_pix_fmt_name(AVPixelFormat(held_->format)), held_->width, held_->height, width, height);
    return QX_ERR_UNSUPPORTED;
  }
  havePicture_ = true;
  pictureWidth_ = width;
  pictureHeight_ = height;
  return QX_OK;
}

int FFmpegEngine::DecodeAudio(const unsigned char* data, int length) {
  LogScope scope(this);
  pcm_.clear();  // whatever happens, the previous sound is gone
  if (!data || length <= 0) return QX_ERR_ARGUMENT;
  if (!audio_) return QX_ERR_NOT_OPEN;

  size_t size = size_t(length);
  int error;
  const uint8_t* payload = Unwrap(data, size, PesKind::Audio, error);
  if (!payload) return error;

  int sent = Send(audio_, payload, size);
  for (;;) {
    const int r = avcodec_receive_frame(audio_, decoded_);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) break;
    if (r < 0) {
      sent = r;
      break;
    }
    bool appended;
    try {
      appended = AppendPcm(decoded_, pcmFormat_, pcm_);
    } catch (const std::bad_alloc&) {
      av_frame_unref(decoded_);
      pcm_.clear();
      return QX_ERR_MEMORY;
    }
    av_frame_unref(decoded_);
    if (!appended) {
      pcm_.clear();
      return QX_ERR_UNSUPPORTED;
    }
  }
  if (pcm_.empty()) return sent < 0 ? QX_ERR_DECODE : QX_ERR_NO_OUTPUT;
  return QX_OK;
}

int FFmpegEngine::SaveImage(const char* path) {
  LogScope scope(this);
  if (!path || !*path) return QX_ERR_ARGUMENT;
  if (!held_ || held_->width <= 0 || held_->height <= 0) return QX_ERR_NO_PICTURE;
  const int width = held_->width;
  const int height = held_->height;
  const int stride = (width * 3 + 31) & ~31;
  std::vector<uint8_t> bgr;
  try {
    bgr.resize(size_t(stride) * size_t(height));
  } catch (const std::bad_alloc&) {
    return QX_ERR_MEMORY;
  }
  uint8_t* const planes[4] = {bgr.data(), nullptr, nullptr, nullptr};
  const int strides[4] = {stride, 0, 0, 0};
  Scaler scaler;
  if (!scaler.Run(held_, width, height, AV_PIX_FMT_BGR24, planes, strides)) return QX_ERR_UNSUPPORTED;
  if (!WriteBitmap24(path, bgr.data(), stride, width, height)) {
    Report(AV_LOG_ERROR, "cannot write the bitmap file %s\n", path);
    return QX_ERR_IO;
  }
  return QX_OK;
}

}  // namespace

void InitializeEngines() { InstallLogHook(); }

Engine* MakeEngine() {
  InstallLogHook();
  return new (std::nothrow) FFmpegEngine();
}

}  // namespace bravik
