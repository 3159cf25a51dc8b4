/* Worker threads: made on demand, ended after idling a while. */
#include "kernel32/workpool.h"

#include "kernel32/thread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace kova {
namespace k32 {
namespace {

constexpr auto kIdleLifetime = std::chrono::seconds(10);

struct Task {
    void (*work)(void *);
    void *arg;
};

struct Pool {
    std::mutex lock;
    std::condition_variable ready;
    std::deque<Task> tasks;
    int idle = 0;  // workers waiting for a task, not yet claimed
};

Pool &ThePool()
{
    static Pool *pool = new Pool;  // workers may outlive static destructors
    return *pool;
}

void Worker(void *)
{
    Pool &pool = ThePool();
    std::unique_lock<std::mutex> lock(pool.lock);
    for (;;) {
        while (pool.tasks.empty()) {
            ++pool.idle;
            bool timedOut = !pool.ready.wait_for(lock, kIdleLifetime, [&] { return !pool.tasks.empty(); });
            --pool.idle;
            if (timedOut) return;
        }
        Task task = pool.tasks.front();
        pool.tasks.pop_front();
        lock.unlock();
        task.work(task.arg);
        lock.lock();
    }
}

}  // namespace

bool SubmitWork(void (*work)(void *), void *arg)
{
    Pool &pool = ThePool();
    {
        std::lock_guard<std::mutex> hold(pool.lock);
        pool.tasks.push_back({work, arg});
        if (pool.idle >= (int)pool.tasks.size()) {
            pool.ready.notify_one();
            return true;
        }
    }
    if (StartHelperThread(Worker, nullptr)) return true;
    /* No new thread: take the task back unless a worker got to it. */
    std::lock_guard<std::mutex> hold(pool.lock);
    for (auto it = pool.tasks.begin(); it != pool.tasks.end(); ++it) {
        if (it->work == work && it->arg == arg) {
            pool.tasks.erase(it);
            return false;
        }
    }
    return true;
}

}  // namespace k32
}  // namespace kova
