/* The stack every thread the library starts reserves. Without a size a
 * thread takes the process's default (1 MiB on Windows, from the client's
 * executable; 8 MiB on Linux), and a 32-bit client with 64 panes of three
 * threads each would give 192 MiB of its address space to stacks that use a
 * few pages. The deepest of these threads, the presentation thread, calls
 * into the display driver's blits; 256 KiB leaves it ample room. */
#ifndef KOVA_PLATFORM_THREADSTACK_H
#define KOVA_PLATFORM_THREADSTACK_H

#include "platform/win32.h"

const SIZE_T kThreadStackReserve = 256 * 1024;

/* CreateThread's flag that makes the size a reservation (committed as the
 * stack grows) rather than a commitment. */
const DWORD kThreadStackFlags = STACK_SIZE_PARAM_IS_A_RESERVATION;

#endif
