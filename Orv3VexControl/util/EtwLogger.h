// The event-trace logger: one provider per process, loggers by keyword in a registry, and
// scoped enter and leave records.
#pragma once

#include "Platform.h"

#include <atomic>
#include <cstdint>

namespace Util {

// The provider registration and what the last enable notification said. The notification
// arrives on a thread of the system's while hosts' threads test the level, so what it says is
// kept in atomics; enabled is written last.
struct EtwProvider {
    REGHANDLE handle;
    std::atomic<bool> enabled;
    std::atomic<UCHAR> level;
    std::atomic<ULONGLONG> matchAnyKeyword;
};

class ILogger {
public:
    virtual ~ILogger() = default;
    virtual bool IsEnabled(UCHAR level) const noexcept = 0;
    // Writes one record; a record that cannot be formatted or written is dropped.
    virtual void Log(UCHAR level, const WString& file, int line, const WString& function,
                     const WString& message) const noexcept = 0;
};

class EtwLogger final : public ILogger {
public:
    EtwLogger(EtwProvider* provider, ULONGLONG keyword, WString name = WString());
    bool IsEnabled(UCHAR level) const noexcept override;
    void Log(UCHAR level, const WString& file, int line, const WString& function,
             const WString& message) const noexcept override;

private:
    EtwProvider* m_provider;
    ULONGLONG m_keyword;
    WString m_name;
};

// The logger for the key (created on first use; valid until the library unloads).
EtwLogger& GetLogger(ULONGLONG key);

// True once the logger is gone (the library is unloading); nothing is logged then.
bool LoggingEnded();

// The logger for scope records, or null once the logger is gone (or cannot be had).
const ILogger* ScopeLogger() noexcept;

// The system message text of a code without its line break, or "IDispatch error #n" or
// "Unknown error 0x..." when the system has none.
WString GetErrorText(HRESULT code);

// Nothing a scope does ends the host: an "Enter" or " Leave" record that cannot be formatted
// is dropped.
class LogScope {
public:
    LogScope(const ILogger* logger, const char* file, int line, const WCHAR* function) noexcept;
    LogScope(const LogScope&) = delete;
    LogScope& operator=(const LogScope&) = delete;
    ~LogScope() noexcept;

private:
    const ILogger* m_logger;
    const char* m_file;
    int m_line;
    const WCHAR* m_function;
};

}  // namespace Util
