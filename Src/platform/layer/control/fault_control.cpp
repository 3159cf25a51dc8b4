/* Fault injection, as tests arm it. */
#include <kova_control.h>

#include "fault/fault.h"

KOVA_LAYER_API void KovaControl_FailCall(const char *callName, LONG_PTR result, DWORD lastError, int count)
{
    kova::fault::Arm(callName, result, lastError, count);
}

KOVA_LAYER_API void KovaControl_ClearFaults(void)
{
    kova::fault::ClearAll();
}

KOVA_LAYER_API int KovaControl_FaultsTaken(const char *callName)
{
    return kova::fault::TakenCount(callName);
}
