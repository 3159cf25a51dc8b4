/* The control interface over kernel32: the handle table's size. */
#include <kova_control.h>

#include "kernel32/object.h"

KOVA_LAYER_API LONG KovaControl_OpenHandles(void)
{
    return kova::k32::OpenHandleCount();
}
