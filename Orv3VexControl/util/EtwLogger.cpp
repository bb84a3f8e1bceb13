// The event-trace logger: the provider registration, the logger registry and the records.
#include "EtwLogger.h"

#include "SystemGuids.h"
#include "Format.h"
#include "Log.h"
#include "ScopedLocalMem.h"

#include <map>
#include <mutex>

namespace Util {

namespace {

// The longest record handed to EventWriteString, in code units. An event carries at most
// 64 KB with its headers; longer records are cut to this length and marked.
constexpr size_t kMaxRecordUnits = 30000;
const WCHAR kCutMark[] = TEXT(" [record cut]");

// The control code of an enable notification (0 disables, 2 asks for a capture of state).
constexpr ULONG kControlCodeEnableProvider = 1;

void NTAPI EnableCallback(const GUID* /*sourceId*/, ULONG controlCode, UCHAR level,
                          ULONGLONG matchAnyKeyword, ULONGLONG /*matchAllKeyword*/,
                          PEVENT_FILTER_DESCRIPTOR /*filterData*/, void* context) {
    auto* provider = static_cast<EtwProvider*>(context);
    if (provider == nullptr) {
        return;
    }
    // This runs on a thread of the system's while hosts' threads read the fields: enabled is
    // stored last, so a reader that sees it set sees this notification's level and keywords.
    provider->level.store(level);
    provider->matchAnyKeyword.store(matchAnyKeyword);
    provider->enabled.store(controlCode == kControlCodeEnableProvider);
}

// Everything the logger keeps for the process. It lives from the first log call until the
// library unloads; a trivially destructible flag tells late callers that it is gone.
bool g_loggingEnded = false;

struct LoggingState {
    std::mutex mutex;
    EtwProvider provider{};
    std::map<ULONGLONG, EtwLogger> loggers;

    LoggingState() {
        EventRegister(&Guids::kTraceProvider, EnableCallback, &provider, &provider.handle);
    }
    ~LoggingState() {
        if (provider.handle != 0) {
            EventUnregister(provider.handle);
            provider.handle = 0;
        }
        g_loggingEnded = true;
    }
};

LoggingState& State() {
    static LoggingState state;
    return state;
}

// A logger without a provider: what callers get once the library is unloading.
EtwLogger& SilentLogger() {
    static EtwLogger silent(nullptr, 0);
    return silent;
}

}  // namespace

bool LoggingEnded() {
    return g_loggingEnded;
}

const ILogger* ScopeLogger() noexcept {
    try {
        return g_loggingEnded ? nullptr : &GetLogger(kLibraryKeyword);
    } catch (...) {
        return nullptr;  // the registry could not be made: the scope writes nothing
    }
}

EtwLogger::EtwLogger(EtwProvider* provider, ULONGLONG keyword, WString name)
    : m_provider(provider), m_keyword(keyword), m_name(std::move(name)) {}

bool EtwLogger::IsEnabled(UCHAR level) const noexcept {
    return m_provider != nullptr && m_provider->handle != 0 && m_provider->enabled &&
           level <= m_provider->level && (m_keyword & m_provider->matchAnyKeyword) != 0;
}

void EtwLogger::Log(UCHAR level, const WString& file, int line, const WString& function,
                    const WString& message) const noexcept {
    if (m_provider == nullptr) {
        return;
    }
    try {
        const WString text = m_name.empty() ? message : m_name + message;
        if (m_provider->handle == 0) {
            return;
        }
        const size_t slash = file.find_last_of(u'\\');
        const WString filePart = slash == WString::npos ? file : file.substr(slash + 1);
        const WString head = line > 0 ? Format(TEXT("[%s:%d] %s"), filePart, line, function)
                                      : Format(TEXT("[%s] %s"), filePart, function);
        WString record = Format(TEXT("%s: %s"), head, text);
        if (record.size() > kMaxRecordUnits) {
            const size_t markLength = sizeof(kCutMark) / sizeof(kCutMark[0]) - 1;
            record.resize(kMaxRecordUnits - markLength);
            record += kCutMark;
        }
        EventWriteString(m_provider->handle, level, m_keyword, record.c_str());
    } catch (...) {
        // The record could not be formatted (out of memory): it is dropped.
    }
}

EtwLogger& GetLogger(ULONGLONG key) {
    if (g_loggingEnded) {
        return SilentLogger();
    }
    LoggingState& state = State();
    std::lock_guard<std::mutex> guard(state.mutex);
    auto it = state.loggers.find(key);
    if (it == state.loggers.end()) {
        it = state.loggers.emplace(key, EtwLogger(&state.provider, key)).first;
    }
    return it->second;
}

WString GetErrorText(HRESULT code) {
    ScopedLocalMem<WCHAR> buffer;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<LPWSTR>(buffer.Receive()), 0, nullptr);
    if (length > 0 && buffer.Get() != nullptr) {
        WString text(buffer.Get(), length);
        if (text.size() >= 2 && text.back() == u'\n') {
            text.pop_back();
            if (!text.empty() && text.back() == u'\r') {
                text.pop_back();
            }
        }
        return text;
    }
    const uint32_t bits = static_cast<uint32_t>(code);
    if (bits > 0x80040200u && bits <= 0x8004FFFFu) {
        return Format(TEXT("IDispatch error #%d"), static_cast<int>(bits - 0x80040200u));
    }
    return Format(TEXT("Unknown error 0x%0lX"), bits);
}

LogScope::LogScope(const ILogger* logger, const char* file, int line,
                   const WCHAR* function) noexcept
    : m_logger(logger), m_file(file), m_line(line), m_function(function) {
    if (m_logger == nullptr || !m_logger->IsEnabled(kLevelVerbose)) {
        return;
    }
    try {
        m_logger->Log(kLevelVerbose, Widen(m_file), m_line, m_function, TEXT("Enter"));
    } catch (...) {
        // The record could not be formatted: it is dropped.
    }
}

LogScope::~LogScope() noexcept {
    if (m_logger == nullptr || g_loggingEnded || !m_logger->IsEnabled(kLevelVerbose)) {
        return;
    }
    try {
        const WString leave = Format(TEXT("%s Leave"), TEXT(""));
        m_logger->Log(kLevelVerbose, Widen(m_file), -1, m_function, leave);
    } catch (...) {
        // The record could not be formatted: it is dropped, and the scope ends as it would.
    }
}

}  // namespace Util
