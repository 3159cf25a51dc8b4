/* The exported instance functions seen from a client: results for null
 * handles, refused arguments and calls on an instance that is not bound to
 * a window yet. */
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "ExportCalls.h"
#include "KovaDecoder.h"

namespace {

using kova_test::CallEveryExport;

TEST(ClientExports, ANullHandleIsRefusedEverywhere)
{
    EXPECT_EQ(KOVA_InitPlayInstance(nullptr, nullptr), 0);
    EXPECT_EQ(CallEveryExport(nullptr), std::vector<LONG>(17, 0));
    KOVA_ReleaseInstance(nullptr);
}

TEST(ClientExports, AnyStreamTypeGivesAnInstance)
{
    for (LONG type : {102, 96, 4, 500, 0, -1}) {
        KOVA_HANDLE h = KOVA_CreateInstance(0, type);
        EXPECT_NE(h, nullptr) << type;
        KOVA_ReleaseInstance(h);
    }
}

TEST(ClientExports, AnInstanceNotYetBoundForwardsEveryCall)
{
    KOVA_HANDLE h = KOVA_CreateInstance(48, 96);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(CallEveryExport(h), std::vector<LONG>(17, 1));
    KOVA_ReleaseInstance(h);
}

TEST(ClientExports, RefusedArgumentsGiveZero)
{
    KOVA_HANDLE h = KOVA_CreateInstance(0, 96);
    ASSERT_NE(h, nullptr);
    LONG value = 0;
    EXPECT_EQ(KOVA_InitPlayInstance(h, nullptr), 0);
    EXPECT_EQ(KOVA_CaptureBitmap(h, nullptr), 0);
    EXPECT_EQ(KOVA_GetVolume(h, nullptr), 0);
    EXPECT_EQ(KOVA_GetImagePara(h, nullptr, &value), 0);
    EXPECT_EQ(KOVA_GetImagePara(h, &value, nullptr), 0);

    EXPECT_EQ(KOVA_SetVolume(h, 100), 1);
    EXPECT_EQ(KOVA_SetVolume(h, 0), 1);
    EXPECT_EQ(KOVA_SetVolume(h, 101), 0);
    EXPECT_EQ(KOVA_SetVolume(h, -1), 0);

    EXPECT_EQ(KOVA_SetDigitalZoom(h, 0, 0, 0, 0), 1);
    EXPECT_EQ(KOVA_SetDigitalZoom(h, 0, 0, 0, 40), 1);
    EXPECT_EQ(KOVA_SetDigitalZoom(h, 20, 0, 20, 50), 0);
    EXPECT_EQ(KOVA_SetDigitalZoom(h, 60, 60, 20, 20), 1);
    EXPECT_EQ(KOVA_SetDigitalZoom(h, 0, 0, 101, 50), 0);
    EXPECT_EQ(KOVA_SetDigitalZoom(h, 10, 10, 10, 50), 0);
    EXPECT_EQ(KOVA_SetDigitalZoom(h, -5, 0, 50, 50), 0);
    KOVA_ReleaseInstance(h);
}

TEST(ClientExports, InstancesOnManyThreadsAtOnce)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 50; ++i) {
                KOVA_HANDLE h = KOVA_CreateInstance(0, t % 2 ? 102 : 96);
                ASSERT_NE(h, nullptr);
                EXPECT_EQ(KOVA_SetAudio(h, 1), 1);
                EXPECT_EQ(KOVA_SetAudio(h, i % 2), 1);
                KOVA_ReleaseInstance(h);
            }
        });
    for (std::thread &t : threads)
        t.join();
}

}  // namespace
