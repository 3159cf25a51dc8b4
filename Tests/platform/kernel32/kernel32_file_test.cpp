/* kernel32 file calls: module path, directories, deletion, renaming,
 * attributes, free space, directory listing and global memory. Also run
 * under Wine64 (x86_64 mingw build), whose known differences are allowed. */
#include <windows.h>

#include "wintest.h"

#ifndef _WIN32
#include <sys/statvfs.h>
#endif

#define WORK_SIZE 400 /* the scratch directory's path */
#define DIR_SIZE 512  /* a directory inside it */
#define PATH_SIZE 1024

static char g_exePath[PATH_SIZE];
static char g_work[WORK_SIZE]; /* scratch directory beside the executable, with a trailing '\' */

/* The C runtime takes host paths; on Windows '\' is one. */
static const char *stdio_path(const char *path, char *buf, size_t size)
{
#ifdef _WIN32
    (void)buf;
    (void)size;
    return path;
#else
    snprintf(buf, size, "%s", path);
    for (char *p = buf; *p; ++p)
        if (*p == '\\') *p = '/';
    return buf;
#endif
}

static void path_in_work(char *out, size_t size, const char *name)
{
    snprintf(out, size, "%s%s", g_work, name);
}

static FILE *open_file(const char *path, const char *mode)
{
    char host[PATH_SIZE];
    return fopen(stdio_path(path, host, sizeof host), mode);
}

static void write_file(const char *path, const char *text)
{
    FILE *f = open_file(path, "wb");
    ok(f != NULL, "cannot create %s\n", path);
    if (!f) return;
    fputs(text, f);
    fclose(f);
}

static size_t read_file(const char *path, char *buf, size_t size)
{
    FILE *f = open_file(path, "rb");
    if (!f) return (size_t)-1;
    size_t n = fread(buf, 1, size - 1, f);
    buf[n] = '\0';
    fclose(f);
    return n;
}

/* Empties and removes a directory tree with the calls under test. */
static void remove_tree(const char *dir)
{
    char pattern[PATH_SIZE];
    snprintf(pattern, sizeof pattern, "%s\\*", dir);
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern, &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, "..")) continue;
            char child[PATH_SIZE];
            snprintf(child, sizeof child, "%s\\%s", dir, fd.cFileName);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                remove_tree(child);
            } else {
                SetFileAttributesA(child, FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(child);
            }
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(dir);
}

static void test_module_file_name(void)
{
    DWORD len = GetModuleFileNameA(NULL, g_exePath, sizeof g_exePath);
    trace("executable %s (%s)\n", g_exePath, wintest_is_layer() ? "layer" : wintest_is_wine() ? "wine" : "windows");
    ok(len > 0 && len < sizeof g_exePath, "GetModuleFileNameA returned %lu\n", (unsigned long)len);
    ok(strlen(g_exePath) == len, "length %lu, string of %lu\n", (unsigned long)len, (unsigned long)strlen(g_exePath));
    ok(strstr(g_exePath, "kernel32_file_test") != NULL, "executable path %s\n", g_exePath);
    char *sep = strrchr(g_exePath, '\\');
    char *slash = strrchr(g_exePath, '/');
    if (slash > sep) sep = slash;
    ok(sep != NULL, "no directory in %s\n", g_exePath);

    HMODULE self = GetModuleHandleA(NULL);
    ok(self != NULL, "GetModuleHandleA(NULL) failed\n");
    char viaHandle[PATH_SIZE];
    DWORD len2 = GetModuleFileNameA(self, viaHandle, sizeof viaHandle);
    ok(len2 == len && !strcmp(viaHandle, g_exePath), "by handle: %s, by NULL: %s\n", viaHandle, g_exePath);

    /* Exactly fits: length returned, terminated. */
    char buf[PATH_SIZE];
    memset(buf, 'x', sizeof buf);
    DWORD r = GetModuleFileNameA(NULL, buf, len + 1);
    ok(r == len && buf[len] == '\0', "size len+1: returned %lu\n", (unsigned long)r);

    /* One short: cut to size - 1 characters, terminated; the size comes back
     * with ERROR_INSUFFICIENT_BUFFER. */
    memset(buf, 'x', sizeof buf);
    SetLastError(0xdeadbeef);
    r = GetModuleFileNameA(NULL, buf, len);
    ok(r == len, "size len: returned %lu, expected %lu\n", (unsigned long)r, (unsigned long)len);
    ok(GetLastError() == ERROR_INSUFFICIENT_BUFFER, "size len: error %lu\n", (unsigned long)GetLastError());
    ok(!strncmp(buf, g_exePath, len - 1), "size len: truncated to %.*s\n", (int)len - 1, buf);
    /* Wine keeps Windows XP's unterminated truncation. */
    ok(buf[len - 1] == '\0' || wintest_is_wine(), "size len: not terminated\n");

    memset(buf, 'x', sizeof buf);
    SetLastError(0xdeadbeef);
    r = GetModuleFileNameA(NULL, buf, 4);
    ok(r == 4 && GetLastError() == ERROR_INSUFFICIENT_BUFFER, "size 4: returned %lu, error %lu\n",
       (unsigned long)r, (unsigned long)GetLastError());
    ok(!strncmp(buf, g_exePath, 3), "size 4: %.3s\n", buf);
    ok(buf[3] == '\0' || wintest_is_wine(), "size 4: not terminated\n");
    ok(buf[4] == 'x', "size 4: wrote past the buffer\n");

    SetLastError(0xdeadbeef);
    ok(GetModuleHandleA("no_such_module_here.dll") == NULL && GetLastError() == ERROR_MOD_NOT_FOUND,
       "unknown module: error %lu\n", (unsigned long)GetLastError());
}

static void make_work_directory(void)
{
    size_t n = strlen(g_exePath);
    ok(n < sizeof g_work - 32, "executable path too long for the test: %s\n", g_exePath);
    if (n >= sizeof g_work - 32) n = sizeof g_work - 32;
    memcpy(g_work, g_exePath, n);
    g_work[n] = '\0';
    char *sep = strrchr(g_work, '\\');
    char *slash = strrchr(g_work, '/');
    if (slash > sep) sep = slash;
    if (sep) sep[1] = '\0';
    else g_work[0] = '\0';
    strcat(g_work, "kernel32_file_test.tmp");
    remove_tree(g_work);
    ok(CreateDirectoryA(g_work, NULL), "cannot create %s: %lu\n", g_work, (unsigned long)GetLastError());
    strcat(g_work, "\\");
}

static void test_directories(void)
{
    char dir[DIR_SIZE], deep[DIR_SIZE], file[DIR_SIZE];
    path_in_work(dir, sizeof dir, "sub");
    path_in_work(deep, sizeof deep, "missing\\deeper");
    path_in_work(file, sizeof file, "plain.txt");

    ok(CreateDirectoryA(dir, NULL), "CreateDirectoryA(%s) failed: %lu\n", dir, (unsigned long)GetLastError());
    SetLastError(0xdeadbeef);
    ok(!CreateDirectoryA(dir, NULL) && GetLastError() == ERROR_ALREADY_EXISTS, "again: error %lu\n",
       (unsigned long)GetLastError());
    SetLastError(0xdeadbeef);
    ok(!CreateDirectoryA(deep, NULL) && GetLastError() == ERROR_PATH_NOT_FOUND, "missing parent: error %lu\n",
       (unsigned long)GetLastError());

    /* A trailing separator names the same directory. */
    char withSep[PATH_SIZE];
    snprintf(withSep, sizeof withSep, "%s\\", dir);
    SetLastError(0xdeadbeef);
    ok(!CreateDirectoryA(withSep, NULL) && GetLastError() == ERROR_ALREADY_EXISTS, "trailing separator: %lu\n",
       (unsigned long)GetLastError());

    DWORD a = GetFileAttributesA(dir);
    ok(a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY), "directory attributes %#lx\n",
       (unsigned long)a);

    write_file(file, "x");
    a = GetFileAttributesA(file);
    ok(a != INVALID_FILE_ATTRIBUTES && !(a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)),
       "new file attributes %#lx\n", (unsigned long)a);
    SetLastError(0xdeadbeef);
    char under[PATH_SIZE];
    snprintf(under, sizeof under, "%s\\x", file);
    ok(!CreateDirectoryA(under, NULL) && GetLastError() == ERROR_PATH_NOT_FOUND, "under a file: error %lu\n",
       (unsigned long)GetLastError());

    SetLastError(0xdeadbeef);
    ok(!RemoveDirectoryA(file) && GetLastError() == ERROR_DIRECTORY, "RemoveDirectoryA(file): %lu\n",
       (unsigned long)GetLastError());
    ok(RemoveDirectoryA(dir), "RemoveDirectoryA failed: %lu\n", (unsigned long)GetLastError());
    ok(GetFileAttributesA(dir) == INVALID_FILE_ATTRIBUTES, "directory still there\n");
    DeleteFileA(file);
}

static void test_attributes_and_delete(void)
{
    char file[PATH_SIZE], missing[PATH_SIZE], missingDir[PATH_SIZE], dir[PATH_SIZE];
    path_in_work(file, sizeof file, "attr.txt");
    path_in_work(missing, sizeof missing, "absent.txt");
    path_in_work(missingDir, sizeof missingDir, "absent\\absent.txt");
    path_in_work(dir, sizeof dir, "adir");

    SetLastError(0xdeadbeef);
    ok(GetFileAttributesA(missing) == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_FILE_NOT_FOUND,
       "missing file: error %lu\n", (unsigned long)GetLastError());
    SetLastError(0xdeadbeef);
    ok(GetFileAttributesA(missingDir) == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_PATH_NOT_FOUND,
       "missing directory: error %lu\n", (unsigned long)GetLastError());
    SetLastError(0xdeadbeef);
    ok(!SetFileAttributesA(missing, FILE_ATTRIBUTE_NORMAL) && GetLastError() == ERROR_FILE_NOT_FOUND,
       "SetFileAttributesA(missing): error %lu\n", (unsigned long)GetLastError());

    write_file(file, "data");
    ok(SetFileAttributesA(file, FILE_ATTRIBUTE_READONLY), "set read-only failed: %lu\n",
       (unsigned long)GetLastError());
    /* The archive bit may come along; the layer keeps none. */
    ok((GetFileAttributesA(file) & ~FILE_ATTRIBUTE_ARCHIVE) == FILE_ATTRIBUTE_READONLY, "read-only reads back as %#lx\n",
       (unsigned long)GetFileAttributesA(file));

    /* A read-only file is not deleted. */
    SetLastError(0xdeadbeef);
    ok(!DeleteFileA(file) && GetLastError() == ERROR_ACCESS_DENIED, "delete read-only: error %lu\n",
       (unsigned long)GetLastError());
    ok(GetFileAttributesA(file) != INVALID_FILE_ATTRIBUTES, "read-only file was deleted\n");

    ok(SetFileAttributesA(file, FILE_ATTRIBUTE_NORMAL), "set normal failed: %lu\n", (unsigned long)GetLastError());
    ok(GetFileAttributesA(file) == FILE_ATTRIBUTE_NORMAL || GetFileAttributesA(file) == FILE_ATTRIBUTE_ARCHIVE,
       "normal reads back as %#lx\n",
       (unsigned long)GetFileAttributesA(file));
    FILE *f = open_file(file, "ab");
    ok(f != NULL, "file not writable after clearing read-only\n");
    if (f) fclose(f);

    ok(DeleteFileA(file), "DeleteFileA failed: %lu\n", (unsigned long)GetLastError());
    ok(GetFileAttributesA(file) == INVALID_FILE_ATTRIBUTES, "file still there after DeleteFileA\n");
    SetLastError(0xdeadbeef);
    ok(!DeleteFileA(file) && GetLastError() == ERROR_FILE_NOT_FOUND, "delete twice: error %lu\n",
       (unsigned long)GetLastError());
    SetLastError(0xdeadbeef);
    ok(!DeleteFileA(missingDir) && GetLastError() == ERROR_PATH_NOT_FOUND, "delete in missing dir: error %lu\n",
       (unsigned long)GetLastError());

    CreateDirectoryA(dir, NULL);
    SetLastError(0xdeadbeef);
    ok(!DeleteFileA(dir) && GetLastError() == ERROR_ACCESS_DENIED, "DeleteFileA(directory): error %lu\n",
       (unsigned long)GetLastError());
    RemoveDirectoryA(dir);
}

static void test_move(void)
{
    char a[PATH_SIZE], b[PATH_SIZE], c[PATH_SIZE], nowhere[PATH_SIZE], d1[PATH_SIZE],
        d2[PATH_SIZE], buf[64];
    path_in_work(a, sizeof a, "move-a.log");
    path_in_work(b, sizeof b, "move-b.log");
    path_in_work(c, sizeof c, "move-c.log");
    path_in_work(nowhere, sizeof nowhere, "absent\\move.log");
    path_in_work(d1, sizeof d1, "move-dir1");
    path_in_work(d2, sizeof d2, "move-dir2");

    write_file(a, "first");
    ok(MoveFileA(a, b), "MoveFileA failed: %lu\n", (unsigned long)GetLastError());
    ok(GetFileAttributesA(a) == INVALID_FILE_ATTRIBUTES, "source still there\n");
    ok(read_file(b, buf, sizeof buf) == 5 && !strcmp(buf, "first"), "target holds '%s'\n", buf);

    /* MoveFileA never replaces: both files stay as they were. */
    write_file(c, "second");
    SetLastError(0xdeadbeef);
    ok(!MoveFileA(c, b) && GetLastError() == ERROR_ALREADY_EXISTS, "onto an existing file: error %lu\n",
       (unsigned long)GetLastError());
    ok(read_file(b, buf, sizeof buf) == 5 && !strcmp(buf, "first"), "existing target now '%s'\n", buf);
    ok(read_file(c, buf, sizeof buf) == 6 && !strcmp(buf, "second"), "source now '%s'\n", buf);

    SetLastError(0xdeadbeef);
    ok(!MoveFileA(a, c) && GetLastError() == ERROR_FILE_NOT_FOUND, "missing source: error %lu\n",
       (unsigned long)GetLastError());
    SetLastError(0xdeadbeef);
    ok(!MoveFileA(c, nowhere) && GetLastError() == ERROR_PATH_NOT_FOUND, "missing target dir: error %lu\n",
       (unsigned long)GetLastError());

    /* Directories move too. */
    CreateDirectoryA(d1, NULL);
    ok(MoveFileA(d1, d2), "moving a directory failed: %lu\n", (unsigned long)GetLastError());
    ok(GetFileAttributesA(d2) != INVALID_FILE_ATTRIBUTES && (GetFileAttributesA(d2) & FILE_ATTRIBUTE_DIRECTORY),
       "moved directory missing\n");
    RemoveDirectoryA(d2);
    DeleteFileA(b);
    DeleteFileA(c);
}

static void test_disk_free_space(void)
{
    ULARGE_INTEGER avail, total, freeAll;
    avail.QuadPart = total.QuadPart = freeAll.QuadPart = 0;
    ok(GetDiskFreeSpaceExA(g_work, &avail, &total, &freeAll), "GetDiskFreeSpaceExA(%s) failed: %lu\n", g_work,
       (unsigned long)GetLastError());
    ok(total.QuadPart > 0, "total 0\n");
    ok(freeAll.QuadPart <= total.QuadPart, "free %llu above total %llu\n", (unsigned long long)freeAll.QuadPart,
       (unsigned long long)total.QuadPart);
    ok(avail.QuadPart <= freeAll.QuadPart, "available %llu above free %llu\n", (unsigned long long)avail.QuadPart,
       (unsigned long long)freeAll.QuadPart);

    /* Every output is optional. */
    ULARGE_INTEGER only;
    only.QuadPart = 0;
    ok(GetDiskFreeSpaceExA(g_work, &only, NULL, NULL), "with one output: %lu\n", (unsigned long)GetLastError());
    ok(GetDiskFreeSpaceExA(g_work, NULL, NULL, NULL), "with no output: %lu\n", (unsigned long)GetLastError());

    char missing[PATH_SIZE];
    path_in_work(missing, sizeof missing, "absent\\deeper\\");
    SetLastError(0xdeadbeef);
    ok(!GetDiskFreeSpaceExA(missing, &avail, NULL, NULL) &&
           (GetLastError() == ERROR_PATH_NOT_FOUND || GetLastError() == ERROR_FILE_NOT_FOUND),
       "missing directory: error %lu\n", (unsigned long)GetLastError());

#ifndef _WIN32
    /* The caller's share is what an unprivileged user may still write. */
    char host[PATH_SIZE];
    strcpy(host, g_work);
    for (char *p = host; *p; ++p)
        if (*p == '\\') *p = '/';
    struct statvfs vfs;
    if (statvfs(host, &vfs) == 0) {
        ULONGLONG expect = (ULONGLONG)vfs.f_bavail * vfs.f_frsize;
        ULONGLONG diff = expect > only.QuadPart ? expect - only.QuadPart : only.QuadPart - expect;
        ok(diff <= 64ull * 1024 * 1024, "available %llu, statvfs %llu\n", (unsigned long long)only.QuadPart,
           (unsigned long long)expect);
        ok(total.QuadPart == (ULONGLONG)vfs.f_blocks * vfs.f_frsize, "total %llu\n",
           (unsigned long long)total.QuadPart);
    } else {
        skip("statvfs(%s) failed\n", host);
    }
#endif
}

static int find_all(const char *pattern, char names[][MAX_PATH], DWORD *attrs, DWORD *sizes, int max)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE) return -1;
    int n = 0;
    do {
        if (n < max) {
            strcpy(names[n], fd.cFileName);
            attrs[n] = fd.dwFileAttributes;
            sizes[n] = fd.nFileSizeLow;
            ok(fd.nFileSizeHigh == 0, "%s: size high %lu\n", fd.cFileName, (unsigned long)fd.nFileSizeHigh);
        }
        ++n;
    } while (FindNextFileA(h, &fd));
    ok(GetLastError() == ERROR_NO_MORE_FILES, "end of listing: error %lu\n", (unsigned long)GetLastError());
    SetLastError(0xdeadbeef);
    ok(!FindNextFileA(h, &fd) && GetLastError() == ERROR_NO_MORE_FILES, "after the end: error %lu\n",
       (unsigned long)GetLastError());
    ok(FindClose(h), "FindClose failed\n");
    return n;
}

static int index_of(char names[][MAX_PATH], int n, const char *name)
{
    for (int i = 0; i < n; ++i)
        if (!strcmp(names[i], name)) return i;
    return -1;
}

static void test_find(void)
{
    char dir[DIR_SIZE], path[PATH_SIZE], pattern[PATH_SIZE];
    path_in_work(dir, sizeof dir, "find");
    CreateDirectoryA(dir, NULL);
    const char *files[] = {"KvoaDecoder.log", "KvoaDecoder-2013-05-02-14-07-09.log",
                           "KvoaDecoder-2013-05-02-14-07-10.log", "Other.log", "KvoaDecoder.txt", "KvoaDecoderlog"};
    for (unsigned i = 0; i < sizeof files / sizeof files[0]; ++i) {
        snprintf(path, sizeof path, "%s\\%s", dir, files[i]);
        write_file(path, files[i]);
    }
    snprintf(path, sizeof path, "%s\\KvoaDecoder-dir.log", dir);
    CreateDirectoryA(path, NULL);

    char names[16][MAX_PATH];
    DWORD attrs[16], sizes[16];
    snprintf(pattern, sizeof pattern, "%s\\KvoaDecoder*.log", dir);
    int n = find_all(pattern, names, attrs, sizes, 16);
    ok(n == 4, "KvoaDecoder*.log listed %d entries\n", n);
    int i = index_of(names, n, "KvoaDecoder.log");
    ok(i >= 0 && sizes[i] == 15 && !(attrs[i] & FILE_ATTRIBUTE_DIRECTORY), "KvoaDecoder.log: %d\n", i);
    i = index_of(names, n, "KvoaDecoder-2013-05-02-14-07-09.log");
    ok(i >= 0 && sizes[i] == 35, "rotated name: %d\n", i);
    ok(index_of(names, n, "KvoaDecoder-2013-05-02-14-07-10.log") >= 0, "second rotated name missing\n");
    i = index_of(names, n, "KvoaDecoder-dir.log");
    ok(i >= 0 && (attrs[i] & FILE_ATTRIBUTE_DIRECTORY), "directory entry: %d\n", i);
    ok(index_of(names, n, "Other.log") < 0 && index_of(names, n, "KvoaDecoder.txt") < 0, "unmatched names listed\n");

    /* '?' stands for exactly one character. */
    snprintf(pattern, sizeof pattern, "%s\\KvoaDecoder-2013-05-02-14-07-?9.log", dir);
    n = find_all(pattern, names, attrs, sizes, 16);
    ok(n == 1 && !strcmp(names[0], "KvoaDecoder-2013-05-02-14-07-09.log"), "'?' listed %d\n", n);
    WIN32_FIND_DATAA fd;
    snprintf(pattern, sizeof pattern, "%s\\Other.l?", dir);
    SetLastError(0xdeadbeef);
    ok(FindFirstFileA(pattern, &fd) == INVALID_HANDLE_VALUE &&
           GetLastError() == ERROR_FILE_NOT_FOUND,
       "'?' matched nothing: error %lu\n", (unsigned long)GetLastError());

    /* Everything, "." and ".." included. */
    snprintf(pattern, sizeof pattern, "%s\\*", dir);
    n = find_all(pattern, names, attrs, sizes, 16);
    ok(n == 9, "'*' listed %d entries\n", n);
    ok(index_of(names, n < 16 ? n : 16, ".") >= 0 && index_of(names, n < 16 ? n : 16, "..") >= 0,
       "'.' and '..' missing\n");
    snprintf(pattern, sizeof pattern, "%s\\*.*", dir);
    ok(find_all(pattern, names, attrs, sizes, 16) == 9, "'*.*' lists everything\n");

    /* A plain name finds that one entry. */
    snprintf(pattern, sizeof pattern, "%s\\Other.log", dir);
    n = find_all(pattern, names, attrs, sizes, 16);
    ok(n == 1 && !strcmp(names[0], "Other.log") && sizes[0] == 9, "plain name listed %d\n", n);

    snprintf(pattern, sizeof pattern, "%s\\*.none", dir);
    SetLastError(0xdeadbeef);
    ok(FindFirstFileA(pattern, &fd) == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND,
       "no match: error %lu\n", (unsigned long)GetLastError());
    snprintf(pattern, sizeof pattern, "%s\\absent\\*.log", dir);
    SetLastError(0xdeadbeef);
    ok(FindFirstFileA(pattern, &fd) == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND,
       "missing directory: error %lu\n", (unsigned long)GetLastError());

    /* A listing is not disturbed by deleting what it found. */
    snprintf(pattern, sizeof pattern, "%s\\KvoaDecoder-2013*.log", dir);
    HANDLE h = FindFirstFileA(pattern, &fd);
    ok(h != INVALID_HANDLE_VALUE, "listing rotated names failed\n");
    if (h != INVALID_HANDLE_VALUE) {
        int count = 0;
        do {
            snprintf(path, sizeof path, "%s\\%s", dir, fd.cFileName);
            ok(DeleteFileA(path), "deleting %s during the listing failed\n", path);
            ++count;
        } while (FindNextFileA(h, &fd));
        ok(count == 2, "listed %d while deleting\n", count);
        FindClose(h);
    }
    remove_tree(dir);
}

static void test_global_memory(void)
{
    /* Fixed: the handle is the memory. */
    HGLOBAL fixed = GlobalAlloc(GPTR, 100);
    ok(fixed != NULL, "GlobalAlloc(GPTR) failed\n");
    unsigned char *p = (unsigned char *)fixed;
    int zero = 1;
    for (int i = 0; i < 100; ++i) zero &= p[i] == 0;
    ok(zero, "GMEM_ZEROINIT block not zeroed\n");
    ok(GlobalLock(fixed) == fixed, "GlobalLock of a fixed block is not its address\n");
    ok(GlobalSize(fixed) >= 100, "fixed size %lu\n", (unsigned long)GlobalSize(fixed));
    memset(p, 0xab, 100);
    ok(GlobalFree(fixed) == NULL, "GlobalFree(fixed) failed\n");

    /* Moveable: reached through GlobalLock, which counts. */
    HGLOBAL moveable = GlobalAlloc(GHND, 64);
    ok(moveable != NULL, "GlobalAlloc(GHND) failed\n");
    unsigned char *m = (unsigned char *)GlobalLock(moveable);
    ok(m != NULL && (void *)m != (void *)moveable, "moveable lock returned %p for %p\n", (void *)m, moveable);
    if (m) {
        zero = 1;
        for (int i = 0; i < 64; ++i) zero &= m[i] == 0;
        ok(zero, "GHND block not zeroed\n");
        memset(m, 0x5a, 64);
    }
    ok(GlobalSize(moveable) >= 64, "moveable size %lu\n", (unsigned long)GlobalSize(moveable));
    ok((GlobalFlags(moveable) & GMEM_LOCKCOUNT) == 1, "lock count %u\n", GlobalFlags(moveable) & GMEM_LOCKCOUNT);
    unsigned char *m2 = (unsigned char *)GlobalLock(moveable);
    ok(m2 == m && (GlobalFlags(moveable) & GMEM_LOCKCOUNT) == 2, "second lock\n");
    ok(GlobalUnlock(moveable), "unlock with a lock left returned FALSE\n");
    SetLastError(0xdeadbeef);
    ok(!GlobalUnlock(moveable) && GetLastError() == NO_ERROR, "last unlock: error %lu\n",
       (unsigned long)GetLastError());
    SetLastError(0xdeadbeef);
    ok(!GlobalUnlock(moveable) && GetLastError() == ERROR_NOT_LOCKED, "unlock unlocked: error %lu\n",
       (unsigned long)GetLastError());
    m = (unsigned char *)GlobalLock(moveable);
    ok(m && m[0] == 0x5a && m[63] == 0x5a, "content lost between locks\n");
    GlobalUnlock(moveable);
    ok(GlobalFree(moveable) == NULL, "GlobalFree(moveable) failed\n");

    /* A moveable block of no bytes has no memory to lock. */
    HGLOBAL empty = GlobalAlloc(GMEM_MOVEABLE, 0);
    ok(empty != NULL, "GlobalAlloc(GMEM_MOVEABLE, 0) failed\n");
    ok(GlobalLock(empty) == NULL, "locking an empty moveable block\n");
    ok((GlobalFlags(empty) & GMEM_DISCARDED) != 0, "empty block flags %#x\n", GlobalFlags(empty));
    ok(GlobalSize(empty) == 0, "empty block size %lu\n", (unsigned long)GlobalSize(empty));
    ok(GlobalFree(empty) == NULL, "GlobalFree(empty) failed\n");

    /* Plain GMEM_FIXED memory is usable as is. */
    char *text = (char *)GlobalAlloc(GMEM_FIXED, 16);
    ok(text != NULL, "GlobalAlloc(GMEM_FIXED) failed\n");
    if (text) {
        strcpy(text, "fifteen chars!!");
        ok(GlobalSize(text) >= 16, "size %lu\n", (unsigned long)GlobalSize(text));
        ok(GlobalFree(text) == NULL, "GlobalFree failed\n");
    }

#ifndef _WIN32
    /* Stale and foreign handles are refused, never dereferenced. */
    int local;
    SetLastError(0xdeadbeef);
    ok(GlobalFree(moveable) == moveable && GetLastError() == ERROR_INVALID_HANDLE, "double free: error %lu\n",
       (unsigned long)GetLastError());
    ok(GlobalLock(&local) == NULL && GetLastError() == ERROR_INVALID_HANDLE, "foreign pointer locked\n");
    ok(GlobalSize(&local) == 0, "foreign pointer has a size\n");
    ok(GlobalFlags(&local) == GMEM_INVALID_HANDLE, "foreign pointer flags\n");
    SetLastError(0xdeadbeef);
    ok(!FindClose(&local) && GetLastError() == ERROR_INVALID_HANDLE, "FindClose(foreign): error %lu\n",
       (unsigned long)GetLastError());
#endif
}

START_TEST(kernel32_file)
{
    test_module_file_name();
    make_work_directory();
    test_directories();
    test_attributes_and_delete();
    test_move();
    test_disk_free_space();
    test_find();
    test_global_memory();
    g_work[strlen(g_work) - 1] = '\0';
    remove_tree(g_work);
    ok(GetFileAttributesA(g_work) == INVALID_FILE_ATTRIBUTES, "scratch directory left behind\n");
}
