/* Log lines, port checks and guarded library calls of GE_DecoderHIK,
 * shared by its source files. Every line names the source file and line of
 * the statement that writes it, and the decoder's camera name: these are
 * macros so that __FILE__ and __LINE__ are the caller's. A line written
 * through an argument (the `noPortLine` and `onFail` below) names the line
 * where that HIK_LOG stands; the fault line of HIK_GUARDED names the line
 * where HIK_GUARDED stands. */
#ifndef KOVA_GE_DECODERHIKLOG_H
#define KOVA_GE_DECODERHIKLOG_H

#include "support/FaultGuard.h"
#include "support/Log.h"

/* m_hPlayHandle without a play port. */
constexpr LONG kNoPort = -1;

/* One line of a decoder operation: "[GE_PlayerCtrl] file line, CameraName
 * is name: " and the text. */
#define HIK_LOG(text, ...)                                                               \
    WriteLog("[GE_PlayerCtrl] %s %d, CameraName is %s: " text, __FILE__, __LINE__,      \
             cameraName.c_str(), ##__VA_ARGS__)

/* Opens an operation that needs a play port: without one, runs
 * `noPortLine` (the operation's HIK_LOG line) and returns 1. */
#define HIK_NEED_PORT(noPortLine)           \
    do {                                    \
        if (m_hPlayHandle == kNoPort) {     \
            noPortLine;                     \
            return 1;                       \
        }                                   \
    } while (0)

/* HIK_GUARDED(name, statement[, onFail]): runs one library call (a
 * statement that keeps its value in a variable of the operation, for most
 * calls `result`) under the fault guard. A fault leaves that variable as it
 * was and writes the call's "Throw Exception" line with the system's last
 * error. With `onFail` (the call's HIK_LOG "Fail" line), that runs when
 * `result` is false afterwards: after a refusal, or after a fault when the
 * operation's previous guarded call left it false. */
#define HIK_GUARDED(...) \
    HIK_GUARDED_PICK_(__VA_ARGS__, HIK_GUARDED_OR_, HIK_GUARDED_ONLY_, unused)(__VA_ARGS__)

#define HIK_GUARDED_PICK_(name, statement, onFail, chosen, ...) chosen

#define HIK_GUARDED_ONLY_(name, statement)                                               \
    do {                                                                                 \
        if (!kova::RunGuarded([&] { statement; }))                                       \
            HIK_LOG("Call " name " Throw Exception,LastError:%d.", (int)GetLastError()); \
    } while (0)

#define HIK_GUARDED_OR_(name, statement, onFail) \
    do {                                         \
        HIK_GUARDED_ONLY_(name, statement);      \
        if (!result)                             \
            onFail;                              \
    } while (0)

#endif
