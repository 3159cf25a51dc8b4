#include "LogCapture.h"

#include <chrono>
#include <mutex>
#include <thread>

#include "support/LogHook.h"

namespace kova_test {

namespace {

std::mutex linesLock;
std::vector<std::string> lines;

void Observe(const char *message)
{
    std::lock_guard<std::mutex> hold(linesLock);
    lines.emplace_back(message);
}

}  // namespace

LogCapture::LogCapture()
{
    Clear();
    kova::SetLogObserver(Observe);
}

LogCapture::~LogCapture()
{
    kova::SetLogObserver(nullptr);
}

std::vector<std::string> LogCapture::Lines() const
{
    std::lock_guard<std::mutex> hold(linesLock);
    return lines;
}

std::vector<std::string> StartingWith(const std::vector<std::string> &lines, const std::string &prefix)
{
    std::vector<std::string> found;
    for (const std::string &line : lines)
        if (line.compare(0, prefix.size(), prefix) == 0)
            found.push_back(line);
    return found;
}

std::vector<std::string> LogCapture::With(const std::string &prefix) const
{
    return StartingWith(Lines(), prefix);
}

size_t LogCapture::Count(const std::string &message) const
{
    size_t n = 0;
    for (const std::string &line : Lines())
        n += line == message;
    return n;
}

bool LogCapture::WaitFor(const std::string &message, size_t count) const
{
    for (int i = 0; i < 600; ++i) {
        if (Count(message) >= count)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

void LogCapture::Clear()
{
    std::lock_guard<std::mutex> hold(linesLock);
    lines.clear();
}

}  // namespace kova_test
