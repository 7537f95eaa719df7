// The diagnostic log file and the debugger trace channel.
#pragma once
#include <cstdarg>
#include <string>

#include "platform/win_types.h"

constexpr size_t kLogLineSize = 1000;
constexpr size_t kLogPathSize = 264;

// Sets the file to append to and whether logging is on.
void SetLogFile(const char* path, BOOL enabled);
bool IsLogEnabled();
std::string GetLogFilePath();

// One time-stamped line, ended by CR LF.
void LogMessage(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// The same without the CR LF, for texts that carry their own line break.
void LogMessageRaw(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// "%s() : %s" to the log, then the system's text for the last error.
void LogError(const char* operation, const char* text);
// The same content to the debugger output stream, whether the log is on or not.
void TraceError(const char* operation, const char* text);
