/* A scripted stand-in for the PlayM4 player and the Auralin sound-in
 * library, for tests of the vendor decoder.
 *
 * The test program defines every PlayM4_* function and the three
 * TARVIK_AUDIO_* functions the decoder calls (FakeVendorLibs.cpp). A
 * program's own definitions come before those of the shared libraries it
 * links, so the decoder's calls land here although the core is linked
 * against the real libraries: the product code calls the libraries by name
 * and knows nothing of the fake.
 *
 * Every call is recorded with its arguments. By default every call
 * succeeds: PlayM4_GetPort hands out the port set with SetNextPort (7),
 * PlayM4_GetPictureSize the size set with SetPictureSize (704 x 576),
 * PlayM4_GetPlayedFrames the count set with SetPlayedFrames (0). Script()
 * makes the next calls of one function fail (return 0, and set the code
 * PlayM4_GetLastError reports), throw a C++ exception, or write through a
 * null pointer (a real SIGSEGV); before throwing or faulting the fake sets
 * the system's last error (SetLastError) to the given code. */
#ifndef KOVA_TESTS_FAKEVENDORLIBS_H
#define KOVA_TESTS_FAKEVENDORLIBS_H

#include <string>
#include <vector>

#include "platform/win32.h"

#include "PlayM4.h"

namespace fake {

enum class Outcome {
    Succeed,
    Fail,     /* returns 0 (GetPort also writes -1) */
    Throw,    /* throws std::runtime_error */
    NullWrite /* writes through a null pointer */
};

struct Call {
    std::string name;
    std::vector<long long> args;      /* integer arguments, pointers as their values */
    std::vector<unsigned char> data;  /* bytes of a buffer argument */
    std::string text;                 /* a path argument, or "null"/"set" for pointers */
};

/* Forgets every call, script and installed callback; back to the defaults. */
void Reset();

/* The next `times` calls of `name` (-1: every call) have `outcome`. For
 * Fail, `code` is what PlayM4_GetLastError reports afterwards; for Throw
 * and NullWrite it is set with SetLastError first. */
void Script(const std::string &name, Outcome outcome, int times = 1, DWORD code = 0);

void SetNextPort(LONG port);
void SetPictureSize(LONG width, LONG height);
void SetPlayedFrames(DWORD frames);

std::vector<Call> Calls();
/* The names of the calls, in order. */
std::vector<std::string> Names();
/* The calls of one function, in order. */
std::vector<Call> CallsOf(const std::string &name);
void ClearCalls();

/* The display callback installed on the port, or null. */
PLAYM4_DISPLAY_CALLBACK InstalledCallback(LONG port);

}  // namespace fake

#endif
