// The engine of a build without FFmpeg (the 32-bit Windows build): the
// library loads and every object can be made, configured and closed, but
// nothing opens, so every decode reports that nothing is open.
#include <new>

#include "Engine.h"

namespace bravik {
namespace {

class UnavailableEngine final : public Engine {
public:
  int Open(CodecID, const _picture_param&, bool, CodecID, const _audio_param&) override {
    return QX_ERR_UNAVAILABLE;
  }
  int Close() override { return QX_OK; }
  int SetOutput(const _picture_param&) override { return QX_OK; }
  int SetOutputFormat(PixelFormat format) override {
    return format == PIX_FMT_YUV420P ? QX_OK : QX_ERR_UNSUPPORTED;
  }
  int GetParam(_video_param& param) override {
    param = _video_param();
    return QX_OK;
  }
  int GetOutputResolution(int& width, int& height) override {
    width = height = 0;
    return QX_OK;
  }
  int DecodeVideo(const unsigned char*, int) override { return QX_ERR_NOT_OPEN; }
  unsigned char* VideoFrame() override { return nullptr; }
  int VideoFrameSize() override { return 0; }
  int DecodeAudio(const unsigned char*, int) override { return QX_ERR_NOT_OPEN; }
  unsigned char* AudioFrame() override { return nullptr; }
  int AudioFrameSize() override { return 0; }
  int SaveImage(const char*) override { return QX_ERR_NO_PICTURE; }
};

}  // namespace

void InitializeEngines() {}

Engine* MakeEngine() { return new (std::nothrow) UnavailableEngine(); }

}  // namespace bravik
