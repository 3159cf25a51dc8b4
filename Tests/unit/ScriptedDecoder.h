/* A decoder for tests of the facade and the exported functions: records
 * every call (with its arguments) in a shared call log, keeps its state the
 * way a concrete decoder does, returns chosen results, and throws or raises
 * a real processor fault in a chosen operation. Installed behind real
 * facades through the decoder creation seam. */
#ifndef KOVA_TESTS_SCRIPTEDDECODER_H
#define KOVA_TESTS_SCRIPTEDDECODER_H

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "facade/DecoderFactory.h"
#include "decoder/ISampleDecoder.h"
#include "LogCapture.h"

namespace kova_test {

class CallLog {
public:
    void Add(std::string entry)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        entries_.push_back(std::move(entry));
    }
    std::vector<std::string> Entries() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return entries_;
    }
    /* The entries that begin with prefix, in order. */
    std::vector<std::string> With(const std::string &prefix) const;
    void Clear()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        entries_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> entries_;
};

enum class Fault {
    None,
    Throw,       /* a C++ exception */
    NullWrite,   /* a write through a null pointer: SIGSEGV / access violation */
    DivideByZero /* integer division by zero: SIGFPE / divide error */
};

/* Raises the fault; returns only for Fault::None. */
void Raise(Fault fault);

class ScriptedDecoder : public ISampleDecoder {
public:
    ScriptedDecoder(std::string name, std::shared_ptr<CallLog> log);
    ~ScriptedDecoder() override;

    /* Chosen results by operation name (default 0) and faults by name. */
    std::map<std::string, LONG> results;
    std::map<std::string, Fault> faults;
    /* Runs inside the named operation, after it is recorded. */
    std::map<std::string, std::function<void()>> hooks;
    LONG kind = 0;

    std::string name;

    LONG GetSoundInData(LONG a, LONG b, LONG c, LONG d) override;
    LONG CaptureBmpFile(std::string path) override;
    LONG ChangeStreamFormat(LONG width, LONG height, LONG streamType) override;
    LONG ReservedA(LONG value) override;
    LONG UpdateBounds() override;
    LONG ReservedB(LONG value) override;
    LONG CheckTransition(LONG state, LONG request) override;
    LONG ShutDown() override;
    LONG InsertBuf(const BYTE *data, LONG length, LONG width, LONG height, LONG streamType,
                   LONG frameInfo1, LONG frameInfo2, LONG frameInfo3) override;
    LONG InsertAudioBuf(const BYTE *data, LONG length, LONG frameInfo1, LONG frameInfo2,
                        LONG frameInfo3) override;
    LONG Stop() override;
    LONG Start() override;
    LONG InitPlay(HWND window, LONG width, LONG height, LONG streamType) override;
    LONG ReservedC(LONG value) override;
    LONG GetDecoderKind() override;
    LONG DigitalZoom(LONG left, LONG top, LONG right, LONG bottom) override;
    LONG SetPlaySpeed(LONG step) override;
    LONG StartAudio() override;
    LONG ShutDownAudio() override;
    LONG SetAudioVolume(LONG volume) override;
    LONG GetAudioVolume(LONG *volume) override;
    LONG SetVideoSize(LONG width, LONG height) override;
    LONG GetImagePara(LONG *width, LONG *height) override;
    LONG GetTotalFrames() override;
    LONG ReservedD() override;
    LONG SetDecParam(LONG audioCode, LONG sampleRate, LONG channels, LONG bitRate,
                     LONG bitsPerSample, LONG reserved1, LONG reserved2) override;
    LONG NotifySeek(LONG a, LONG b) override;
    LONG SetSpeed(LONG speed) override;
    LONG SetDisplayMode(LONG mode) override;

private:
    /* Records "name.op args", runs the hook, raises the fault, returns the
     * chosen result. */
    LONG Call(const char *op, const std::string &args = "");

    std::shared_ptr<CallLog> log_;
};

/* Installs creators of scripted decoders named "vendor" and "standard" for
 * as long as it lives; either can be switched to "missing" (null) or to
 * throwing. The decoders of the most recent facade are reachable. */
class ScriptedCreators {
public:
    enum class Mode { Create, Missing, Throw, Fault };

    ScriptedCreators();
    ~ScriptedCreators();

    Mode vendorMode = Mode::Create;
    Mode standardMode = Mode::Create;
    std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
    /* Applied to each scripted decoder right after creation. */
    std::function<void(ScriptedDecoder &)> configure;
    ScriptedDecoder *vendor = nullptr;   /* last created; owned by its facade */
    ScriptedDecoder *standard = nullptr;

private:
    ISampleDecoder *Make(const char *name, Mode mode, ScriptedDecoder **last);
    std::mutex mutex_;
    kova::DecoderCreators previous_;
};

std::string Args(std::initializer_list<long> values);

}  // namespace kova_test

#endif
