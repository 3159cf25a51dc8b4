#include "VendorTest.h"

#include <fstream>
#include <regex>

namespace vendor_test {

const char kCamera[] = "Gate 3";
const HWND kWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x5150));

LogLine Parse(const std::string &text)
{
    static const std::regex withCamera(R"(^\[GE_PlayerCtrl\] (\S+) (\d+), CameraName is (.*?): (.*)$)");
    static const std::regex withoutCamera(R"(^\[GE_PlayerCtrl\] (\S+) (\d+), (.*)$)");
    LogLine parsed;
    std::smatch m;
    if (std::regex_match(text, m, withCamera)) {
        parsed.hasCamera = true;
        parsed.camera = m[3];
        parsed.text = m[4];
    } else if (std::regex_match(text, m, withoutCamera)) {
        parsed.text = m[3];
    } else {
        return parsed;
    }
    parsed.parsed = true;
    parsed.file = m[1];
    parsed.line = std::stoi(m[2]);
    return parsed;
}

std::string SourceAt(const LogLine &line)
{
    std::ifstream in(line.file);
    std::string text;
    for (int n = 1; std::getline(in, text); ++n)
        if (n == line.line)
            return text;
    return "<no line " + std::to_string(line.line) + " in " + line.file + ">";
}

std::string StatementOf(const std::string &text)
{
    static const std::regex throwLine(R"(^Call (\S+) Throw Exception,)");
    static const std::regex number(R"([ :]-?\d)");
    std::smatch m;
    if (std::regex_search(text, m, throwLine))
        return "HIK_GUARDED(\"" + m[1].str() + "\"";
    if (std::regex_search(text, m, number))
        return "HIK_LOG(\"" + text.substr(0, m.position(0) + 1);
    return "HIK_LOG(\"" + text + "\"";
}

void VendorTest::SetUp()
{
    fake::Reset();
    log.Clear();
    decoder.reset(new GE_DecoderHIK);
    decoder->cameraName = kCamera;
}

void VendorTest::TearDown()
{
    decoder.reset();
}

Strings VendorTest::Texts()
{
    Strings texts;
    for (const std::string &line : log.Lines()) {
        const LogLine parsed = Parse(line);
        EXPECT_TRUE(parsed.parsed) << line;
        EXPECT_TRUE(parsed.hasCamera) << line;
        EXPECT_EQ(parsed.camera, kCamera) << line;
        EXPECT_NE(SourceAt(parsed).find(StatementOf(parsed.text)), std::string::npos)
            << line << "\nnames the source line: " << SourceAt(parsed);
        texts.push_back(parsed.text);
    }
    return texts;
}

void VendorTest::Open()
{
    ASSERT_EQ(decoder->InitPlay(kWindow, 352, 288, 102), 0);
    ASSERT_EQ(decoder->m_hPlayHandle, kPort);
    ASSERT_EQ(decoder->Start(), 0);
    fake::ClearCalls();
    log.Clear();
}

void VendorTest::OpenStream()
{
    Open();
    ASSERT_EQ(Packet({0xEE}), 0);
    ASSERT_TRUE(decoder->streamOpened);
    fake::ClearCalls();
    log.Clear();
}

LONG VendorTest::Packet(const std::vector<BYTE> &bytes)
{
    return decoder->InsertBuf(bytes.data(), static_cast<LONG>(bytes.size()), 0, 0, 102, 0, 0, 0);
}

LONG VendorTest::Audio(const std::vector<BYTE> &bytes)
{
    return decoder->InsertAudioBuf(bytes.data(), static_cast<LONG>(bytes.size()), 0, 0, 0);
}

}  // namespace vendor_test
