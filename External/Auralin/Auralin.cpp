#include "Auralin.h"

#include <limits.h>

#include <mutex>

namespace {

struct Record {
    int values[4];
};

/* One capture for the process. The queue is a ring: `head` is the oldest
 * record, `count` how many follow it. */
struct SoundIn {
    std::mutex lock;
    int references = 0;
    Record ring[AURALIN_QUEUE_RECORDS];
    int head = 0;
    int count = 0;
    int dropped = 0;
};

SoundIn &State()
{
    static SoundIn state;
    return state;
}

}  // namespace

extern "C" {

AURALIN_API int AURALIN_CALL TARVIK_AUDIO_StartAudioIn_b(void)
{
    SoundIn &s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    if (s.references == INT_MAX)
        return 0;
    ++s.references;
    return 1;
}

AURALIN_API int AURALIN_CALL TARVIK_AUDIO_StopAudioIn_b(void)
{
    SoundIn &s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    if (s.references == 0)
        return 0;
    --s.references;
    return 1;
}

AURALIN_API int AURALIN_CALL TARVIK_AUDIO_DataFromSondIn(int a, int b, int c, int d)
{
    SoundIn &s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    if (s.references == 0)
        return 0;
    if (s.count == AURALIN_QUEUE_RECORDS) {
        s.head = (s.head + 1) % AURALIN_QUEUE_RECORDS;
        --s.count;
        if (s.dropped < INT_MAX)
            ++s.dropped;
    }
    Record &r = s.ring[(s.head + s.count) % AURALIN_QUEUE_RECORDS];
    r.values[0] = a;
    r.values[1] = b;
    r.values[2] = c;
    r.values[3] = d;
    ++s.count;
    return 1;
}

AURALIN_API int AURALIN_CALL TARVIK_AUDIO_ReadSondIn(int values[4])
{
    if (!values)
        return 0;
    SoundIn &s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    if (s.count == 0)
        return 0;
    const Record &r = s.ring[s.head];
    for (int i = 0; i < 4; ++i)
        values[i] = r.values[i];
    s.head = (s.head + 1) % AURALIN_QUEUE_RECORDS;
    --s.count;
    return 1;
}

AURALIN_API void AURALIN_CALL TARVIK_AUDIO_GetSondInState(int *references, int *queued, int *dropped)
{
    SoundIn &s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    if (references)
        *references = s.references;
    if (queued)
        *queued = s.count;
    if (dropped)
        *dropped = s.dropped;
}

}  // extern "C"
