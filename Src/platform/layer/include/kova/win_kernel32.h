/* kernel32 declarations of the platform layer. */
#ifndef KOVA_WIN_KERNEL32_H
#define KOVA_WIN_KERNEL32_H

#include "win_types.h"

KOVA_BEGIN_DECLS

DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD code);

KOVA_END_DECLS

#endif
