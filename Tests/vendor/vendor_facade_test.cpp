/* The facade's own vendor decoder: stream type 102 reaches the player. */
#include "VendorTest.h"

#include "facade/CPrivateVideoDecoder.h"
#include "facade/DecoderFactory.h"

using namespace vendor_test;

namespace {

class VendorFacade : public VendorTest {
protected:
    void SetUp() override
    {
        VendorTest::SetUp();
        /* The vendor decoder is the built-in one; a do-nothing decoder
         * stands in for the standard one, which the facade needs to route. */
        kova::DecoderCreators creators;
        creators.standard = [] { return new ISampleDecoder; };
        saved = kova::SetDecoderCreators(creators);
    }
    void TearDown() override
    {
        kova::SetDecoderCreators(saved);
        VendorTest::TearDown();
    }
    kova::DecoderCreators saved;
};

TEST_F(VendorFacade, StreamTypeOneHundredTwoPlaysThroughTheVendorDecoder)
{
    {
        CPrivateVideoDecoder facade(0, 102);
        EXPECT_TRUE(fake::Calls().empty());  // nothing opens before InitPlay
        EXPECT_EQ(facade.InitPlay(kWindow, 352, 288, 102), 0);
        EXPECT_EQ(facade.GetDecoderKind(), 6);
        EXPECT_EQ(facade.Start(), 0);
        const BYTE data[2] = {5, 6};
        EXPECT_EQ(facade.InsertBuf(data, 2, 0, 0, 102, 1, 2, 3), 0);
        EXPECT_EQ(facade.InsertBuf(data, 2, 0, 0, 102, 1, 2, 3), 0);
        EXPECT_EQ(facade.Stop(), 0);
        EXPECT_EQ(fake::Names(), Strings({
                                     "PlayM4_GetPort", "TARVIK_AUDIO_StartAudioIn_b",
                                     "PlayM4_SetStreamOpenMode",
                                     "PlayM4_SetDisplayRegion",  // Start resets the zoom
                                     "PlayM4_OpenStream", "PlayM4_ResetSourceBuffer", "PlayM4_Play",
                                     "PlayM4_InputData", "PlayM4_InputData", "PlayM4_GetPictureSize",
                                     "PlayM4_Stop", "PlayM4_ResetSourceBuffer", "PlayM4_CloseStream",
                                 }));
        fake::ClearCalls();
    }
    /* Destroying the facade shuts the vendor decoder down. */
    EXPECT_EQ(fake::Names(), Strings({"TARVIK_AUDIO_StopAudioIn_b", "PlayM4_FreePort"}));
}

TEST_F(VendorFacade, ALibraryFaultStaysInsideTheVendorDecoder)
{
    CPrivateVideoDecoder facade(0, 102);
    facade.InitPlay(kWindow, 352, 288, 102);
    facade.Start();
    const BYTE data[1] = {1};
    facade.InsertBuf(data, 1, 0, 0, 102, 0, 0, 0);
    fake::Script("PlayM4_InputData", fake::Outcome::NullWrite, 1);
    /* The decoder's own guard catches it: the facade sees a refused
     * packet, not a fault, and goes on taking packets. */
    EXPECT_EQ(facade.InsertBuf(data, 1, 0, 0, 102, 0, 0, 0), 1);
    EXPECT_EQ(facade.InsertBuf(data, 1, 0, 0, 102, 0, 0, 0), 0);
}

}  // namespace
