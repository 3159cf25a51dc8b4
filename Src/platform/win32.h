/* The one place that picks the Win32 API: the real headers on Windows, the
 * platform layer's headers (same names, same behaviour) everywhere else. */
#ifndef KOVA_PLATFORM_WIN32_H
#define KOVA_PLATFORM_WIN32_H

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <windows.h>  /* resolved to Src/platform/layer/include */
#endif

#endif
