/* The C runtime's thread calls, as <process.h> declares them on Windows. */
#ifndef KOVA_LAYER_PROCESS_H
#define KOVA_LAYER_PROCESS_H

#include "kova/win_types.h"

KOVA_BEGIN_DECLS

typedef unsigned(__stdcall *_beginthreadex_proc_type)(void *);

/* CreateThread under the C runtime's name: returns the thread handle (0 on
 * failure, with errno set), closed with CloseHandle. */
KOVA_LAYER_API uintptr_t __cdecl _beginthreadex(void *_Security, unsigned _StackSize,
                                                _beginthreadex_proc_type _StartAddress, void *_ArgList,
                                                unsigned _InitFlag, unsigned *_ThrdAddr);
KOVA_LAYER_API void __cdecl _endthreadex(unsigned _Retval) __attribute__((noreturn));

KOVA_END_DECLS

#endif
