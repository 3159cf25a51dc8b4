/* The player library's ports and streams: the pool, the stream header,
 * the order of calls, the source buffer's back-pressure and the codes of
 * PlayM4_GetLastError. */
#include <vector>

#include "PlayM4TestUtil.h"

using namespace playm4_test;

namespace {

TEST(PlayM4Ports, ThePoolHandsOutEveryPortOnceAndTakesThemBack)
{
    std::vector<LONG> ports;
    LONG port = 12345;
    while (PlayM4_GetPort(&port)) {
        ASSERT_GE(port, 0);
        ASSERT_LT(port, PLAYM4_MAX_PORTS);
        ports.push_back(port);
        ASSERT_LE(ports.size(), size_t(PLAYM4_MAX_PORTS));
    }
    EXPECT_EQ(ports.size(), size_t(PLAYM4_MAX_PORTS));
    EXPECT_EQ(port, -1);
    EXPECT_EQ(PlayM4_GetLastError(-1), DWORD(PLAYM4_ERR_NO_PORT));

    ASSERT_TRUE(PlayM4_FreePort(ports[10]));
    ASSERT_TRUE(PlayM4_GetPort(&port));
    EXPECT_EQ(port, ports[10]);
    for (LONG p : ports)
        EXPECT_TRUE(PlayM4_FreePort(p));

    EXPECT_FALSE(PlayM4_FreePort(ports[0]));
    EXPECT_EQ(PlayM4_GetLastError(ports[0]), DWORD(PLAYM4_ERR_PORT));
    EXPECT_FALSE(PlayM4_GetPort(nullptr));
    EXPECT_EQ(PlayM4_GetLastError(-1), DWORD(PLAYM4_ERR_ARGUMENT));
}

TEST(PlayM4Ports, CallsOnPortsNotTakenFail)
{
    const Bytes header = vendor_sample::StreamHeader();
    for (LONG port : {LONG(-1), LONG(PLAYM4_MAX_PORTS), LONG(3)}) {
        EXPECT_FALSE(PlayM4_SetStreamOpenMode(port, 0));
        EXPECT_FALSE(PlayM4_OpenStream(port, header.data(), 40, 512000));
        EXPECT_FALSE(PlayM4_InputData(port, header.data(), 40));
        EXPECT_FALSE(PlayM4_Play(port, nullptr));
        EXPECT_FALSE(PlayM4_Stop(port));
        EXPECT_FALSE(PlayM4_Fast(port));
        EXPECT_FALSE(PlayM4_PlaySoundShare(port));
        EXPECT_EQ(PlayM4_GetPlayedFrames(port), 0u);
        EXPECT_EQ(PlayM4_GetLastError(port), DWORD(PLAYM4_ERR_PORT)) << port;
    }
}

TEST(PlayM4Ports, TheStreamHeaderIsChecked)
{
    LONG port;
    ASSERT_TRUE(PlayM4_GetPort(&port));
    Bytes header = vendor_sample::StreamHeader();

    EXPECT_FALSE(PlayM4_SetStreamOpenMode(port, 1));
    EXPECT_EQ(PlayM4_GetLastError(port), DWORD(PLAYM4_ERR_ARGUMENT));
    EXPECT_FALSE(PlayM4_OpenStream(port, nullptr, 40, 512000));
    EXPECT_EQ(PlayM4_GetLastError(port), DWORD(PLAYM4_ERR_ARGUMENT));
    EXPECT_FALSE(PlayM4_OpenStream(port, header.data(), 39, 512000));
    EXPECT_EQ(PlayM4_GetLastError(port), DWORD(PLAYM4_ERR_ARGUMENT));
    EXPECT_FALSE(PlayM4_OpenStream(port, header.data(), 40, PLAYM4_SOURCE_BUFFER_MIN - 1));
    EXPECT_EQ(PlayM4_GetLastError(port), DWORD(PLAYM4_ERR_ARGUMENT));
    EXPECT_FALSE(PlayM4_OpenStream(port, header.data(), 40, PLAYM4_SOURCE_BUFFER_MAX + 1));
    EXPECT_EQ(PlayM4_GetLastError(port), DWORD(PLAYM4_ERR_ARGUMENT));
    header[0] ^= 0xFF;
    EXPECT_FALSE(PlayM4_OpenStream(port, header.data(), 40, 512000));
    EXPECT_EQ(PlayM4_GetLastError(port), DWORD(PLAYM4_ERR_HEADER));
    header[0] ^= 0xFF;

    EXPECT_TRUE(PlayM4_SetStreamOpenMode(port, PLAYM4_STREAM_REALTIME));
    EXPECT_TRUE(PlayM4_OpenStream(port, header.data(), 40, 512000));
    EXPECT_EQ(PlayM4_GetLastError(port), DWORD(PLAYM4_ERR_NONE));
    EXPECT_FALSE(PlayM4_OpenStream(port, header.data(), 40, 512000));
    EXPECT_EQ(PlayM4_GetLastError(port), DWORD(PLAYM4_ERR_ORDER));
    EXPECT_FALSE(PlayM4_SetStreamOpenMode(port, PLAYM4_STREAM_REALTIME));
    EXPECT_EQ(PlayM4_GetLastError(port), DWORD(PLAYM4_ERR_ORDER));

    /* Until a picture is decoded, the size is the header's. */
    LONG width = 0, height = 0;
    EXPECT_TRUE(PlayM4_GetPictureSize(port, &width, &height));
    EXPECT_EQ(width, 352);
    EXPECT_EQ(height, 288);
    EXPECT_FALSE(PlayM4_GetPictureSize(port, nullptr, &height));

    EXPECT_TRUE(PlayM4_CloseStream(port));
    EXPECT_FALSE(PlayM4_CloseStream(port));
    EXPECT_EQ(PlayM4_GetLastError(port), DWORD(PLAYM4_ERR_ORDER));
    EXPECT_FALSE(PlayM4_GetPictureSize(port, &width, &height));
    EXPECT_TRUE(PlayM4_FreePort(port));
}

TEST(PlayM4Ports, CallsThatNeedAStreamWaitForOne)
{
    LONG port;
    ASSERT_TRUE(PlayM4_GetPort(&port));
    const BYTE data[4] = {0, 0, 1, 0xBA};
    EXPECT_FALSE(PlayM4_InputData(port, data, sizeof data));
    EXPECT_EQ(PlayM4_GetLastError(port), DWORD(PLAYM4_ERR_ORDER));
    EXPECT_FALSE(PlayM4_Play(port, nullptr));
    EXPECT_FALSE(PlayM4_ResetSourceBuffer(port));
    EXPECT_FALSE(PlayM4_RefreshPlay(port));
    EXPECT_EQ(PlayM4_GetLastError(port), DWORD(PLAYM4_ERR_ORDER));
    /* Stopping what does not play does nothing; settings wait for a stream. */
    EXPECT_TRUE(PlayM4_Stop(port));
    EXPECT_TRUE(PlayM4_PlaySoundShare(port));
    EXPECT_TRUE(PlayM4_SetVolume(port, 0x8000));
    EXPECT_TRUE(PlayM4_StopSoundShare(port));
    EXPECT_TRUE(PlayM4_SetDisplayRegion(port, 0, nullptr, nullptr, 1));
    EXPECT_TRUE(PlayM4_FreePort(port));
}

TEST(PlayM4Ports, AFullSourceBufferRefusesDataUntilReset)
{
    /* Not playing: nothing takes bytes out of the buffer. */
    OpenPort p(8192);
    ASSERT_TRUE(p.opened);
    const Bytes chunk(4096, 0xAB);
    EXPECT_TRUE(PlayM4_InputData(p.port, chunk.data(), 4096));
    EXPECT_TRUE(PlayM4_InputData(p.port, chunk.data(), 4000));
    EXPECT_FALSE(PlayM4_InputData(p.port, chunk.data(), 97));
    EXPECT_EQ(PlayM4_GetLastError(p.port), DWORD(PLAYM4_ERR_BUFFER_FULL));
    EXPECT_TRUE(PlayM4_InputData(p.port, chunk.data(), 96));
    EXPECT_FALSE(PlayM4_InputData(p.port, chunk.data(), 1));
    EXPECT_EQ(PlayM4_GetLastError(p.port), DWORD(PLAYM4_ERR_BUFFER_FULL));

    EXPECT_TRUE(PlayM4_ResetSourceBuffer(p.port));
    EXPECT_TRUE(PlayM4_InputData(p.port, chunk.data(), 4096));

    /* Larger than the whole buffer (a large sensor's key picture): the
     * buffer grows and takes it; only absurd sizes are refused. */
    const Bytes huge(8193, 0);
    EXPECT_TRUE(PlayM4_InputData(p.port, huge.data(), DWORD(huge.size())));
    EXPECT_FALSE(PlayM4_InputData(p.port, huge.data(), DWORD(64u << 20) + 1));
    EXPECT_EQ(PlayM4_GetLastError(p.port), DWORD(PLAYM4_ERR_ARGUMENT));
    EXPECT_FALSE(PlayM4_InputData(p.port, nullptr, 10));
    EXPECT_EQ(PlayM4_GetLastError(p.port), DWORD(PLAYM4_ERR_ARGUMENT));
    EXPECT_TRUE(PlayM4_InputData(p.port, nullptr, 0));
}

TEST(PlayM4Ports, SpeedStepsStopAtEitherEnd)
{
    LONG port;
    ASSERT_TRUE(PlayM4_GetPort(&port));
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(PlayM4_Fast(port)) << i;
    EXPECT_FALSE(PlayM4_Fast(port));
    EXPECT_EQ(PlayM4_GetLastError(port), DWORD(PLAYM4_ERR_ORDER));
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(PlayM4_Slow(port)) << i;
    EXPECT_FALSE(PlayM4_Slow(port));
    EXPECT_EQ(PlayM4_GetLastError(port), DWORD(PLAYM4_ERR_ORDER));
    EXPECT_TRUE(PlayM4_Fast(port));
    EXPECT_EQ(PlayM4_GetLastError(port), DWORD(PLAYM4_ERR_NONE));
    /* A freed port forgets its speed. */
    EXPECT_TRUE(PlayM4_FreePort(port));
    ASSERT_TRUE(PlayM4_GetPort(&port));
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(PlayM4_Fast(port)) << i;
    EXPECT_TRUE(PlayM4_FreePort(port));
}

TEST(PlayM4Ports, DisplayRegionsAreCheckedAndPutInOrder)
{
    LONG port;
    ASSERT_TRUE(PlayM4_GetPort(&port));
    RECT region = {10, 10, 10, 50};
    EXPECT_FALSE(PlayM4_SetDisplayRegion(port, 0, &region, nullptr, 1));
    EXPECT_EQ(PlayM4_GetLastError(port), DWORD(PLAYM4_ERR_ARGUMENT));
    region = {100, 80, 20, 10};
    EXPECT_TRUE(PlayM4_SetDisplayRegion(port, 0, &region, nullptr, 1));
    EXPECT_FALSE(PlayM4_SetDisplayRegion(port, 1, &region, nullptr, 1));
    EXPECT_EQ(PlayM4_GetLastError(port), DWORD(PLAYM4_ERR_ARGUMENT));
    region = {0, 0, 0, 0};
    EXPECT_TRUE(PlayM4_SetDisplayRegion(port, 0, &region, nullptr, 0)) << "disabling takes any rectangle";
    EXPECT_TRUE(PlayM4_FreePort(port));
}

TEST(PlayM4Ports, ConvertToBmpFileRefusesBadArguments)
{
    std::vector<char> picture(vendor_sample::Bytes::size_type(16 * 16 * 3 / 2), 0x80);
    const std::string path = ::testing::TempDir() + "playm4-refused.bmp";
    EXPECT_FALSE(PlayM4_ConvertToBmpFile(nullptr, 384, 16, 16, PLAYM4_PICTURE_YV12, path.c_str()));
    EXPECT_EQ(PlayM4_GetLastError(-1), DWORD(PLAYM4_ERR_ARGUMENT));
    EXPECT_FALSE(PlayM4_ConvertToBmpFile(picture.data(), 383, 16, 16, PLAYM4_PICTURE_YV12, path.c_str()));
    EXPECT_FALSE(PlayM4_ConvertToBmpFile(picture.data(), 384, 0, 16, PLAYM4_PICTURE_YV12, path.c_str()));
    EXPECT_FALSE(PlayM4_ConvertToBmpFile(picture.data(), 384, 16, -16, PLAYM4_PICTURE_YV12, path.c_str()));
    EXPECT_FALSE(PlayM4_ConvertToBmpFile(picture.data(), 384, 16, 16, 1, path.c_str()));
    EXPECT_FALSE(PlayM4_ConvertToBmpFile(picture.data(), 384, 16, 16, PLAYM4_PICTURE_YV12, nullptr));
    EXPECT_FALSE(PlayM4_ConvertToBmpFile(picture.data(), 384, 16, 16, PLAYM4_PICTURE_YV12, ""));
    EXPECT_EQ(PlayM4_GetLastError(-1), DWORD(PLAYM4_ERR_ARGUMENT));
    EXPECT_FALSE(PlayM4_ConvertToBmpFile(picture.data(), 384, 16, 16, PLAYM4_PICTURE_YV12,
                                         "/nonexistent-directory/picture.bmp"));
    EXPECT_EQ(PlayM4_GetLastError(-1), DWORD(PLAYM4_ERR_IO));
    EXPECT_TRUE(PlayM4_ConvertToBmpFile(picture.data(), 384, 16, 16, PLAYM4_PICTURE_YV12, path.c_str()));
    EXPECT_EQ(PlayM4_GetLastError(-1), DWORD(PLAYM4_ERR_NONE));
    const Bytes bmp = media::ReadFile(path);
    ASSERT_EQ(bmp.size(), 54u + 16 * 16 * 3);
    /* Grey (Y 128 in video range) is 130 in each colour. */
    EXPECT_NEAR(bmp[54], 130, 3);
    std::remove(path.c_str());
}

}  // namespace
