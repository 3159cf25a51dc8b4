#include <windows.h>

/* The calling thread's last-error value, as kernel32 keeps it per thread. */
static thread_local DWORD t_lastError = ERROR_SUCCESS;

KOVA_LAYER_API DWORD WINAPI GetLastError(void)
{
    return t_lastError;
}

KOVA_LAYER_API void WINAPI SetLastError(DWORD code)
{
    t_lastError = code;
}
