/* Log lines and guarded library calls of GE_DecoderHIK, shared by its
 * source files. Every line names the source file and line of the statement
 * that writes it, and the decoder's camera name. */
#ifndef KOVA_GE_DECODERHIKLOG_H
#define KOVA_GE_DECODERHIKLOG_H

#include "support/FaultGuard.h"
#include "support/Log.h"

/* One line of a decoder operation: "[GE_PlayerCtrl] file line, CameraName
 * is name: " and the text. */
#define HIK_LOG(text, ...)                                                               \
    WriteLog("[GE_PlayerCtrl] %s %d, CameraName is %s: " text, __FILE__, __LINE__,      \
             cameraName.c_str(), ##__VA_ARGS__)

/* Runs one library call (a statement that keeps its result in the
 * operation's result variable) under the fault guard. A fault leaves the
 * result variable as it was and writes the call's "Throw Exception" line
 * with the system's last error. */
#define HIK_GUARDED(name, ...)                                                           \
    do {                                                                                 \
        if (!kova::RunGuarded([&] { __VA_ARGS__; }))                                     \
            HIK_LOG("Call " name " Throw Exception,LastError:%d.", (int)GetLastError()); \
    } while (0)

#endif
