/* The decoding state behind a QXDecoder. The FFmpeg build provides the real
 * engine; a build without FFmpeg provides one that refuses to open. */
#ifndef BRAVIK_ENGINE_H
#define BRAVIK_ENGINE_H

#include "QXDecoder.h"

namespace bravik {

struct Settings {
  int encodeMode = 0;
  bool demux = false;
  int outputMode = 0;
  QXLogCallback log = nullptr;
  int logLimit = 0;
};

class Engine {
public:
  virtual ~Engine() = default;

  Settings settings;

  virtual int Open(CodecID video, const _picture_param& picture, bool withAudio, CodecID audio,
                   const _audio_param& audioParam) = 0;
  virtual int Close() = 0;
  virtual int SetOutput(const _picture_param& output) = 0;
  virtual int SetOutputFormat(PixelFormat format) = 0;
  virtual int GetParam(_video_param& param) = 0;
  virtual int GetOutputResolution(int& width, int& height) = 0;
  virtual int DecodeVideo(const unsigned char* data, int length) = 0;
  virtual unsigned char* VideoFrame() = 0;
  virtual int VideoFrameSize() = 0;
  virtual int DecodeAudio(const unsigned char* data, int length) = 0;
  virtual unsigned char* AudioFrame() = 0;
  virtual int AudioFrameSize() = 0;
  virtual int SaveImage(const char* path) = 0;
};

/* Library-wide set-up of the engine (idempotent). */
void InitializeEngines();
/* A new engine, or null when memory is short. */
Engine* MakeEngine();

}  // namespace bravik

#endif
