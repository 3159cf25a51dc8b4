/* Thread message queues of the platform layer (user32 on Windows).
 *
 * Every thread the layer creates has a queue from its start; any other
 * thread (main, threads from std::thread or pthreads) gets one on its first
 * message call (GetMessageA, PeekMessageA, WaitMessage, PostQuitMessage,
 * MsgWaitForMultipleObjects), as Windows creates one on a thread's first
 * user32 call. Posting to a thread without a queue fails with
 * ERROR_INVALID_THREAD_ID. */
#ifndef KOVA_WIN_MESSAGE_H
#define KOVA_WIN_MESSAGE_H

#include "win_types.h"

KOVA_BEGIN_DECLS

typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *PMSG, *NPMSG, *LPMSG;

#define WM_NULL 0x0000
#define WM_QUIT 0x0012
#define WM_USER 0x0400
#define WM_APP 0x8000

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001
#define PM_NOYIELD 0x0002

#define QS_KEY 0x0001
#define QS_MOUSEMOVE 0x0002
#define QS_MOUSEBUTTON 0x0004
#define QS_POSTMESSAGE 0x0008
#define QS_TIMER 0x0010
#define QS_PAINT 0x0020
#define QS_SENDMESSAGE 0x0040
#define QS_HOTKEY 0x0080
#define QS_ALLPOSTMESSAGE 0x0100
#define QS_RAWINPUT 0x0400
#define QS_MOUSE (QS_MOUSEMOVE | QS_MOUSEBUTTON)
#define QS_INPUT (QS_MOUSE | QS_KEY | QS_RAWINPUT)
#define QS_ALLEVENTS (QS_INPUT | QS_POSTMESSAGE | QS_TIMER | QS_PAINT | QS_HOTKEY)
#define QS_ALLINPUT (QS_INPUT | QS_POSTMESSAGE | QS_TIMER | QS_PAINT | QS_HOTKEY | QS_SENDMESSAGE)

#define MWMO_WAITALL 0x0001
#define MWMO_ALERTABLE 0x0002
#define MWMO_INPUTAVAILABLE 0x0004

/* Message ids at or above 0x10000 are refused with ERROR_INVALID_PARAMETER,
 * as Windows reserves them. */
KOVA_LAYER_API BOOL WINAPI PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam);
/* Blocks until a message within the filter arrives. Returns 0 for WM_QUIT
 * (its exit code in lpMsg->wParam), -1 for a bad argument, else nonzero.
 * hWnd NULL takes every message of the thread, (HWND)-1 only thread
 * messages (hwnd NULL), a window only that window's. wMsgFilterMin/Max
 * 0/0 takes every message id. */
KOVA_LAYER_API BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
KOVA_LAYER_API BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                                        UINT wRemoveMsg);
/* Marks the queue to deliver WM_QUIT (wParam = nExitCode) once no other
 * posted message is waiting. */
KOVA_LAYER_API VOID WINAPI PostQuitMessage(int nExitCode);
/* Blocks until a message arrives that is new since the thread last looked
 * at its queue (GetMessageA, PeekMessageA). */
KOVA_LAYER_API BOOL WINAPI WaitMessage(void);
/* As WaitForMultipleObjects, with WAIT_OBJECT_0 + nCount meaning input in
 * the queue (new since the last look unless MWMO_INPUTAVAILABLE). */
KOVA_LAYER_API DWORD WINAPI MsgWaitForMultipleObjects(DWORD nCount, const HANDLE *pHandles, BOOL fWaitAll,
                                                      DWORD dwMilliseconds, DWORD dwWakeMask);
KOVA_LAYER_API DWORD WINAPI MsgWaitForMultipleObjectsEx(DWORD nCount, const HANDLE *pHandles,
                                                        DWORD dwMilliseconds, DWORD dwWakeMask, DWORD dwFlags);
/* Hands a window message to its window procedure; returns its result, or
 * 0 for a thread message or when no windows exist. */
KOVA_LAYER_API LRESULT WINAPI DispatchMessageA(const MSG *lpMsg);
/* Keyboard translation: the layer has no keyboard, so nothing to do. */
KOVA_LAYER_API BOOL WINAPI TranslateMessage(const MSG *lpMsg);

KOVA_END_DECLS

#ifndef UNICODE
#define PostThreadMessage PostThreadMessageA
#define GetMessage GetMessageA
#define PeekMessage PeekMessageA
#define DispatchMessage DispatchMessageA
#endif

#endif
