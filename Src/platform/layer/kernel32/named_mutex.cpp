/* Named mutexes: one lock for every thread of every process that opens the
 * name.
 *
 * The lock is a robust, process-shared pthread mutex in a POSIX shared
 * memory object, with the owner's thread id and recursion depth beside it.
 * A process that dies holding it leaves the next locker EOWNERDEAD, which
 * is Windows' WAIT_ABANDONED; a thread of ours that ends holding it
 * releases it as abandoned on its way out.
 *
 * The object lives while any process holds it open, as on Windows. Each
 * process holding it keeps a shared OFD lock on byte 1 of the memory
 * object (the kernel drops it when the process dies); opening and closing
 * are serialised by an exclusive OFD lock on byte 0. Whoever finds no other
 * holder (byte 1 free) starts a fresh object, or, closing, unlinks it. */
#include "kernel32/sync.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace kova {
namespace k32 {
namespace {

struct SharedMutex {
    pthread_mutex_t lock;
    /* Written only by the thread holding `lock`. */
    uint32_t ownerTid;  // Linux thread id (system-wide), 0 when free
    uint32_t count;
    uint32_t abandoned;  // an acquirer gave back an abandoned acquisition
};

std::string ShmPath(const char *name)
{
    /* "Global\" and "Local\" name one namespace here. */
    if (!strncmp(name, "Global\\", 7)) name += 7;
    else if (!strncmp(name, "Local\\", 6)) name += 6;
    std::string path = "/kova-" + std::to_string(getuid()) + "-mutex-";
    for (const char *p = name; *p; ++p) {
        if (*p == '/' || *p == '%') {
            char esc[4];
            snprintf(esc, sizeof esc, "%%%02X", (unsigned char)*p);
            path += esc;
        } else {
            path += *p;
        }
    }
    if (path.size() > 240) {  // keep within NAME_MAX: shorten with a hash
        uint64_t h = 1469598103934665603ull;
        for (char c : path) h = (h ^ (unsigned char)c) * 1099511628211ull;
        char hex[20];
        snprintf(hex, sizeof hex, "#%016llx", (unsigned long long)h);
        path = path.substr(0, 200) + hex;
    }
    return path;
}

bool RangeLock(int fd, short type, off_t start, bool wait)
{
    struct flock fl = {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = start;
    fl.l_len = 1;
    while (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

constexpr off_t kGuardByte = 0;
constexpr off_t kHolderByte = 1;

DWORD ErrorFromErrno(int err)
{
    switch (err) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case EACCES: case EPERM: return ERROR_ACCESS_DENIED;
    case ENAMETOOLONG: return ERROR_INVALID_NAME;
    case EMFILE: case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    default: return ERROR_NOT_ENOUGH_MEMORY;
    }
}

class NamedMutex : public Waitable {
public:
    NamedMutex(std::string path, int fd, SharedMutex *shared)
        : Waitable(Kind::NamedMutex), path_(std::move(path)), fd_(fd), shared_(shared)
    {
    }

    ~NamedMutex() override
    {
        RangeLock(fd_, F_WRLCK, kGuardByte, true);
        if (RangeLock(fd_, F_WRLCK, kHolderByte, false)) shm_unlink(path_.c_str());  // last holder
        munmap(shared_, sizeof(SharedMutex));
        close(fd_);  // drops both locks
    }

    bool Polled() const override { return true; }

    Acq TryAcquire(ThreadInfo *self) override
    {
        if (OwnedBy(self)) return Recurse();
        return Locked(self, pthread_mutex_trylock(&shared_->lock));
    }

    void Undo(ThreadInfo *self, Acq how) override
    {
        if (!OwnedBy(self)) return;
        if (how == Acq::Abandoned && shared_->count == 1) shared_->abandoned = 1;
        Unlock(self);
    }

    DWORD WaitAlone(DWORD ms) override
    {
        ThreadInfo *self = Self();
        Acq got;
        if (OwnedBy(self)) {
            got = Recurse();
        } else if (ms == INFINITE) {
            got = Locked(self, pthread_mutex_lock(&shared_->lock));
        } else if (ms == 0) {
            got = Locked(self, pthread_mutex_trylock(&shared_->lock));
        } else {
            /* The realtime clock, as every sanitizer understands timedlock. */
            timespec deadline;
            clock_gettime(CLOCK_REALTIME, &deadline);
            deadline.tv_sec += ms / 1000;
            deadline.tv_nsec += (long)(ms % 1000) * 1000000L;
            if (deadline.tv_nsec >= 1000000000L) {
                deadline.tv_sec += 1;
                deadline.tv_nsec -= 1000000000L;
            }
            int err = pthread_mutex_timedlock(&shared_->lock, &deadline);
#if defined(__SANITIZE_THREAD__)
            /* The sanitizer counts only a plain success of timedlock as locking. */
            if (err == EOWNERDEAD) {
                __tsan_mutex_pre_lock(&shared_->lock, 0);
                __tsan_mutex_post_lock(&shared_->lock, 0, 0);
            }
#endif
            got = Locked(self, err);
        }
        if (got == Acq::No) return WAIT_TIMEOUT;
        return got == Acq::Abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
    }

    void Abandon(ThreadInfo *self) override
    {
        if (!OwnedBy(self)) return;
        shared_->abandoned = 1;
        shared_->count = 1;
        Unlock(self);
    }

    bool ReleaseBy(ThreadInfo *self)
    {
        if (!OwnedBy(self)) return false;
        Unlock(self);
        return true;
    }

    bool OwnedBy(ThreadInfo *self) const
    {
        return __atomic_load_n(&shared_->ownerTid, __ATOMIC_RELAXED) == self->tid;
    }

private:
    Acq Recurse()
    {
        if (shared_->count == 0x7fffffff) return Acq::No;
        ++shared_->count;
        return Acq::Yes;
    }

    Acq Locked(ThreadInfo *self, int err)
    {
        bool abandoned;
        if (err == EOWNERDEAD) {
            pthread_mutex_consistent(&shared_->lock);
            abandoned = true;
        } else if (err == 0) {
            abandoned = shared_->abandoned != 0;
        } else {
            return Acq::No;  // EBUSY, ETIMEDOUT
        }
        shared_->abandoned = 0;
        shared_->count = 1;
        __atomic_store_n(&shared_->ownerTid, self->tid, __ATOMIC_RELAXED);
        AddRef();  // held by the owner thread
        self->ownedMutexes.push_back(this);
        return abandoned ? Acq::Abandoned : Acq::Yes;
    }

    void Unlock(ThreadInfo *self)
    {
        if (--shared_->count != 0) return;
        __atomic_store_n(&shared_->ownerTid, 0u, __ATOMIC_RELAXED);
        pthread_mutex_unlock(&shared_->lock);
        auto &owned = self->ownedMutexes;
        for (auto it = owned.begin(); it != owned.end(); ++it) {
            if (*it == this) {
                owned.erase(it);
                break;
            }
        }
        Object::Release();  // the owner's reference; the caller still holds one
    }

    const std::string path_;
    const int fd_;
    SharedMutex *const shared_;
};

void InitShared(SharedMutex *s)
{
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
    pthread_mutex_init(&s->lock, &attr);
    pthread_mutexattr_destroy(&attr);
    s->ownerTid = 0;
    s->count = 0;
    s->abandoned = 0;
}

struct OpenRequest {
    const char *name;
    bool create;
    bool existedElsewhere;
};

/* Opens (or creates) the shared object; called under the namespace lock. */
Object *OpenShared(void *ctx)
{
    auto *req = static_cast<OpenRequest *>(ctx);
    std::string path = ShmPath(req->name);
    for (;;) {
        int fd = shm_open(path.c_str(), O_RDWR | O_CLOEXEC | (req->create ? O_CREAT : 0), 0600);
        if (fd < 0) {
            SetLastError(ErrorFromErrno(errno));
            return nullptr;
        }
        if (!RangeLock(fd, F_WRLCK, kGuardByte, true)) {
            SetLastError(ErrorFromErrno(errno));
            close(fd);
            return nullptr;
        }
        struct stat st;
        if (fstat(fd, &st) != 0 || st.st_nlink == 0) {  // its last holder just unlinked it
            close(fd);
            continue;
        }
        bool alone = RangeLock(fd, F_WRLCK, kHolderByte, false);
        if (alone && !req->create) {  // a leftover, not a live object
            shm_unlink(path.c_str());
            close(fd);
            SetLastError(ERROR_FILE_NOT_FOUND);
            return nullptr;
        }
        if (alone && ftruncate(fd, sizeof(SharedMutex)) != 0) {
            SetLastError(ErrorFromErrno(errno));
            shm_unlink(path.c_str());
            close(fd);
            return nullptr;
        }
        void *mem = mmap(nullptr, sizeof(SharedMutex), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (mem == MAP_FAILED) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            if (alone) shm_unlink(path.c_str());
            close(fd);
            return nullptr;
        }
        auto *shared = static_cast<SharedMutex *>(mem);
        if (alone) InitShared(shared);
        RangeLock(fd, F_RDLCK, kHolderByte, false);  // we hold it open now
        RangeLock(fd, F_UNLCK, kGuardByte, false);
        req->existedElsewhere = !alone;
        return new NamedMutex(path, fd, shared);
    }
}

}  // namespace

HANDLE CreateNamedMutex(const char *name, bool initialOwner, bool openOnly)
{
    if (strlen(name) >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return NULL;
    }
    OpenRequest req = {name, !openOnly, false};
    bool existedHere = false;
    Object *obj = FindOrCreateNamed(name, Kind::NamedMutex, OpenShared, &req, &existedHere);
    if (!obj) return NULL;
    bool existed = existedHere || req.existedElsewhere;
    auto *mutex = static_cast<NamedMutex *>(obj);
    if (initialOwner && !existed) mutex->TryAcquire(Self());
    HANDLE h = InsertHandle(obj);
    obj->Release();
    if (h && !openOnly) SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

BOOL ReleaseNamedMutex(Object *obj)
{
    if (!static_cast<NamedMutex *>(obj)->ReleaseBy(Self())) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}

}  // namespace k32
}  // namespace kova
