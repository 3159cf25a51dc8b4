/* Helpers of the player library's tests: the vendor sample, windows to
 * play into, reading back what they show, and the process's threads. */
#ifndef KOVA_TESTS_EXTERNAL_PLAYM4_TEST_UTIL_H
#define KOVA_TESTS_EXTERNAL_PLAYM4_TEST_UTIL_H

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include "Media.h"
#include "PlayM4.h"
#include "VendorSample.h"
#include "VendorSampleTest.h"
#include "WindowProbe.h"

namespace playm4_test {

using vendor_sample::Bytes;
using vendor_sample::Rgb;

/* The sample most tests play (vendor_sample::Default), made once per
 * process. Null when it cannot be made (the test then skips). */
inline const vendor_sample::Sample *Sample(int seconds = 4)
{
    return vendor_sample::DefaultOrFailure(seconds);
}

using namespace probe;

/* A taken port with an open stream, freed at the end of the scope. */
struct OpenPort {
    explicit OpenPort(DWORD bufferSize = 512000)
    {
        if (!PlayM4_GetPort(&port))
            return;
        const Bytes header = vendor_sample::StreamHeader();
        opened = PlayM4_SetStreamOpenMode(port, PLAYM4_STREAM_REALTIME) &&
                 PlayM4_OpenStream(port, header.data(), DWORD(header.size()), bufferSize);
    }
    ~OpenPort()
    {
        if (port >= 0)
            PlayM4_FreePort(port);
    }
    LONG port = -1;
    bool opened = false;
};

/* Feeds bytes, waiting while the source buffer is full; false when the
 * player refuses them for another reason or stays full for 5 s. */
inline bool Feed(LONG port, const Bytes &bytes)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!PlayM4_InputData(port, bytes.data(), DWORD(bytes.size()))) {
        if (PlayM4_GetLastError(port) != PLAYM4_ERR_BUFFER_FULL || std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

/* Raises the speed `steps` steps above normal, then plays into `window`
 * (none: played, not drawn). False at the first call refused. */
inline bool PlayFaster(LONG port, int steps, HWND window)
{
    for (int i = 0; i < steps; ++i)
        if (!PlayM4_Fast(port))
            return false;
    return PlayM4_Play(port, window);
}

/* Feeds the stream header as the first data, then every packet. */
inline bool FeedSample(LONG port, const vendor_sample::Sample &sample)
{
    if (!Feed(port, sample.header))
        return false;
    for (const vendor_sample::Packet &p : sample.packets)
        if (!Feed(port, p.data))
            return false;
    return true;
}

}  // namespace playm4_test

#endif
