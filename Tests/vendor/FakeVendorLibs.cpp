#include "FakeVendorLibs.h"

#include <deque>
#include <map>
#include <mutex>
#include <stdexcept>

#include "Auralin.h"

namespace fake {
namespace {

struct Step {
    Outcome outcome;
    int times; /* -1: for ever */
    DWORD code;
};

struct State {
    std::mutex lock;
    std::vector<Call> calls;
    std::map<std::string, std::deque<Step>> scripts;
    std::map<LONG, PLAYM4_DISPLAY_CALLBACK> callbacks;
    LONG nextPort = 7;
    LONG pictureWidth = 704;
    LONG pictureHeight = 576;
    DWORD playedFrames = 0;
    DWORD lastError = 0;
};

State &S()
{
    static State state;
    return state;
}

/* Records the call and takes its outcome from the script. Throwing and
 * faulting happen in Raise, after the lock is given back: a fault abandons
 * the frames it happens in. */
Step Enter(Call call)
{
    State &s = S();
    std::lock_guard<std::mutex> hold(s.lock);
    Step step{Outcome::Succeed, 0, 0};
    auto it = s.scripts.find(call.name);
    if (it != s.scripts.end() && !it->second.empty()) {
        Step &front = it->second.front();
        step = front;
        if (front.times > 0 && --front.times == 0)
            it->second.pop_front();
    }
    if (step.outcome == Outcome::Fail)
        s.lastError = step.code;
    s.calls.push_back(std::move(call));
    return step;
}

/* Throws or faults as scripted; true when the call is to fail. The null
 * store must reach the processor, not the undefined-behaviour sanitizer. */
__attribute__((no_sanitize("undefined"))) bool Raise(const Step &step)
{
    switch (step.outcome) {
    case Outcome::Succeed:
        return false;
    case Outcome::Fail:
        return true;
    case Outcome::Throw:
        SetLastError(step.code);
        throw std::runtime_error("scripted exception");
    case Outcome::NullWrite: {
        SetLastError(step.code);
        volatile int *volatile target = nullptr;
        *target = 1;
        return true;
    }
    }
    return true;
}

Call Make(const char *name, std::vector<long long> args)
{
    Call c;
    c.name = name;
    c.args = std::move(args);
    return c;
}

long long PointerValue(const void *p)
{
    return static_cast<long long>(reinterpret_cast<uintptr_t>(p));
}

/* The common shape: record, raise, then succeed or fail. */
BOOL Simple(const char *name, std::vector<long long> args)
{
    return Raise(Enter(Make(name, std::move(args)))) ? FALSE : TRUE;
}

}  // namespace

void Reset()
{
    State &s = S();
    std::lock_guard<std::mutex> hold(s.lock);
    s.calls.clear();
    s.scripts.clear();
    s.callbacks.clear();
    s.nextPort = 7;
    s.pictureWidth = 704;
    s.pictureHeight = 576;
    s.playedFrames = 0;
    s.lastError = 0;
}

void Script(const std::string &name, Outcome outcome, int times, DWORD code)
{
    State &s = S();
    std::lock_guard<std::mutex> hold(s.lock);
    s.scripts[name].push_back(Step{outcome, times, code});
}

void SetNextPort(LONG port)
{
    std::lock_guard<std::mutex> hold(S().lock);
    S().nextPort = port;
}

void SetPictureSize(LONG width, LONG height)
{
    std::lock_guard<std::mutex> hold(S().lock);
    S().pictureWidth = width;
    S().pictureHeight = height;
}

void SetPlayedFrames(DWORD frames)
{
    std::lock_guard<std::mutex> hold(S().lock);
    S().playedFrames = frames;
}

std::vector<Call> Calls()
{
    std::lock_guard<std::mutex> hold(S().lock);
    return S().calls;
}

std::vector<std::string> Names()
{
    std::vector<std::string> names;
    for (const Call &c : Calls())
        names.push_back(c.name);
    return names;
}

std::vector<Call> CallsOf(const std::string &name)
{
    std::vector<Call> of;
    for (const Call &c : Calls())
        if (c.name == name)
            of.push_back(c);
    return of;
}

void ClearCalls()
{
    std::lock_guard<std::mutex> hold(S().lock);
    S().calls.clear();
}

PLAYM4_DISPLAY_CALLBACK InstalledCallback(LONG port)
{
    std::lock_guard<std::mutex> hold(S().lock);
    auto it = S().callbacks.find(port);
    return it == S().callbacks.end() ? nullptr : it->second;
}

}  // namespace fake

using namespace fake;

extern "C" {

BOOL PLAYM4_CALL PlayM4_GetPort(LONG *port)
{
    const bool fail = Raise(Enter(Make("PlayM4_GetPort", {})));
    LONG next;
    {
        std::lock_guard<std::mutex> hold(S().lock);
        next = S().nextPort;
    }
    *port = fail ? -1 : next;
    return fail ? FALSE : TRUE;
}

BOOL PLAYM4_CALL PlayM4_FreePort(LONG port) { return Simple("PlayM4_FreePort", {port}); }

BOOL PLAYM4_CALL PlayM4_SetStreamOpenMode(LONG port, DWORD mode)
{
    return Simple("PlayM4_SetStreamOpenMode", {port, mode});
}

BOOL PLAYM4_CALL PlayM4_OpenStream(LONG port, const BYTE *header, DWORD headerSize, DWORD bufferSize)
{
    Call c = Make("PlayM4_OpenStream", {port, headerSize, bufferSize});
    c.data.assign(header, header + headerSize);
    return Raise(Enter(std::move(c))) ? FALSE : TRUE;
}

BOOL PLAYM4_CALL PlayM4_CloseStream(LONG port) { return Simple("PlayM4_CloseStream", {port}); }

BOOL PLAYM4_CALL PlayM4_ResetSourceBuffer(LONG port)
{
    return Simple("PlayM4_ResetSourceBuffer", {port});
}

BOOL PLAYM4_CALL PlayM4_Play(LONG port, HWND window)
{
    return Simple("PlayM4_Play", {port, PointerValue(window)});
}

BOOL PLAYM4_CALL PlayM4_Stop(LONG port) { return Simple("PlayM4_Stop", {port}); }

BOOL PLAYM4_CALL PlayM4_InputData(LONG port, const BYTE *data, DWORD size)
{
    Call c = Make("PlayM4_InputData", {port, size});
    if (data)
        c.data.assign(data, data + size);
    return Raise(Enter(std::move(c))) ? FALSE : TRUE;
}

BOOL PLAYM4_CALL PlayM4_GetPictureSize(LONG port, LONG *width, LONG *height)
{
    if (Raise(Enter(Make("PlayM4_GetPictureSize", {port}))))
        return FALSE;
    std::lock_guard<std::mutex> hold(S().lock);
    *width = S().pictureWidth;
    *height = S().pictureHeight;
    return TRUE;
}

DWORD PLAYM4_CALL PlayM4_GetLastError(LONG port)
{
    Enter(Make("PlayM4_GetLastError", {port}));
    std::lock_guard<std::mutex> hold(S().lock);
    return S().lastError;
}

BOOL PLAYM4_CALL PlayM4_SetDisplayCallBack(LONG port, PLAYM4_DISPLAY_CALLBACK callback)
{
    Call c = Make("PlayM4_SetDisplayCallBack", {port});
    c.text = callback ? "set" : "null";
    if (Raise(Enter(std::move(c))))
        return FALSE;
    std::lock_guard<std::mutex> hold(S().lock);
    S().callbacks[port] = callback;
    return TRUE;
}

BOOL PLAYM4_CALL PlayM4_ConvertToBmpFile(const char *buffer, LONG size, LONG width, LONG height,
                                         LONG type, const char *fileName)
{
    Call c = Make("PlayM4_ConvertToBmpFile", {PointerValue(buffer), size, width, height, type});
    c.text = fileName ? fileName : "null";
    return Raise(Enter(std::move(c))) ? FALSE : TRUE;
}

BOOL PLAYM4_CALL PlayM4_RefreshPlay(LONG port) { return Simple("PlayM4_RefreshPlay", {port}); }
BOOL PLAYM4_CALL PlayM4_PlaySoundShare(LONG port) { return Simple("PlayM4_PlaySoundShare", {port}); }
BOOL PLAYM4_CALL PlayM4_StopSoundShare(LONG port) { return Simple("PlayM4_StopSoundShare", {port}); }

BOOL PLAYM4_CALL PlayM4_SetVolume(LONG port, WORD volume)
{
    return Simple("PlayM4_SetVolume", {port, volume});
}

BOOL PLAYM4_CALL PlayM4_SetDisplayRegion(LONG port, DWORD regionNumber, RECT *source, HWND window,
                                         BOOL enable)
{
    Call c = Make("PlayM4_SetDisplayRegion", {port, regionNumber, PointerValue(window), enable});
    if (source) {
        c.text = "set";
        c.args.insert(c.args.end(), {source->left, source->top, source->right, source->bottom});
    } else {
        c.text = "null";
    }
    return Raise(Enter(std::move(c))) ? FALSE : TRUE;
}

DWORD PLAYM4_CALL PlayM4_GetPlayedFrames(LONG port)
{
    if (Raise(Enter(Make("PlayM4_GetPlayedFrames", {port}))))
        return 0;
    std::lock_guard<std::mutex> hold(S().lock);
    return S().playedFrames;
}

BOOL PLAYM4_CALL PlayM4_Fast(LONG port) { return Simple("PlayM4_Fast", {port}); }
BOOL PLAYM4_CALL PlayM4_Slow(LONG port) { return Simple("PlayM4_Slow", {port}); }

int AURALIN_CALL TARVIK_AUDIO_StartAudioIn_b(void)
{
    return Simple("TARVIK_AUDIO_StartAudioIn_b", {});
}

int AURALIN_CALL TARVIK_AUDIO_StopAudioIn_b(void)
{
    return Simple("TARVIK_AUDIO_StopAudioIn_b", {});
}

int AURALIN_CALL TARVIK_AUDIO_DataFromSondIn(int a, int b, int c, int d)
{
    return Simple("TARVIK_AUDIO_DataFromSondIn", {a, b, c, d});
}

}  // extern "C"
