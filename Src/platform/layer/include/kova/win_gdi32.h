/* gdi32 declarations of the platform layer. */
#ifndef KOVA_WIN_GDI32_H
#define KOVA_WIN_GDI32_H

#include "win_types.h"

KOVA_BEGIN_DECLS

KOVA_END_DECLS

#endif
