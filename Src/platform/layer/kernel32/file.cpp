/* Directories, file deletion and renaming, attributes and free space. */
#include "kernel32/path.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace kova::k32file;

namespace {

/* Moves a regular file to another file system as MoveFile does: copy to a
 * new target (never replacing one), then remove the source. */
bool CopyAcrossDevices(const std::string &from, const std::string &to)
{
    struct stat st;
    if (stat(from.c_str(), &st) != 0) return false;
    if (!S_ISREG(st.st_mode)) {
        errno = EXDEV;
        return false;
    }
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
    if (out < 0) {
        int e = errno;
        close(in);
        errno = e;
        return false;
    }
    char buf[65536];
    bool good = true;
    for (;;) {
        ssize_t n = read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            good = n == 0;
            break;
        }
        for (ssize_t done = 0; done < n && good;) {
            ssize_t w = write(out, buf + done, (size_t)(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) good = false;
            else done += w;
        }
        if (!good) break;
    }
    int e = errno;
    close(in);
    if (close(out) != 0 && good) {
        e = errno;
        good = false;
    }
    if (!good) {
        unlink(to.c_str());
        errno = e;
        return false;
    }
    if (unlink(from.c_str()) != 0) {
        e = errno;
        unlink(to.c_str());
        errno = e;
        return false;
    }
    return true;
}

/* rename() that never replaces an existing target. */
bool RenameNoReplace(const std::string &from, const std::string &to)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
    /* The file system cannot rename exclusively: link() refuses an existing
     * target for files; directories fall back to a checked rename. */
    struct stat st;
    if (lstat(from.c_str(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode)) {
        if (link(from.c_str(), to.c_str()) != 0) return false;
        if (unlink(from.c_str()) != 0) {
            int e = errno;
            unlink(to.c_str());
            errno = e;
            return false;
        }
        return true;
    }
    if (lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return rename(from.c_str(), to.c_str()) == 0;
}

} // namespace

KOVA_LAYER_API BOOL WINAPI CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES)
{
    std::string path;
    if (!HostPath(pathName, path)) return FALSE;
    if (mkdir(path.c_str(), 0777) == 0) return TRUE;
    int err = errno;
    if (err == ENOENT) SetLastError(ERROR_PATH_NOT_FOUND); /* a parent is missing */
    else SetErrorFromErrno(err, path);
    return FALSE;
}

KOVA_LAYER_API BOOL WINAPI RemoveDirectoryA(LPCSTR pathName)
{
    std::string path;
    if (!HostPath(pathName, path)) return FALSE;
    if (rmdir(path.c_str()) == 0) return TRUE;
    int err = errno;
    if (err == ENOTDIR) {
        struct stat st;
        if (stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
            SetLastError(ERROR_DIRECTORY);
            return FALSE;
        }
    }
    SetErrorFromErrno(err, path);
    return FALSE;
}

KOVA_LAYER_API BOOL WINAPI DeleteFileA(LPCSTR fileName)
{
    std::string path;
    if (!HostPath(fileName, path)) return FALSE;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        SetErrorFromErrno(errno, path);
        return FALSE;
    }
    /* Directories and read-only files are not deleted, as on Windows. */
    if (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && AttributesFromStat(st) == FILE_ATTRIBUTE_READONLY)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (unlink(path.c_str()) == 0) return TRUE;
    SetErrorFromErrno(errno, path);
    return FALSE;
}

KOVA_LAYER_API BOOL WINAPI MoveFileA(LPCSTR existingFileName, LPCSTR newFileName)
{
    std::string from, to;
    if (!HostPath(existingFileName, from) || !HostPath(newFileName, to)) return FALSE;
    struct stat st;
    if (lstat(from.c_str(), &st) != 0) {
        SetErrorFromErrno(errno, from);
        return FALSE;
    }
    if (RenameNoReplace(from, to)) return TRUE;
    int err = errno;
    if (err == EXDEV && CopyAcrossDevices(from, to)) return TRUE;
    err = errno;
    if (err == EEXIST) SetLastError(ERROR_ALREADY_EXISTS);
    else if (err == ENOENT || err == ENOTDIR) SetLastError(ERROR_PATH_NOT_FOUND); /* the target's directory */
    else SetErrorFromErrno(err, to);
    return FALSE;
}

KOVA_LAYER_API DWORD WINAPI GetFileAttributesA(LPCSTR fileName)
{
    std::string path;
    if (!HostPath(fileName, path)) return INVALID_FILE_ATTRIBUTES;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        SetErrorFromErrno(errno, path);
        return INVALID_FILE_ATTRIBUTES;
    }
    return AttributesFromStat(st);
}

KOVA_LAYER_API BOOL WINAPI SetFileAttributesA(LPCSTR fileName, DWORD attributes)
{
    std::string path;
    if (!HostPath(fileName, path)) return FALSE;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        SetErrorFromErrno(errno, path);
        return FALSE;
    }
    /* Only read-only has a host meaning, and only for files: a read-only
     * directory on Windows may still be written into. */
    if (S_ISDIR(st.st_mode)) return TRUE;
    mode_t mode = st.st_mode & 07777;
    if (attributes & FILE_ATTRIBUTE_READONLY) mode &= ~(mode_t)(S_IWUSR | S_IWGRP | S_IWOTH);
    else if ((mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) mode |= S_IWUSR;
    if (mode == (st.st_mode & 07777)) return TRUE;
    if (chmod(path.c_str(), mode) == 0) return TRUE;
    SetErrorFromErrno(errno, path);
    return FALSE;
}

KOVA_LAYER_API BOOL WINAPI GetDiskFreeSpaceExA(LPCSTR directoryName, PULARGE_INTEGER freeBytesAvailableToCaller,
                                               PULARGE_INTEGER totalNumberOfBytes,
                                               PULARGE_INTEGER totalNumberOfFreeBytes)
{
    std::string path = ".";
    if (directoryName && !HostPath(directoryName, path)) return FALSE;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        SetErrorFromErrno(errno, path);
        return FALSE;
    }
    if (!S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_DIRECTORY);
        return FALSE;
    }
    struct statvfs vfs;
    if (statvfs(path.c_str(), &vfs) != 0) {
        SetErrorFromErrno(errno, path);
        return FALSE;
    }
    ULONGLONG unit = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
    if (freeBytesAvailableToCaller) freeBytesAvailableToCaller->QuadPart = (ULONGLONG)vfs.f_bavail * unit;
    if (totalNumberOfBytes) totalNumberOfBytes->QuadPart = (ULONGLONG)vfs.f_blocks * unit;
    if (totalNumberOfFreeBytes) totalNumberOfFreeBytes->QuadPart = (ULONGLONG)vfs.f_bfree * unit;
    return TRUE;
}
