#include "render/VideoOutput.h"

/* The DirectDraw output is not part of the library yet, so no output can be
 * made: binding reports failure, and every picture is logged as not drawn
 * while sound still plays. */
IVideoOutput *CreateVideoOutput(int /*displayMode*/)
{
    return nullptr;
}
