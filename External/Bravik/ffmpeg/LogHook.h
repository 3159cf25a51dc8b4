/* FFmpeg reports through one process-wide callback. The library installs its
 * own and hands each message to the engine that is working on the calling
 * thread; messages of other FFmpeg users go to FFmpeg's default handler. */
#ifndef BRAVIK_LOG_HOOK_H
#define BRAVIK_LOG_HOOK_H

#include <cstdarg>

namespace bravik {

class LogSink {
public:
  virtual void Deliver(void* context, int level, const char* text, va_list args) = 0;
  /* Called when a sink becomes current on a thread with none before it. */
  virtual void BeginCall() = 0;

protected:
  ~LogSink() = default;
};

void InstallLogHook();

/* Makes the sink receive the FFmpeg messages of this thread while the scope
 * lasts. Scopes nest; the outermost one starts a new call. */
class LogScope {
public:
  explicit LogScope(LogSink* sink);
  ~LogScope();
  LogScope(const LogScope&) = delete;
  LogScope& operator=(const LogScope&) = delete;

private:
  LogSink* previous_;
};

}  // namespace bravik

#endif
