/* Module handles and file names. A module handle is the lowest address at
 * which the module is mapped, as on Windows; NULL means the executable. */
#include <windows.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <link.h>
#include <string>
#include <unistd.h>

namespace {

struct ModuleQuery {
    /* In: the module to find, by base address or by name; null and empty
     * find the executable (the first object the loader reports). */
    uintptr_t base = 0;
    const char *name = nullptr;
    /* Out. */
    bool found = false;
    uintptr_t foundBase = 0;
    std::string path;
};

uintptr_t MappedBase(const struct dl_phdr_info *info)
{
    uintptr_t lowest = UINTPTR_MAX;
    for (int i = 0; i < info->dlpi_phnum; ++i)
        if (info->dlpi_phdr[i].p_type == PT_LOAD && info->dlpi_phdr[i].p_vaddr < lowest)
            lowest = info->dlpi_phdr[i].p_vaddr;
    if (lowest == UINTPTR_MAX) lowest = 0;
    return info->dlpi_addr + lowest;
}

int VisitModule(struct dl_phdr_info *info, size_t, void *context)
{
    auto *q = static_cast<ModuleQuery *>(context);
    uintptr_t base = MappedBase(info);
    const char *name = info->dlpi_name ? info->dlpi_name : "";
    bool match;
    if (q->name) {
        const char *slash = strrchr(name, '/');
        const char *baseName = slash ? slash + 1 : name;
        match = *name && (strcmp(baseName, q->name) == 0 || strcmp(name, q->name) == 0);
    } else {
        match = base == q->base;
    }
    if (!match) return 0;
    q->found = true;
    q->foundBase = base;
    q->path = name;
    return 1;
}

/* The executable's mapping: the loader reports it first, with an empty name. */
int VisitFirst(struct dl_phdr_info *info, size_t, void *context)
{
    *static_cast<uintptr_t *>(context) = MappedBase(info);
    return 1;
}

uintptr_t ExecutableBase()
{
    uintptr_t base = 0;
    dl_iterate_phdr(VisitFirst, &base);
    return base;
}

bool ExecutablePath(std::string &out)
{
    char buf[PATH_MAX + 1];
    ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0) return false;
    buf[n] = '\0';
    out.assign(buf, (size_t)n);
    static const char deleted[] = " (deleted)";
    size_t dl = sizeof deleted - 1;
    if (out.size() > dl && out.compare(out.size() - dl, dl, deleted) == 0) out.resize(out.size() - dl);
    return true;
}

} // namespace

KOVA_LAYER_API HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName)
{
    if (!moduleName) return reinterpret_cast<HMODULE>(ExecutableBase());
    for (const char *p = moduleName; *p; ++p)
        if (*p == '\\') {
            SetLastError(ERROR_MOD_NOT_FOUND); /* Windows paths name no host module */
            return nullptr;
        }
    std::string exe;
    if (ExecutablePath(exe)) {
        const char *base = strrchr(exe.c_str(), '/');
        if (strcmp(base ? base + 1 : exe.c_str(), moduleName) == 0 || exe == moduleName)
            return reinterpret_cast<HMODULE>(ExecutableBase());
    }
    ModuleQuery q;
    q.name = moduleName;
    dl_iterate_phdr(VisitModule, &q);
    if (!q.found) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(q.foundBase);
}

KOVA_LAYER_API DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size)
{
    std::string path;
    uintptr_t exeBase = ExecutableBase();
    if (!module || reinterpret_cast<uintptr_t>(module) == exeBase) {
        if (!ExecutablePath(path)) {
            SetLastError(ERROR_GEN_FAILURE);
            return 0;
        }
    } else {
        ModuleQuery q;
        q.base = reinterpret_cast<uintptr_t>(module);
        dl_iterate_phdr(VisitModule, &q);
        if (!q.found || q.path.empty()) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        char resolved[PATH_MAX];
        path = realpath(q.path.c_str(), resolved) ? resolved : q.path;
    }
    if (!fileName || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    /* Too small: the name is cut to size - 1 characters and terminated, the
     * result is the buffer size. */
    if (path.size() >= size) {
        memcpy(fileName, path.data(), size - 1);
        fileName[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    memcpy(fileName, path.c_str(), path.size() + 1);
    return (DWORD)path.size();
}
