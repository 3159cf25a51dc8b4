#include "ScriptedDecoder.h"

#include <stdexcept>


namespace kova_test {

std::vector<std::string> CallLog::With(const std::string &prefix) const
{
    return StartingWith(Entries(), prefix);
}

/* The null store and the division must reach the processor: the
 * undefined-behaviour sanitizer would report them first. */
#if defined(__GNUC__) || defined(__clang__)
__attribute__((no_sanitize("undefined")))
#endif
void Raise(Fault fault)
{
    switch (fault) {
    case Fault::None:
        return;
    case Fault::Throw:
        throw std::runtime_error("scripted failure");
    case Fault::NullWrite: {
        /* Opaque to the optimiser, which would drop a store it can prove
         * goes to null. */
        volatile uintptr_t address = 0;
        *reinterpret_cast<volatile int *>(address) = 1;
        break;
    }
    case Fault::DivideByZero: {
        volatile int dividend = 1;
        volatile int divisor = 0;
        volatile int quotient = dividend / divisor;
        (void)quotient;
        break;
    }
    }
}

std::string Args(std::initializer_list<long> values)
{
    std::string out;
    for (long v : values) {
        if (!out.empty())
            out += ',';
        out += std::to_string(v);
    }
    return out;
}

ScriptedDecoder::ScriptedDecoder(std::string name_, std::shared_ptr<CallLog> log)
    : name(std::move(name_)), log_(std::move(log))
{
}

ScriptedDecoder::~ScriptedDecoder()
{
    Call("~");
}

LONG ScriptedDecoder::Call(const char *op, const std::string &args)
{
    log_->Add(name + "." + op + (args.empty() ? "" : " " + args));
    auto hook = hooks.find(op);
    if (hook != hooks.end())
        hook->second();
    auto fault = faults.find(op);
    if (fault != faults.end())
        Raise(fault->second);
    auto result = results.find(op);
    return result == results.end() ? 0 : result->second;
}

LONG ScriptedDecoder::GetSoundInData(LONG a, LONG b, LONG c, LONG d)
{
    return Call("GetSoundInData", Args({a, b, c, d}));
}

LONG ScriptedDecoder::CaptureBmpFile(std::string path)
{
    return Call("CaptureBmpFile", path);
}

LONG ScriptedDecoder::ChangeStreamFormat(LONG w, LONG h, LONG type)
{
    return Call("ChangeStreamFormat", Args({w, h, type}));
}

LONG ScriptedDecoder::ReservedA(LONG value)
{
    return Call("ReservedA", Args({value}));
}

LONG ScriptedDecoder::UpdateBounds()
{
    return Call("UpdateBounds");
}

LONG ScriptedDecoder::ReservedB(LONG value)
{
    return Call("ReservedB", Args({value}));
}

LONG ScriptedDecoder::CheckTransition(LONG s, LONG request)
{
    return Call("CheckTransition", Args({s, request}));
}

LONG ScriptedDecoder::ShutDown()
{
    const LONG r = Call("ShutDown");
    if (r == 0)
        state = Closed;
    return r;
}

LONG ScriptedDecoder::InsertBuf(const BYTE *data, LONG length, LONG w, LONG h, LONG type, LONG f1,
                                LONG f2, LONG f3)
{
    return Call("InsertBuf", std::string(data ? "data," : "null,") + Args({length, w, h, type, f1, f2, f3}));
}

LONG ScriptedDecoder::InsertAudioBuf(const BYTE *data, LONG length, LONG f1, LONG f2, LONG f3)
{
    return Call("InsertAudioBuf", std::string(data ? "data," : "null,") + Args({length, f1, f2, f3}));
}

LONG ScriptedDecoder::Stop()
{
    const LONG r = Call("Stop");
    if (r == 0)
        state = Stopped;
    return r;
}

LONG ScriptedDecoder::Start()
{
    const LONG r = Call("Start");
    if (r == 0)
        state = Playing;
    return r;
}

LONG ScriptedDecoder::InitPlay(HWND window, LONG w, LONG h, LONG type)
{
    const LONG r = Call("InitPlay", Args({static_cast<long>(reinterpret_cast<intptr_t>(window)), w, h, type}));
    if (r == 0)
        state = Opened;
    return r;
}

LONG ScriptedDecoder::ReservedC(LONG value)
{
    return Call("ReservedC", Args({value}));
}

LONG ScriptedDecoder::GetDecoderKind()
{
    Call("GetDecoderKind");
    return kind;
}

LONG ScriptedDecoder::DigitalZoom(LONG l, LONG t, LONG r, LONG b)
{
    return Call("DigitalZoom", Args({l, t, r, b}));
}

LONG ScriptedDecoder::SetPlaySpeed(LONG step)
{
    return Call("SetPlaySpeed", Args({step}));
}

LONG ScriptedDecoder::StartAudio()
{
    return Call("StartAudio");
}

LONG ScriptedDecoder::ShutDownAudio()
{
    return Call("ShutDownAudio");
}

LONG ScriptedDecoder::SetAudioVolume(LONG volume)
{
    return Call("SetAudioVolume", Args({volume}));
}

LONG ScriptedDecoder::GetAudioVolume(LONG *volume)
{
    const LONG r = Call("GetAudioVolume");
    *volume = 42;
    return r;
}

LONG ScriptedDecoder::SetVideoSize(LONG w, LONG h)
{
    return Call("SetVideoSize", Args({w, h}));
}

LONG ScriptedDecoder::GetImagePara(LONG *w, LONG *h)
{
    const LONG r = Call("GetImagePara");
    *w = 704;
    *h = 576;
    return r;
}

LONG ScriptedDecoder::GetTotalFrames()
{
    return Call("GetTotalFrames");
}

LONG ScriptedDecoder::ReservedD()
{
    return Call("ReservedD");
}

LONG ScriptedDecoder::SetDecParam(LONG p1, LONG p2, LONG p3, LONG p4, LONG p5, LONG p6, LONG p7)
{
    return Call("SetDecParam", Args({p1, p2, p3, p4, p5, p6, p7}));
}

LONG ScriptedDecoder::NotifySeek(LONG a, LONG b)
{
    return Call("NotifySeek", Args({a, b}));
}

LONG ScriptedDecoder::SetSpeed(LONG speed)
{
    return Call("SetSpeed", Args({speed}));
}

LONG ScriptedDecoder::SetDisplayMode(LONG mode)
{
    return Call("SetDisplayMode", Args({mode}));
}

ScriptedCreators::ScriptedCreators()
{
    previous_ = kova::SetDecoderCreators(
        {[this] { return Make("vendor", vendorMode, &vendor); },
         [this] { return Make("standard", standardMode, &standard); }});
}

ScriptedCreators::~ScriptedCreators()
{
    kova::SetDecoderCreators(previous_);
}

ISampleDecoder *ScriptedCreators::Make(const char *name, Mode mode, ScriptedDecoder **last)
{
    switch (mode) {
    case Mode::Missing:
        return nullptr;
    case Mode::Throw:
        Raise(Fault::Throw);
        return nullptr;
    case Mode::Fault:
        Raise(Fault::NullWrite);
        return nullptr;
    case Mode::Create:
        break;
    }
    auto *decoder = new ScriptedDecoder(name, log);
    if (configure)
        configure(*decoder);
    std::lock_guard<std::mutex> lock(mutex_);
    *last = decoder;
    return decoder;
}

}  // namespace kova_test
