#include "render/VideoOutput.h"

#include "render/ZR_VO_DDraw.h"

#include <new>

IVideoOutput *CreateVideoOutput(int displayMode)
{
    return new (std::nothrow) CZR_VO_DDraw(displayMode);
}
