// The exported class: a thin shell over the engine, so that the object stays
// small and its layout does not depend on FFmpeg's.
#include "QXDecoder.h"

#include "Engine.h"

int QXDecoderInitialize() {
  bravik::InitializeEngines();
  return QX_OK;
}

QXDecoder::QXDecoder() : m_engine(bravik::MakeEngine()) {}

QXDecoder::~QXDecoder() { delete m_engine; }

int QXDecoder::QXDecoderSetEncodeMode(int code_mode) {
  if (!m_engine) return QX_ERR_MEMORY;
  m_engine->settings.encodeMode = code_mode;
  return QX_OK;
}

int QXDecoder::QXDecoderSetDemux(int enable) {
  if (!m_engine) return QX_ERR_MEMORY;
  m_engine->settings.demux = enable != 0;
  return QX_OK;
}

int QXDecoder::QXDecoderRegisterLog(QXLogCallback callback, int limit) {
  if (!m_engine) return QX_ERR_MEMORY;
  bravik::InitializeEngines();
  m_engine->settings.log = callback;
  m_engine->settings.logLimit = limit > 0 ? limit : 0;
  return QX_OK;
}

int QXDecoder::QXDecoderSetOutputMode(int output_mode) {
  if (!m_engine) return QX_ERR_MEMORY;
  m_engine->settings.outputMode = output_mode;
  return QX_OK;
}

int QXDecoder::QXOpenDecoder(CodecID video, _picture_param picture, CodecID audio,
                             _audio_param audio_param) {
  if (!m_engine) return QX_ERR_MEMORY;
  return m_engine->Open(video, picture, true, audio, audio_param);
}

int QXDecoder::QXOpenDecoder(CodecID video, _picture_param picture) {
  if (!m_engine) return QX_ERR_MEMORY;
  return m_engine->Open(video, picture, false, CODEC_ID_NONE, _audio_param{0, 0, 0});
}

int QXDecoder::QXClose() { return m_engine ? m_engine->Close() : QX_OK; }

int QXDecoder::QXSetOutput(_picture_param output, char) {
  return m_engine ? m_engine->SetOutput(output) : QX_ERR_MEMORY;
}

int QXDecoder::QXSetOutputFormat(PixelFormat format, char) {
  return m_engine ? m_engine->SetOutputFormat(format) : QX_ERR_MEMORY;
}

int QXDecoder::QXGetParam(_video_param& param) {
  return m_engine ? m_engine->GetParam(param) : QX_ERR_MEMORY;
}

int QXDecoder::QXGetOutputResolution(int& width, int& height) {
  if (!m_engine) {
    width = height = 0;
    return QX_ERR_MEMORY;
  }
  return m_engine->GetOutputResolution(width, height);
}

int QXDecoder::QXDecodeVideoFrame(unsigned char* data, int length, int) {
  return m_engine ? m_engine->DecodeVideo(data, length) : QX_ERR_MEMORY;
}

unsigned char* QXDecoder::QXGetVideoFrame() { return m_engine ? m_engine->VideoFrame() : nullptr; }

int QXDecoder::QXGetVideoFrameSize() { return m_engine ? m_engine->VideoFrameSize() : 0; }

int QXDecoder::QXDecodeAudioFrame(unsigned char* data, int length) {
  return m_engine ? m_engine->DecodeAudio(data, length) : QX_ERR_MEMORY;
}

unsigned char* QXDecoder::QXGetAudioFrame() { return m_engine ? m_engine->AudioFrame() : nullptr; }

int QXDecoder::QXGetAudioFrameSize() { return m_engine ? m_engine->AudioFrameSize() : 0; }

int QXDecoder::QXSaveCurrentImage(const char* path) {
  return m_engine ? m_engine->SaveImage(path) : QX_ERR_MEMORY;
}
