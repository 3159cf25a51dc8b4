/* Directory listing: FindFirstFileA / FindNextFileA / FindClose.
 *
 * The matching entries are read and sorted by name when the search starts,
 * so a listing is a stable snapshot even while the directory changes. */
#include "kernel32/path.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <mutex>
#include <unordered_set>
#include <vector>

using namespace kova::k32file;

namespace {

struct FindSearch {
    std::vector<WIN32_FIND_DATAA> entries;
    size_t next = 0;
};

std::mutex g_searchesLock;
std::unordered_set<FindSearch *> g_searches;

/* '*' matches any run of characters, '?' any one character. */
bool WildcardMatch(const char *pattern, const char *name)
{
    const char *starPattern = nullptr, *starName = nullptr;
    while (*name) {
        if (*pattern == '*') {
            starPattern = ++pattern;
            starName = name;
        } else if (*pattern == '?' || *pattern == *name) {
            ++pattern;
            ++name;
        } else if (starPattern) {
            pattern = starPattern;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == '\0';
}

bool FillEntry(const std::string &dir, const char *name, WIN32_FIND_DATAA &data)
{
    std::string full = dir == "/" ? "/" + std::string(name) : dir + "/" + name;
    struct stat st;
    if (stat(full.c_str(), &st) != 0 && lstat(full.c_str(), &st) != 0) return false; /* vanished */
    memset(&data, 0, sizeof data);
    data.dwFileAttributes = AttributesFromStat(st);
    data.ftCreationTime = FileTimeFromTimespec(st.st_ctim);
    data.ftLastAccessTime = FileTimeFromTimespec(st.st_atim);
    data.ftLastWriteTime = FileTimeFromTimespec(st.st_mtim);
    if (!S_ISDIR(st.st_mode)) {
        uint64_t size = (uint64_t)st.st_size;
        data.nFileSizeHigh = (DWORD)(size >> 32);
        data.nFileSizeLow = (DWORD)size;
    }
    strncpy(data.cFileName, name, sizeof data.cFileName - 1);
    return true;
}

/* Caller holds g_searchesLock. */
FindSearch *LookUp(HANDLE handle)
{
    auto it = g_searches.find(static_cast<FindSearch *>(handle));
    return it == g_searches.end() ? nullptr : *it;
}

} // namespace

KOVA_LAYER_API HANDLE WINAPI FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData)
{
    std::string path;
    if (!HostPath(fileName, path)) return INVALID_HANDLE_VALUE;
    if (!findData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    std::string pattern = slash == std::string::npos ? path : path.substr(slash + 1);
    if (dir.find_first_of("*?") != std::string::npos) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (pattern.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    /* "*.*" is the traditional spelling of "everything", dotless names too. */
    if (pattern == "*.*") pattern = "*";

    DIR *d = opendir(dir.c_str());
    if (!d) {
        SetErrorFromErrno(errno, dir + "/");
        return INVALID_HANDLE_VALUE;
    }
    auto *search = new FindSearch;
    while (struct dirent *e = readdir(d)) {
        if (!WildcardMatch(pattern.c_str(), e->d_name)) continue;
        WIN32_FIND_DATAA data;
        if (FillEntry(dir, e->d_name, data)) search->entries.push_back(data);
    }
    closedir(d);
    if (search->entries.empty()) {
        delete search;
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::sort(search->entries.begin(), search->entries.end(),
              [](const WIN32_FIND_DATAA &a, const WIN32_FIND_DATAA &b) { return strcmp(a.cFileName, b.cFileName) < 0; });
    *findData = search->entries[0];
    search->next = 1;
    std::lock_guard<std::mutex> lock(g_searchesLock);
    g_searches.insert(search);
    return search;
}

KOVA_LAYER_API BOOL WINAPI FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findData)
{
    std::lock_guard<std::mutex> lock(g_searchesLock);
    FindSearch *search = LookUp(findFile);
    if (!search) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!findData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (search->next >= search->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *findData = search->entries[search->next++];
    return TRUE;
}

KOVA_LAYER_API BOOL WINAPI FindClose(HANDLE findFile)
{
    FindSearch *search = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_searchesLock);
        search = LookUp(findFile);
        g_searches.erase(search);
    }
    if (!search) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete search;
    return TRUE;
}
