/* Bravik: the QXDecoder decoding library.
 *
 * One QXDecoder object decodes one stream: a video codec and optionally an
 * audio codec, opened together by QXOpenDecoder. Pictures come out as planar
 * YUV 4:2:0 at the output size chosen with QXSetOutput; sound comes out as
 * interleaved PCM in the format the caller plays it with.
 *
 * Results: 0 is success; failures are the negative QX_ERR_* values below.
 * Pointers handed out (QXGetVideoFrame, QXGetAudioFrame) belong to the object
 * and stay valid until the next decode, open or close on it.
 *
 * The object is small (a pointer to its decoding state), far below the 552
 * bytes callers reserve for it; objects are independent, but one object must
 * not be used from two threads at once. */
#ifndef BRAVIK_QXDECODER_H
#define BRAVIK_QXDECODER_H

#include <stdarg.h>

#if defined(_WIN32)
#  if defined(BRAVIK_BUILDING_LIBRARY)
#    define QXDECODER_API __declspec(dllexport)
#  else
#    define QXDECODER_API __declspec(dllimport)
#  endif
#else
#  define QXDECODER_API __attribute__((visibility("default")))
#endif

/* Codec identifiers, in FFmpeg's historical numbering. */
enum CodecID {
  CODEC_ID_NONE = 0,
  CODEC_ID_MJPEG = 8,
  CODEC_ID_MPEG4 = 13,          /* MPEG-4 part 2 */
  CODEC_ID_H264 = 28,
  CODEC_ID_PCM_MULAW = 0x10006, /* G.711 mu-law */
  CODEC_ID_PCM_ALAW = 0x10007,  /* G.711 A-law */
  CODEC_ID_ADPCM_G726 = 0x1100B,
  CODEC_ID_QX_SPEECH16K = 0x990001 /* the library's 16 kHz speech codec: G.722 */
};

/* Output pixel formats (FFmpeg's historical numbering). */
enum PixelFormat {
  PIX_FMT_NONE = -1,
  PIX_FMT_YUV420P = 0 /* planar Y, then Cb, then Cr; chroma at half size */
};

/* Picture size and format. As an output request, format -1 (or a width or
 * height of 0) means "the stream's own size, whatever it is". */
struct _picture_param {
  int width;
  int height;
  int format;
};

struct _audio_param {
  int sample_rate; /* Hz */
  int channels;
  int bit_rate;    /* bits per second */
};

/* Stream description filled by QXGetParam (60 bytes). */
struct _video_param {
  int codec;          /* video CodecID of the open run, 0 when none */
  int width;          /* the stream's own picture width */
  int height;         /* the stream's own picture height */
  int output_width;   /* size of the pictures handed out */
  int output_height;
  int output_format;  /* PixelFormat */
  int frames_decoded; /* pictures handed out since the open */
  int frames_failed;  /* video packets refused since the open */
  int profile;        /* FFmpeg's profile and level of the stream, -99 unknown */
  int level;
  int sar_num;        /* sample aspect ratio, 0/1 unknown */
  int sar_den;
  int audio_codec;    /* audio CodecID of the open run, 0 when none */
  int audio_sample_rate;
  int audio_channels; /* channels of the PCM handed out */
};

/* Receives the library's messages: FFmpeg's context (null for the library's
 * own messages), FFmpeg's level (16 error, 24 warning, 32 info), the printf
 * format as it is, and its arguments. */
typedef void (*QXLogCallback)(void* context, int level, const char* text, va_list args);

/* Results. */
#define QX_OK 0
#define QX_ERR_ARGUMENT (-1)     /* null pointer, empty packet, bad size */
#define QX_ERR_NOT_OPEN (-2)     /* nothing opened for this kind of data */
#define QX_ERR_DECODE (-3)       /* the data could not be decoded */
#define QX_ERR_NO_OUTPUT (-4)    /* accepted, but no picture or sound yet */
#define QX_ERR_MEMORY (-5)
#define QX_ERR_UNSUPPORTED (-6)  /* unknown codec or format */
#define QX_ERR_IO (-7)           /* the snapshot file could not be written */
#define QX_ERR_NO_PICTURE (-8)   /* no picture to save yet */
#define QX_ERR_UNAVAILABLE (-9)  /* this build has no decoding engine */
#define QX_ERR_AUDIO_OPEN (-10100) /* video fine, audio refused: open video alone */

/* Library-wide set-up; may be called any number of times. */
QXDECODER_API int QXDecoderInitialize();

namespace bravik { class Engine; }

class QXDECODER_API QXDecoder {
public:
  QXDecoder();
  ~QXDecoder();

  /* Settings read at the next QXOpenDecoder. */
  int QXDecoderSetEncodeMode(int code_mode);   /* 1: H.264 may come length-prefixed */
  int QXDecoderSetDemux(int enable);           /* 1: unwrap MPEG program stream packets */
  int QXDecoderRegisterLog(QXLogCallback callback, int limit); /* limit: messages per call, 0 = all */
  int QXDecoderSetOutputMode(int output_mode); /* 1: only intact pictures; 0: concealed ones too */

  int QXOpenDecoder(CodecID video, _picture_param picture, CodecID audio, _audio_param audio_param);
  int QXOpenDecoder(CodecID video, _picture_param picture);
  int QXClose();

  int QXSetOutput(_picture_param output, char reserved);
  int QXSetOutputFormat(PixelFormat format, char reserved);
  int QXGetParam(_video_param& param);
  int QXGetOutputResolution(int& width, int& height);

  int QXDecodeVideoFrame(unsigned char* data, int length, int reserved);
  unsigned char* QXGetVideoFrame();
  int QXGetVideoFrameSize();

  int QXDecodeAudioFrame(unsigned char* data, int length);
  unsigned char* QXGetAudioFrame();
  int QXGetAudioFrameSize();

  int QXSaveCurrentImage(const char* path);

private:
  QXDecoder(const QXDecoder&) = delete;
  QXDecoder& operator=(const QXDecoder&) = delete;

  bravik::Engine* m_engine; /* null when it could not be allocated */
};

#ifdef __cplusplus
static_assert(sizeof(_picture_param) == 12, "_picture_param is three 32-bit fields");
static_assert(sizeof(_audio_param) == 12, "_audio_param is three 32-bit fields");
static_assert(sizeof(_video_param) == 60, "_video_param is 60 bytes");
static_assert(sizeof(CodecID) == 4, "CodecID is passed as a 32-bit value");
static_assert(sizeof(QXDecoder) <= 552, "callers reserve 552 bytes for a QXDecoder");
#endif

#endif
