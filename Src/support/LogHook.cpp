#include "support/LogHook.h"

#include <stdio.h>

#include <atomic>
#include <vector>

namespace kova {
namespace {
std::atomic<LogObserver> observer{nullptr};
}

void SetLogObserver(LogObserver o)
{
    observer.store(o, std::memory_order_release);
}

void NotifyLogObserver(const char *format, va_list args)
{
    const LogObserver o = observer.load(std::memory_order_acquire);
    if (!o || !format)
        return;
    va_list measure;
    va_copy(measure, args);
    const int length = vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0)
        return;
    std::vector<char> message(static_cast<size_t>(length) + 1);
    va_list print;
    va_copy(print, args);
    vsnprintf(message.data(), message.size(), format, print);
    va_end(print);
    o(message.data());
}

}  // namespace kova
