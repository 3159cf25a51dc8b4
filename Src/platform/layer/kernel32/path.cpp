#include "kernel32/path.h"

#include <cerrno>

namespace kova::k32file {

bool HostPath(LPCSTR path, std::string &out)
{
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (!*path) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    out.assign(path);
    for (char &c : out)
        if (c == '\\') c = '/';
    return true;
}

bool ParentIsDirectory(const std::string &path)
{
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    size_t slash = p.rfind('/');
    std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : p.substr(0, slash);
    struct stat st;
    return stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void SetErrorFromErrno(int err, const std::string &path)
{
    DWORD code;
    switch (err) {
    case ENOENT: code = ParentIsDirectory(path) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND; break;
    case ENOTDIR: code = ERROR_PATH_NOT_FOUND; break;
    case EACCES:
    case EPERM:
    case EISDIR: code = ERROR_ACCESS_DENIED; break;
    case EEXIST: code = ERROR_ALREADY_EXISTS; break;
    case ENOTEMPTY: code = ERROR_DIR_NOT_EMPTY; break;
    case ENOSPC:
    case EDQUOT: code = ERROR_DISK_FULL; break;
    case EROFS: code = ERROR_WRITE_PROTECT; break;
    case ENAMETOOLONG: code = ERROR_FILENAME_EXCED_RANGE; break;
    case EXDEV: code = ERROR_NOT_SAME_DEVICE; break;
    case EBUSY:
    case ETXTBSY: code = ERROR_SHARING_VIOLATION; break;
    case EMFILE:
    case ENFILE: code = ERROR_TOO_MANY_OPEN_FILES; break;
    case ENOMEM: code = ERROR_NOT_ENOUGH_MEMORY; break;
    case EINVAL: code = ERROR_INVALID_PARAMETER; break;
    case ELOOP: code = ERROR_INVALID_NAME; break;
    default: code = ERROR_GEN_FAILURE; break;
    }
    SetLastError(code);
}

DWORD AttributesFromStat(const struct stat &st)
{
    if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
    /* Read-only is "nobody may write"; a file any class may write is normal. */
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return FILE_ATTRIBUTE_READONLY;
    return FILE_ATTRIBUTE_NORMAL;
}

FILETIME FileTimeFromTimespec(const struct timespec &ts)
{
    /* Seconds from 1601-01-01 to 1970-01-01. */
    const uint64_t epochDelta = 11644473600ull;
    uint64_t ticks = 0;
    if (ts.tv_sec >= -(int64_t)epochDelta)
        ticks = ((uint64_t)(ts.tv_sec + (int64_t)epochDelta)) * 10000000ull + (uint64_t)ts.tv_nsec / 100;
    FILETIME ft;
    ft.dwLowDateTime = (DWORD)ticks;
    ft.dwHighDateTime = (DWORD)(ticks >> 32);
    return ft;
}

} // namespace kova::k32file
