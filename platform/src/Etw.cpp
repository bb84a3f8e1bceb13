// Event tracing: provider registration and string records, and the in-process trace controller
// that plays the part of a trace session.
#include <windows.h>
#include <evntprov.h>

#include "vexplat/tracecontroller.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Registration {
    GUID provider;
    PENABLECALLBACK callback;
    void* context;
};

struct Session {
    UCHAR level = 0;
    ULONGLONG matchAny = 0;
};

struct KeptRecord {
    GUID provider;
    UCHAR level;
    ULONGLONG keyword;
    std::u16string text;
};

struct GuidLess {
    bool operator()(const GUID& a, const GUID& b) const {
        return std::memcmp(&a, &b, sizeof(GUID)) < 0;
    }
};

struct EtwState {
    // The lock guards the tables; callbacks run outside it, as a session's notifications
    // arrive on a thread of their own without holding the provider's locks.
    std::mutex lock;
    std::map<REGHANDLE, Registration> registrations;
    std::map<GUID, Session, GuidLess> sessions;
    std::vector<std::unique_ptr<KeptRecord>> records;
    REGHANDLE nextHandle = 1;
};

EtwState& State() {
    static EtwState* state = new EtwState();  // lives as long as the process
    return *state;
}

// Sends a control code to every registration of the provider.
void Notify(REFGUID provider, ULONG code, UCHAR level, ULONGLONG matchAny) {
    std::vector<Registration> targets;
    {
        std::lock_guard<std::mutex> guard(State().lock);
        for (const auto& [handle, registration] : State().registrations) {
            if (IsEqualGUID(registration.provider, provider)) {
                targets.push_back(registration);
            }
        }
    }
    // As on Windows, the notifications arrive on a thread of their own, never the
    // controller's; the controller waits until they have been delivered.
    std::thread notifier([&targets, code, level, matchAny] {
        for (const Registration& target : targets) {
            if (target.callback != nullptr) {
                target.callback(&target.provider, code, level, matchAny, 0, nullptr,
                                target.context);
            }
        }
    });
    notifier.join();
}

}  // namespace

extern "C" ULONG EventRegister(const GUID* providerId, PENABLECALLBACK enableCallback,
                               void* callbackContext, PREGHANDLE handle) {
    if (providerId == nullptr || handle == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    bool enabled = false;
    Session session;
    {
        std::lock_guard<std::mutex> guard(State().lock);
        *handle = State().nextHandle++;
        State().registrations[*handle] = Registration{*providerId, enableCallback, callbackContext};
        auto it = State().sessions.find(*providerId);
        if (it != State().sessions.end()) {
            enabled = true;
            session = it->second;
        }
    }
    // A provider that registers while a session wants it hears the enable at once.
    if (enabled && enableCallback != nullptr) {
        enableCallback(providerId, EVENT_CONTROL_CODE_ENABLE_PROVIDER, session.level,
                       session.matchAny, 0, nullptr, callbackContext);
    }
    return ERROR_SUCCESS;
}

extern "C" ULONG EventUnregister(REGHANDLE handle) {
    std::lock_guard<std::mutex> guard(State().lock);
    return State().registrations.erase(handle) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

extern "C" ULONG EventWriteString(REGHANDLE handle, UCHAR level, ULONGLONG keyword, PCWSTR text) {
    std::lock_guard<std::mutex> guard(State().lock);
    auto reg = State().registrations.find(handle);
    if (reg == State().registrations.end()) {
        return ERROR_INVALID_HANDLE;
    }
    auto session = State().sessions.find(reg->second.provider);
    if (session == State().sessions.end()) {
        return ERROR_SUCCESS;
    }
    const bool levelWanted = session->second.level == 0 || level <= session->second.level;
    const bool keywordWanted = keyword == 0 || (keyword & session->second.matchAny) != 0;
    if (levelWanted && keywordWanted) {
        State().records.push_back(std::make_unique<KeptRecord>(
            KeptRecord{reg->second.provider, level, keyword, text != nullptr ? text : u""}));
    }
    return ERROR_SUCCESS;
}

extern "C" void VexTraceEnable(REFGUID provider, UCHAR level, ULONGLONG matchAnyKeyword) {
    {
        std::lock_guard<std::mutex> guard(State().lock);
        State().sessions[provider] = Session{level, matchAnyKeyword};
    }
    Notify(provider, EVENT_CONTROL_CODE_ENABLE_PROVIDER, level, matchAnyKeyword);
}

extern "C" void VexTraceDisable(REFGUID provider) {
    {
        std::lock_guard<std::mutex> guard(State().lock);
        State().sessions.erase(provider);
    }
    Notify(provider, EVENT_CONTROL_CODE_DISABLE_PROVIDER, 0, 0);
}

extern "C" void VexTraceCaptureState(REFGUID provider) {
    Session session;
    {
        std::lock_guard<std::mutex> guard(State().lock);
        auto it = State().sessions.find(provider);
        if (it != State().sessions.end()) {
            session = it->second;
        }
    }
    Notify(provider, EVENT_CONTROL_CODE_CAPTURE_STATE, session.level, session.matchAny);
}

extern "C" ULONG VexTraceRecordCount() {
    std::lock_guard<std::mutex> guard(State().lock);
    return static_cast<ULONG>(State().records.size());
}

extern "C" BOOL VexTraceGetRecord(ULONG index, VexTraceRecord* record) {
    std::lock_guard<std::mutex> guard(State().lock);
    if (record == nullptr || index >= State().records.size()) {
        return FALSE;
    }
    const KeptRecord& kept = *State().records[index];
    *record = VexTraceRecord{kept.provider, kept.level, kept.keyword, kept.text.c_str()};
    return TRUE;
}

extern "C" void VexTraceClear() {
    std::lock_guard<std::mutex> guard(State().lock);
    State().records.clear();
}

extern "C" void VexTraceStop() {
    std::vector<GUID> providers;
    {
        std::lock_guard<std::mutex> guard(State().lock);
        for (const auto& [provider, session] : State().sessions) {
            providers.push_back(provider);
        }
    }
    for (const GUID& provider : providers) {
        VexTraceDisable(provider);
    }
    VexTraceClear();
}
