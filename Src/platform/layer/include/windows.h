/* The Win32 subset that the platform layer implements on non-Windows hosts.
 * Programs include this exactly as they would include the real <windows.h>. */
#ifndef KOVA_LAYER_WINDOWS_H
#define KOVA_LAYER_WINDOWS_H

#include "kova/win_types.h"
#include "kova/win_kernel32.h"
#include "kova/win_file.h"
#include "kova/win_user32.h"
#include "kova/win_message.h"
#include "kova/win_gdi32.h"

#endif
