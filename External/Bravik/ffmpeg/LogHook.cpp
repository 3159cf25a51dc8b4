#include "LogHook.h"

#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace bravik {
namespace {

thread_local LogSink* t_sink = nullptr;

void Route(void* context, int level, const char* text, va_list args) {
  if (LogSink* sink = t_sink) {
    sink->Deliver(context, level, text, args);
    return;
  }
  av_log_default_callback(context, level, text, args);
}

}  // namespace

void InstallLogHook() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_callback(Route); });
}

LogScope::LogScope(LogSink* sink) : previous_(t_sink) {
  if (previous_ != sink) sink->BeginCall();
  t_sink = sink;
}

LogScope::~LogScope() { t_sink = previous_; }

}  // namespace bravik
