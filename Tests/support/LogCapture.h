/* Collects every message handed to the library's log (formatted, without
 * time stamp or thread id) while it lives, whether or not the log is set up
 * to write it. For tests linked with the library's objects: one capture at a
 * time per process, as the log has one observer. */
#ifndef KOVA_TESTS_SUPPORT_LOG_CAPTURE_H
#define KOVA_TESTS_SUPPORT_LOG_CAPTURE_H

#include <string>
#include <vector>

namespace kova_test {

/* The lines that begin with `prefix`, in order. */
std::vector<std::string> StartingWith(const std::vector<std::string> &lines, const std::string &prefix);

class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    std::vector<std::string> Lines() const;
    /* Lines that begin with `prefix`. */
    std::vector<std::string> With(const std::string &prefix) const;
    /* How many lines are exactly `message`. */
    size_t Count(const std::string &message) const;
    /* Polls every 5 ms for up to 3 s until `message` was seen `count` times. */
    bool WaitFor(const std::string &message, size_t count) const;
    void Clear();
};

}  // namespace kova_test

#endif
