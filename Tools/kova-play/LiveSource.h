/* Live cameras: sources named by a URL (RTSP, HTTP, UDP, RTP, SRT) read
 * through libavformat's network protocols. Packets leave as they arrive,
 * stamped with the source's own time; there is no seeking. */
#ifndef KOVA_PLAY_LIVE_SOURCE_H
#define KOVA_PLAY_LIVE_SOURCE_H

#include <atomic>
#include <memory>
#include <string>

#include "MediaSource.h"

namespace kovaplay {

struct LiveOptions {
    std::string rtspTransport = "tcp";  /* "tcp" or "udp" */
    int openTimeoutMs = 5000;           /* connecting and reading what the stream holds */
    int readTimeoutMs = 5000;           /* a source silent this long has dropped */
    const std::atomic<bool> *cancel = nullptr;  /* set: a blocked open or read gives up at once */
};

/* "scheme://..." with a scheme of letters, digits, '+', '-' or '.'. */
bool IsUrl(const std::string &source);

/* The source as it may be shown: the user and password of a URL, and the
 * values of query parameters that carry secrets, become "***". Anything
 * else is returned as it is. */
std::string RedactUrl(const std::string &source);

/* Opens a live source; null with a message (never holding the URL's
 * credentials) when it cannot be reached or played. `permanent` is set
 * when retrying cannot help (an unknown protocol, a codec the library does
 * not decode). */
std::unique_ptr<MediaSource> OpenLive(const std::string &url, const LiveOptions &options, std::string &error,
                                      bool &permanent);

}  // namespace kovaplay

#endif
