/* The instance handle the exported functions hand to the client (as an
 * opaque pointer) and receive back. */
#ifndef KOVA_API_DECODEHANDLER_H
#define KOVA_API_DECODEHANDLER_H

#include "platform/win32.h"

class CPrivateVideoDecoder;

class DecodeHandler {
public:
    /* Does not delete the facade: KOVA_ReleaseInstance destroys the facade
     * first, then the handle. */
    virtual ~DecodeHandler() = default;

    CPrivateVideoDecoder *decoder = nullptr; /* owned; null after release */
    LONG width = 352;                        /* handed to InitPlay; never changed */
    LONG height = 288;
};

#endif
