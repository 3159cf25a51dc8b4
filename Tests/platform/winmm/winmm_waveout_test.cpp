/* Wave-out conformance: formats, header flags, block return to a callback
 * thread at the real-time rate, reset, close and volume.
 *
 * Under Wine on a machine without a sound card, ALSA's null device gives
 * Wine one: a ~/.asoundrc holding `pcm.!default { type null }`. */
#include <windows.h>
#include <mmsystem.h>

#include "wintest.h"

#include "winmm/pcm_format.h"

/* Takes the next message `which` from this thread's queue, waiting up to
 * `timeout` ms; other messages are set aside in `others` (counted). */
static BOOL wait_message(UINT which, DWORD timeout, MSG *out)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (PeekMessageA(out, NULL, which, which, PM_REMOVE)) return TRUE;
        if (GetTickCount() - start > timeout) return FALSE;
        Sleep(1);
    }
}

/* A block's flags as the device leaves them; another thread sets WHDR_DONE. */
static DWORD flags_of(WAVEHDR *hdr)
{
    return (DWORD)InterlockedCompareExchange((LONG volatile *)&hdr->dwFlags, 0, 0);
}

static void drain_messages(void)
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
    }
}

static void test_formats(void)
{
    if (!waveOutGetNumDevs()) {
        skip("no wave-out device\n");
        return;
    }
    static const DWORD rates[] = {8000, 11025, 22050, 44100, 48000};
    for (WORD bits = 8; bits <= 16; bits += 8)
        for (WORD channels = 1; channels <= 2; ++channels)
            for (unsigned r = 0; r < sizeof rates / sizeof rates[0]; ++r) {
                WAVEFORMATEX f = pcm_format(channels, rates[r], bits);
                MMRESULT rc = waveOutOpen(NULL, WAVE_MAPPER, &f, 0, 0, WAVE_FORMAT_QUERY);
                ok(rc == MMSYSERR_NOERROR, "query %u bits %u channels %lu Hz: %u\n", bits, channels,
                   (unsigned long)rates[r], rc);
            }

    WAVEFORMATEX f = pcm_format(1, 8000, 16);
    f.wFormatTag = 0x5A5A;
    ok(waveOutOpen(NULL, WAVE_MAPPER, &f, 0, 0, WAVE_FORMAT_QUERY) == WAVERR_BADFORMAT, "unknown tag\n");

    if (!wintest_is_layer()) return;
    /* What a sound card here plays; Windows mixers accept more. */
    WAVEFORMATEX refused[5];
    refused[0] = pcm_format(1, 8000, 24);
    refused[1] = pcm_format(3, 8000, 16);
    refused[2] = pcm_format(1, 96000, 16);
    refused[3] = pcm_format(1, 7999, 16);
    refused[4] = pcm_format(2, 8000, 16);
    refused[4].nBlockAlign = 2;
    for (int i = 0; i < 5; ++i) {
        HWAVEOUT hwo = (HWAVEOUT)0x1;
        ok(waveOutOpen(NULL, WAVE_MAPPER, &refused[i], 0, 0, WAVE_FORMAT_QUERY) == WAVERR_BADFORMAT,
           "query refuses format %d\n", i);
        ok(waveOutOpen(&hwo, WAVE_MAPPER, &refused[i], 0, 0, CALLBACK_NULL) == WAVERR_BADFORMAT,
           "open refuses format %d\n", i);
        ok(hwo == (HWAVEOUT)0x1, "no handle for format %d\n", i);
    }
}

static void test_thread_callback(void)
{
    WAVEFORMATEX f = pcm_format(1, 8000, 16);  /* 16000 bytes a second */
    HWAVEOUT hwo = NULL;
    MSG msg;
    drain_messages();
    PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE);  /* this thread's queue */
    MMRESULT rc = waveOutOpen(&hwo, WAVE_MAPPER, &f, GetCurrentThreadId(), 0, CALLBACK_THREAD);
    if (rc == MMSYSERR_NODRIVER || rc == MMSYSERR_BADDEVICEID) {
        skip("no wave-out device (%u)\n", rc);
        return;
    }
    ok(rc == MMSYSERR_NOERROR && hwo != NULL, "open: %u\n", rc);
    ok(wait_message(MM_WOM_OPEN, 1000, &msg), "MM_WOM_OPEN\n");
    ok(msg.wParam == (WPARAM)hwo, "MM_WOM_OPEN carries the device\n");

    static char data[3][1600];  /* 100 ms each */
    WAVEHDR hdr[3];
    memset(hdr, 0, sizeof hdr);
    for (int i = 0; i < 3; ++i) {
        memset(data[i], i, sizeof data[i]);
        hdr[i].lpData = data[i];
        hdr[i].dwBufferLength = sizeof data[i];
    }
    ok(waveOutWrite(hwo, &hdr[0], sizeof(WAVEHDR)) == WAVERR_UNPREPARED, "write needs a prepared header\n");
    for (int i = 0; i < 3; ++i) {
        ok(waveOutPrepareHeader(hwo, &hdr[i], sizeof(WAVEHDR)) == MMSYSERR_NOERROR, "prepare %d\n", i);
        ok(hdr[i].dwFlags == WHDR_PREPARED, "prepared flags %d: %#lx\n", i, (unsigned long)hdr[i].dwFlags);
    }
    DWORD start = GetTickCount();
    for (int i = 0; i < 3; ++i)
        ok(waveOutWrite(hwo, &hdr[i], sizeof(WAVEHDR)) == MMSYSERR_NOERROR, "write %d\n", i);
    ok((hdr[2].dwFlags & (WHDR_INQUEUE | WHDR_DONE)) == WHDR_INQUEUE, "queued flags: %#lx\n",
       (unsigned long)hdr[2].dwFlags);
    ok(waveOutWrite(hwo, &hdr[2], sizeof(WAVEHDR)) == WAVERR_STILLPLAYING, "a queued header is not written twice\n");
    ok(waveOutUnprepareHeader(hwo, &hdr[2], sizeof(WAVEHDR)) == WAVERR_STILLPLAYING, "unprepare while queued\n");
    /* Wine closes a device with queued blocks (checked with ALSA's null
     * device); Windows documents WAVERR_STILLPLAYING. */
    if (!wintest_is_wine()) ok(waveOutClose(hwo) == WAVERR_STILLPLAYING, "close while queued\n");

    for (int i = 0; i < 3; ++i) {
        BOOL got = wait_message(MM_WOM_DONE, 3000, &msg);
        ok(got, "MM_WOM_DONE %d\n", i);
        if (!got) break;
        ok(msg.wParam == (WPARAM)hwo, "done %d carries the device\n", i);
        ok(msg.lParam == (LPARAM)&hdr[i], "blocks come back in order (%d)\n", i);
        ok((hdr[i].dwFlags & (WHDR_DONE | WHDR_INQUEUE | WHDR_PREPARED)) == (WHDR_DONE | WHDR_PREPARED),
           "done flags %d: %#lx\n", i, (unsigned long)hdr[i].dwFlags);
    }
    DWORD elapsed = GetTickCount() - start;
    /* Under Wine the device is ALSA's null PCM, which Wine does not pace in
     * real time: blocks come back at once, so the lower bound is skipped. */
    if (wintest_is_wine())
        skip("real-time pacing: Wine's null ALSA device is not paced\n");
    else
        ok(elapsed >= 250, "300 ms of sound took only %lu ms\n", (unsigned long)elapsed);
    ok(elapsed <= 2000, "300 ms of sound took %lu ms\n", (unsigned long)elapsed);

    /* Reset returns every queued block at once, marked done. */
    for (int i = 0; i < 3; ++i) {
        hdr[i].dwBufferLength = sizeof data[i];
        ok(waveOutWrite(hwo, &hdr[i], sizeof(WAVEHDR)) == MMSYSERR_NOERROR, "rewrite %d\n", i);
    }
    start = GetTickCount();
    ok(waveOutReset(hwo) == MMSYSERR_NOERROR, "reset\n");
    for (int i = 0; i < 3; ++i) {
        ok(hdr[i].dwFlags & WHDR_DONE, "reset marks %d done\n", i);
        ok(!(hdr[i].dwFlags & WHDR_INQUEUE), "reset dequeues %d\n", i);
        ok(wait_message(MM_WOM_DONE, 500, &msg) && msg.lParam == (LPARAM)&hdr[i], "reset returns %d\n", i);
    }
    ok(GetTickCount() - start < 250, "reset does not play the blocks out\n");

    for (int i = 0; i < 3; ++i) {
        ok(waveOutUnprepareHeader(hwo, &hdr[i], sizeof(WAVEHDR)) == MMSYSERR_NOERROR, "unprepare %d\n", i);
        ok(!(hdr[i].dwFlags & WHDR_PREPARED), "unprepared %d\n", i);
    }
    ok(waveOutClose(hwo) == MMSYSERR_NOERROR, "close\n");
    ok(wait_message(MM_WOM_CLOSE, 1000, &msg) && msg.wParam == (WPARAM)hwo, "MM_WOM_CLOSE\n");
    ok(waveOutReset(hwo) == MMSYSERR_INVALHANDLE, "a closed handle is invalid\n");
    ok(waveOutClose(hwo) == MMSYSERR_INVALHANDLE, "closing twice\n");
}

static void test_null_callback_and_volume(void)
{
    WAVEFORMATEX f = pcm_format(2, 44100, 16);
    HWAVEOUT hwo = NULL;
    MMRESULT rc = waveOutOpen(&hwo, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL);
    if (rc == MMSYSERR_NODRIVER || rc == MMSYSERR_BADDEVICEID) {
        skip("no wave-out device (%u)\n", rc);
        return;
    }
    ok(rc == MMSYSERR_NOERROR, "open: %u\n", rc);

    DWORD volume = 0;
    ok(waveOutSetVolume(hwo, 0xE665E665) == MMSYSERR_NOERROR, "set volume\n");
    ok(waveOutGetVolume(hwo, &volume) == MMSYSERR_NOERROR, "get volume\n");
    /* A mixer may round to its own steps. */
    ok(LOWORD(volume) >= 0xE600 && LOWORD(volume) <= 0xE6FF && HIWORD(volume) >= 0xE600 && HIWORD(volume) <= 0xE6FF,
       "volume reads back: %#lx\n", (unsigned long)volume);
    ok(waveOutGetVolume(hwo, NULL) == MMSYSERR_INVALPARAM, "volume needs somewhere to go\n");

    static char data[17640];  /* 100 ms */
    WAVEHDR hdr;
    memset(&hdr, 0, sizeof hdr);
    hdr.lpData = data;
    hdr.dwBufferLength = sizeof data;
    ok(waveOutPrepareHeader(hwo, &hdr, sizeof hdr) == MMSYSERR_NOERROR, "prepare\n");
    ok(waveOutWrite(hwo, &hdr, sizeof hdr) == MMSYSERR_NOERROR, "write\n");
    DWORD start = GetTickCount();
    while (!(flags_of(&hdr) & WHDR_DONE) && GetTickCount() - start < 3000) Sleep(5);
    ok(hdr.dwFlags & WHDR_DONE, "a block played without a callback is marked done\n");
    ok(waveOutUnprepareHeader(hwo, &hdr, sizeof hdr) == MMSYSERR_NOERROR, "unprepare\n");
    ok(waveOutClose(hwo) == MMSYSERR_NOERROR, "close\n");
    ok(waveOutSetVolume(hwo, 0) == MMSYSERR_INVALHANDLE, "volume of a closed device\n");
}

#ifndef _WIN32
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static void temp_path(char *path, size_t size, const char *name)
{
    const char *dir = getenv("TMPDIR");
    snprintf(path, size, "%s/kova_winmm_%d_%s", dir && *dir ? dir : "/tmp", (int)getpid(), name);
}

static long file_size(const char *path)
{
    FILE *f = fopen(path, "rb");
    if (!f) return -1;
    fseek(f, 0, SEEK_END);
    long n = ftell(f);
    fclose(f);
    return n;
}

/* KOVA_WAVE_OUT=file:PATH records what was played, volume applied; a second
 * device with the same PATH writes PATH.1. */
static void test_file_sink(void)
{
    char path[512], setting[600], second[600];
    temp_path(path, sizeof path, "sink.wav");
    snprintf(setting, sizeof setting, "file:%s", path);
    snprintf(second, sizeof second, "%s.1", path);
    setenv("KOVA_WAVE_OUT", setting, 1);

    WAVEFORMATEX f = pcm_format(2, 8000, 16);
    HWAVEOUT first = NULL, other = NULL;
    ok(waveOutOpen(&first, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL) == MMSYSERR_NOERROR, "open file device\n");
    ok(waveOutOpen(&other, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL) == MMSYSERR_NOERROR, "open second file device\n");
    ok(waveOutSetVolume(first, 0xFFFF8000) == MMSYSERR_NOERROR, "left half, right full\n");

    static int16_t samples[1600 * 2];  /* 200 ms of stereo */
    for (int i = 0; i < 1600; ++i) {
        samples[2 * i] = (int16_t)(i * 16 - 12800);
        samples[2 * i + 1] = (int16_t)(12800 - i * 16);
    }
    WAVEHDR hdr;
    memset(&hdr, 0, sizeof hdr);
    hdr.lpData = (LPSTR)samples;
    hdr.dwBufferLength = sizeof samples;
    waveOutPrepareHeader(first, &hdr, sizeof hdr);
    waveOutWrite(first, &hdr, sizeof hdr);
    DWORD start = GetTickCount();
    while (!(flags_of(&hdr) & WHDR_DONE) && GetTickCount() - start < 3000) Sleep(5);
    ok(hdr.dwFlags & WHDR_DONE, "played\n");
    waveOutUnprepareHeader(first, &hdr, sizeof hdr);
    ok(waveOutClose(first) == MMSYSERR_NOERROR, "close file device\n");
    ok(waveOutClose(other) == MMSYSERR_NOERROR, "close second file device\n");
    unsetenv("KOVA_WAVE_OUT");

    ok(file_size(path) == 44 + (long)sizeof samples, "file holds header and samples: %ld\n", file_size(path));
    ok(file_size(second) == 44, "second device wrote its own empty file: %ld\n", file_size(second));
    FILE *file = fopen(path, "rb");
    if (file) {
        unsigned char header[44];
        static int16_t played[1600 * 2];
        ok(fread(header, 1, 44, file) == 44 && fread(played, 1, sizeof played, file) == sizeof played, "read back\n");
        fclose(file);
        ok(memcmp(header, "RIFF", 4) == 0 && memcmp(header + 8, "WAVEfmt ", 8) == 0 && memcmp(header + 36, "data", 4) == 0,
           "WAV header\n");
        uint32_t data_size = header[40] | header[41] << 8 | header[42] << 16 | (uint32_t)header[43] << 24;
        ok(data_size == sizeof samples, "data size completed at close: %u\n", data_size);
        int wrong = 0;
        for (int i = 0; i < 1600; ++i) {
            if (played[2 * i] != (int16_t)(samples[2 * i] * 0x8000 / 0xFFFF)) ++wrong;
            if (played[2 * i + 1] != samples[2 * i + 1]) ++wrong;
        }
        ok(wrong == 0, "%d samples differ from volume x written\n", wrong);
    }
    remove(path);
    remove(second);
}

static void test_sink_choice(void)
{
    WAVEFORMATEX f = pcm_format(1, 8000, 16);
    HWAVEOUT hwo = NULL;

    setenv("KOVA_WAVE_OUT", "speakers", 1);
    ok(waveOutOpen(&hwo, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL) == MMSYSERR_NODRIVER, "unknown sink\n");

    setenv("KOVA_WAVE_OUT", "alsa", 1);
    MMRESULT rc = waveOutOpen(&hwo, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL);
    ok(rc == MMSYSERR_NOERROR || rc == MMSYSERR_NODRIVER, "alsa opens or has no driver: %u\n", rc);
    if (rc == MMSYSERR_NOERROR) {
        trace("an ALSA device is present\n");
        static char data[1600];  /* 100 ms of silence */
        WAVEHDR hdr;
        memset(&hdr, 0, sizeof hdr);
        hdr.lpData = data;
        hdr.dwBufferLength = sizeof data;
        waveOutPrepareHeader(hwo, &hdr, sizeof hdr);
        ok(waveOutWrite(hwo, &hdr, sizeof hdr) == MMSYSERR_NOERROR, "write to alsa device\n");
        DWORD start = GetTickCount();
        while (!(flags_of(&hdr) & WHDR_DONE) && GetTickCount() - start < 3000) Sleep(5);
        ok(flags_of(&hdr) & WHDR_DONE, "alsa device plays\n");
        waveOutUnprepareHeader(hwo, &hdr, sizeof hdr);
        ok(waveOutClose(hwo) == MMSYSERR_NOERROR, "close alsa device\n");
    }
    unsetenv("KOVA_WAVE_OUT");
}
#endif

START_TEST(winmm_waveout)
{
    if (wintest_is_wine()) trace("running under Wine\n");
    ok(waveOutGetNumDevs() >= 1 || !wintest_is_layer(), "the layer has a device\n");
    HWAVEOUT hwo = (HWAVEOUT)0x1;
    WAVEFORMATEX f = pcm_format(1, 8000, 16);
    ok(waveOutOpen(&hwo, 1234, &f, 0, 0, CALLBACK_NULL) == MMSYSERR_BADDEVICEID, "bad device id\n");
    test_formats();
    test_thread_callback();
    test_null_callback_and_volume();
#ifndef _WIN32
    test_file_sink();
    test_sink_choice();
#endif
}
