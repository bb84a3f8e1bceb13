// The one-line way to write a record: VEX_LOG(level, "Class::Function", "format", args...).
// It asks the logger whether the level is wanted before anything is formatted, and names the
// source file by its own name (never a build machine's directories).
#pragma once

#include "EtwLogger.h"
#include "Format.h"

// A source file may name the record family it belongs to before including this header.
#ifndef VEX_LOG_FILE
#define VEX_LOG_FILE __FILE_NAME__
#endif

namespace Util {

inline constexpr UCHAR kLevelError = 2;
inline constexpr UCHAR kLevelWarning = 3;
inline constexpr UCHAR kLevelInformation = 4;
inline constexpr UCHAR kLevelVerbose = 5;

// The keyword (and registry key) of every logger the library uses.
inline constexpr ULONGLONG kLibraryKeyword = 0x400;

// True when a record at this level would reach a trace session.
bool LogEnabled(UCHAR level);

// Formats and writes one record; the caller has asked LogEnabled.
void WriteRecord(UCHAR level, const char* file, int line, const WCHAR* function,
                 const WString& message);

// Writes a record when its level is wanted. Nothing it does ends the caller's operation: a
// record that cannot be formatted (out of memory) is dropped.
template <typename... Args>
void LogAt(UCHAR level, const char* file, int line, const WCHAR* function, const WCHAR* format,
           const Args&... args) noexcept {
    try {
        if (!LogEnabled(level)) {
            return;
        }
        WriteRecord(level, file, line, function, Format(format, args...));
    } catch (...) {
        // Dropped.
    }
}

// Writes the record of a failure where it happens and gives its code back. The format ends in
// "[0x%.8x]%s", which take the code and its system text after the other arguments.
template <typename... Args>
HRESULT LogFailure(UCHAR level, const char* file, int line, const WCHAR* function, HRESULT hr,
                   const WCHAR* format, const Args&... args) noexcept {
    LogAt(level, file, line, function, format, args..., hr, ErrorText{hr});
    return hr;
}

}  // namespace Util

#define VEX_LOG(level, function, format, ...)                    \
    ::Util::LogAt(level, VEX_LOG_FILE, __LINE__, TEXT(function), \
                  TEXT(format) __VA_OPT__(, ) __VA_ARGS__)

// The record of a failure, for `return VEX_FAIL(level, "Class::Function", hr, "format", args...)`:
// the format ends in "[0x%.8x]%s", which take `hr` and its system text; the result is `hr`.
#define VEX_FAIL(level, function, hr, format, ...)                        \
    ::Util::LogFailure(level, VEX_LOG_FILE, __LINE__, TEXT(function), hr, \
                       TEXT(format) __VA_OPT__(, ) __VA_ARGS__)

// Writes "Enter" now and " Leave" when the enclosing scope ends, at the verbose level.
#define VEX_LOG_SCOPE(function) \
    ::Util::LogScope vexLogScope_(::Util::ScopeLogger(), VEX_LOG_FILE, __LINE__, TEXT(function))
