/* Helpers shared by the kernel32 file calls: Win32 paths to host paths and
 * host errors to Win32 last-error codes. */
#ifndef KOVA_LAYER_KERNEL32_PATH_H
#define KOVA_LAYER_KERNEL32_PATH_H

#include <windows.h>

#include <string>
#include <sys/stat.h>

namespace kova::k32file {

/* The host path for a Win32 path: '\' becomes '/'. Returns false (with the
 * last error set) for a null or empty path. */
bool HostPath(LPCSTR path, std::string &out);

/* Sets the last error from an errno value of a failed path operation. A
 * missing last component is "file not found", a missing or non-directory
 * parent is "path not found". */
void SetErrorFromErrno(int err, const std::string &path);

/* True when the parent directory of `path` exists and is a directory. */
bool ParentIsDirectory(const std::string &path);

/* Win32 attributes of a host file. */
DWORD AttributesFromStat(const struct stat &st);

/* Host time to FILETIME. */
FILETIME FileTimeFromTimespec(const struct timespec &ts);

} // namespace kova::k32file

#endif
