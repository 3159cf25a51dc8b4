/* Shared fixture of the vendor decoder tests: a fresh fake library, the
 * decoder's log lines, and a decoder with a camera name. */
#ifndef KOVA_TESTS_VENDORTEST_H
#define KOVA_TESTS_VENDORTEST_H

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "FakeVendorLibs.h"
#include "LogCapture.h"
#include "GeneralDecoder/GE_Decoder/GE_DecoderHIK.h"

namespace vendor_test {

using Strings = std::vector<std::string>;

constexpr LONG kPort = 7;
extern const char kCamera[];
extern const HWND kWindow;

using kova_test::LogCapture;

/* A decoder log line taken apart: the source file and line it names, the
 * camera name (empty for the callback's lines) and the text after it. */
struct LogLine {
    bool parsed = false;
    std::string file;
    int line = 0;
    bool hasCamera = false;
    std::string camera;
    std::string text;
};
LogLine Parse(const std::string &line);

/* How the statement that writes a decoder line begins in the source. */
std::string StatementOf(const std::string &text);

/* The source text at the file and line a log line names. */
std::string SourceAt(const LogLine &line);

class VendorTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    /* The texts of the lines logged so far (after the camera name), each
     * checked to name this camera and a source line that exists. */
    Strings Texts();
    /* InitPlay with a port, then Start; calls and lines forgotten. */
    void Open();
    /* Open, then the first packet: the stream is open and playing. */
    void OpenStream();
    LONG Packet(const std::vector<BYTE> &bytes);
    LONG Audio(const std::vector<BYTE> &bytes);

    LogCapture log;
    std::unique_ptr<GE_DecoderHIK> decoder;
};

}  // namespace vendor_test

#endif
