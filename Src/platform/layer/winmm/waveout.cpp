/* The wave-out calls: handles, argument checks, header flags and formats.
 * Playing itself is WaveDevice's. */
#include "fault/fault.h"
#include "wave_device.h"

#include <map>
#include <memory>
#include <mutex>

namespace kova::winmm {
namespace {

/* Handles are never reused, so a call on a closed device fails cleanly with
 * MMSYSERR_INVALHANDLE instead of reaching a newer device. They start high
 * enough not to be mistaken for a device identifier. */
std::mutex g_devicesMutex;
uintptr_t g_nextHandle = 0x57A0000;

/* Devices a program leaves open at exit keep playing until the process
 * ends; the table is never destroyed, so no clock thread is joined while
 * the rest of the layer is being torn down. */
std::map<uintptr_t, std::shared_ptr<WaveDevice>> &Devices()
{
    static auto *devices = new std::map<uintptr_t, std::shared_ptr<WaveDevice>>();
    return *devices;
}

/* The volume set on device identifier 0 rather than on an open handle. */
std::atomic<DWORD> g_deviceVolume{0xFFFFFFFFu};

std::shared_ptr<WaveDevice> Find(HWAVEOUT hwo)
{
    std::lock_guard<std::mutex> lock(g_devicesMutex);
    auto it = Devices().find(reinterpret_cast<uintptr_t>(hwo));
    return it == Devices().end() ? nullptr : it->second;
}

bool IsDeviceId(HWAVEOUT hwo)
{
    return reinterpret_cast<uintptr_t>(hwo) == 0;
}

/* Linear PCM that a sound card plays: 8 or 16 bits, one or two channels,
 * 8 to 48 kHz, with consistent alignment and byte rate. */
bool FormatSupported(const WAVEFORMATEX &f)
{
    if (f.wFormatTag != WAVE_FORMAT_PCM) return false;
    if (f.nChannels != 1 && f.nChannels != 2) return false;
    if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) return false;
    if (f.nSamplesPerSec < 8000 || f.nSamplesPerSec > 48000) return false;
    if (f.nBlockAlign != f.nChannels * f.wBitsPerSample / 8) return false;
    return f.nAvgBytesPerSec == f.nSamplesPerSec * f.nBlockAlign;
}

}  // namespace
}  // namespace kova::winmm

using namespace kova::winmm;

KOVA_LAYER_API UINT WINAPI waveOutGetNumDevs(void)
{
    KOVA_FAULT_POINT("waveOutGetNumDevs", UINT);
    return 1;
}

KOVA_LAYER_API MMRESULT WINAPI waveOutOpen(LPHWAVEOUT phwo, UINT uDeviceID, LPCWAVEFORMATEX pwfx,
                                           DWORD_PTR dwCallback, DWORD_PTR dwInstance, DWORD fdwOpen)
{
    (void)dwInstance;  // only function callbacks receive it
    KOVA_FAULT_POINT("waveOutOpen", MMRESULT);
    if (uDeviceID != 0 && uDeviceID != WAVE_MAPPER) return MMSYSERR_BADDEVICEID;
    if (!pwfx) return MMSYSERR_INVALPARAM;
    const bool query = (fdwOpen & WAVE_FORMAT_QUERY) != 0;
    const DWORD kind = fdwOpen & CALLBACK_TYPEMASK;
    if (kind != CALLBACK_NULL && kind != CALLBACK_THREAD && kind != CALLBACK_EVENT) return MMSYSERR_NOTSUPPORTED;
    if (kind == CALLBACK_THREAD && !query && dwCallback == 0) return MMSYSERR_INVALPARAM;
    if (MMRESULT driver = CheckSinkChoice()) return driver;
    if (!FormatSupported(*pwfx)) return WAVERR_BADFORMAT;
    if (query) return MMSYSERR_NOERROR;
    if (!phwo) return MMSYSERR_INVALPARAM;

    WAVEFORMATEX format = *pwfx;
    format.cbSize = 0;
    std::unique_ptr<WaveSink> sink;
    if (MMRESULT failed = OpenSink(format, &sink)) return failed;

    uintptr_t value;
    {
        std::lock_guard<std::mutex> lock(g_devicesMutex);
        value = g_nextHandle;
        g_nextHandle += 4;
    }
    HWAVEOUT handle = reinterpret_cast<HWAVEOUT>(value);
    auto device = std::make_shared<WaveDevice>(handle, format, std::move(sink), WaveCallback{kind, dwCallback});
    {
        std::lock_guard<std::mutex> lock(g_devicesMutex);
        Devices().emplace(value, device);
    }
    *phwo = handle;
    device->Start();
    return MMSYSERR_NOERROR;
}

KOVA_LAYER_API MMRESULT WINAPI waveOutClose(HWAVEOUT hwo)
{
    KOVA_FAULT_POINT("waveOutClose", MMRESULT);
    std::shared_ptr<WaveDevice> device = Find(hwo);
    if (!device) return MMSYSERR_INVALHANDLE;
    MMRESULT result = device->Close();
    if (result == MMSYSERR_NOERROR) {
        std::lock_guard<std::mutex> lock(g_devicesMutex);
        Devices().erase(reinterpret_cast<uintptr_t>(hwo));
    }
    return result;
}

KOVA_LAYER_API MMRESULT WINAPI waveOutPrepareHeader(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh)
{
    KOVA_FAULT_POINT("waveOutPrepareHeader", MMRESULT);
    std::shared_ptr<WaveDevice> device = Find(hwo);
    if (!device) return MMSYSERR_INVALHANDLE;
    if (!pwh || cbwh < sizeof(WAVEHDR) || !pwh->lpData) return MMSYSERR_INVALPARAM;
    return device->Prepare(pwh);
}

KOVA_LAYER_API MMRESULT WINAPI waveOutUnprepareHeader(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh)
{
    KOVA_FAULT_POINT("waveOutUnprepareHeader", MMRESULT);
    std::shared_ptr<WaveDevice> device = Find(hwo);
    if (!device) return MMSYSERR_INVALHANDLE;
    if (!pwh || cbwh < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
    return device->Unprepare(pwh);
}

KOVA_LAYER_API MMRESULT WINAPI waveOutWrite(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh)
{
    KOVA_FAULT_POINT("waveOutWrite", MMRESULT);
    std::shared_ptr<WaveDevice> device = Find(hwo);
    if (!device) return MMSYSERR_INVALHANDLE;
    if (!pwh || cbwh < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
    return device->Write(pwh);
}

KOVA_LAYER_API MMRESULT WINAPI waveOutReset(HWAVEOUT hwo)
{
    KOVA_FAULT_POINT("waveOutReset", MMRESULT);
    std::shared_ptr<WaveDevice> device = Find(hwo);
    if (!device) return MMSYSERR_INVALHANDLE;
    return device->Reset();
}

KOVA_LAYER_API MMRESULT WINAPI waveOutGetVolume(HWAVEOUT hwo, LPDWORD pdwVolume)
{
    KOVA_FAULT_POINT("waveOutGetVolume", MMRESULT);
    if (!pdwVolume) return MMSYSERR_INVALPARAM;
    if (IsDeviceId(hwo)) {
        *pdwVolume = g_deviceVolume.load();
        return MMSYSERR_NOERROR;
    }
    std::shared_ptr<WaveDevice> device = Find(hwo);
    if (!device) return MMSYSERR_INVALHANDLE;
    *pdwVolume = device->Volume();
    return MMSYSERR_NOERROR;
}

KOVA_LAYER_API MMRESULT WINAPI waveOutSetVolume(HWAVEOUT hwo, DWORD dwVolume)
{
    KOVA_FAULT_POINT("waveOutSetVolume", MMRESULT);
    if (IsDeviceId(hwo)) {
        g_deviceVolume.store(dwVolume);
        return MMSYSERR_NOERROR;
    }
    std::shared_ptr<WaveDevice> device = Find(hwo);
    if (!device) return MMSYSERR_INVALHANDLE;
    device->SetVolume(dwVolume);
    return MMSYSERR_NOERROR;
}
