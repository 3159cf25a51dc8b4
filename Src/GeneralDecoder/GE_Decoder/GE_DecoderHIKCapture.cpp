/* GE_DecoderHIK: snapshots, taken from the player's display callback.
 *
 * A capture installs the callback on its port, arms the process-wide
 * capture state for that port and waits once, 500 ms; the first picture the
 * player shows on that port in that time is converted to the bitmap file.
 *
 * The capture state is one for the process. Captures take turns
 * (captureTurn), so two instances capturing at once do not mix their
 * pictures and paths. captureLock covers the state against the callback:
 * the callback claims a picture, converts it and records the result while
 * holding it, so a capture ends only after a conversion it claimed is
 * complete, and a late callback never writes into the next capture. */
#include "GeneralDecoder/GE_Decoder/GE_DecoderHIK.h"

#include <atomic>
#include <mutex>

#include "GeneralDecoder/GE_Decoder/GE_DecoderHIKLog.h"

namespace {

std::mutex captureTurn;
std::mutex captureLock;
std::atomic<bool> captureArmed{false};  /* written under captureLock */
LONG capturePort = kNoPort;             /* under captureLock */
BOOL captureResult = FALSE;             /* under captureLock */
std::string capturePath;                /* under captureLock */

}  // namespace

LONG GE_DecoderHIK::CaptureBmpFile(std::string path)
{
    HIK_NEED_PORT(HIK_LOG("Call Hik CaptureBmpFile(), m_hPlayHandle is -1."));
    std::lock_guard<std::mutex> turn(captureTurn);
    {
        std::lock_guard<std::mutex> hold(captureLock);
        captureArmed = false;
        captureResult = FALSE;
        capturePath = path;
    }
    if (!PlayM4_SetDisplayCallBack(m_hPlayHandle, &GE_DecoderHIK::DisplayCBFun))
        HIK_LOG("Call PlayM4_SetDisplayCallBack Fail.");
    {
        std::lock_guard<std::mutex> hold(captureLock);
        capturePort = m_hPlayHandle;
        captureArmed = true;
    }
    Sleep(kCaptureWaitMs);
    BOOL captured;
    {
        std::lock_guard<std::mutex> hold(captureLock);
        captureArmed = false;
        capturePort = kNoPort;
        captured = captureResult;
    }
    if (!PlayM4_SetDisplayCallBack(m_hPlayHandle, nullptr))
        HIK_LOG("Call PlayM4_SetDisplayCallBack Fail.");
    return captured ? 0 : 1;
}

void PLAYM4_CALL GE_DecoderHIK::DisplayCBFun(LONG port, char *buffer, LONG size, LONG width,
                                             LONG height, LONG, LONG type, LONG)
{
    /* Most pictures arrive while nothing waits for one. */
    if (!captureArmed.load(std::memory_order_relaxed))
        return;
    std::lock_guard<std::mutex> hold(captureLock);
    if (!captureArmed || port != capturePort)
        return;
    /* One picture per capture. */
    capturePort = kNoPort;
    if (!kova::RunGuarded([&] {
            captureResult = PlayM4_ConvertToBmpFile(buffer, size, width, height, type,
                                                    capturePath.c_str());
        }))
        WriteLog("[GE_PlayerCtrl] %s %d, Call HIK DisplayCBFun Throw Exception. LastError:%d", __FILE__, __LINE__,
                 (int)GetLastError());
    if (!captureResult)
        WriteLog("[GE_PlayerCtrl] %s %d, Call HIK DisplayCBFun--PlayM4_ConvertToBmpFile failed.", __FILE__, __LINE__);
    captureArmed = false;
}
