// The endpoint-effect route: property-store sessions, catalogued parameter writes and reads,
// and the endpoint form factor.
#include "ApoController.h"

#include "conversion/ParameterConversion.h"
#include "parameters/Guids.h"
#include "parameters/ParameterTable.h"
#include "util/ComPtr.h"
#include "util/GuidText.h"
#include "util/Log.h"
#include "util/ScopedPropVariant.h"
#include "util/TextKey.h"
#include "util/Unload.h"

#include <cstdint>
#include <cstring>
#include <map>
#include <string_view>

namespace {

// One endpoint's open property store, shared by every handle on the endpoint. The library holds
// one reference to the store and counts the opens itself: whoever else holds the same store
// (the endpoint object, the audio service, another component of the host) is none of its
// business, so the store's own reference count says nothing about the session.
struct StoreSession {
    ComPtr<IPropertyStore> store;
    ULONG opens = 1;
};

// The open sessions by endpoint id (exact, case-sensitive match). Whatever is still open when
// the library unloads is given back then.
class StoreSessionTable {
public:
    StoreSessionTable() = default;
    StoreSessionTable(const StoreSessionTable&) = delete;
    StoreSessionTable& operator=(const StoreSessionTable&) = delete;
    ~StoreSessionTable() {
        for (auto& [id, session] : m_sessions) {
            Util::ReleaseAtUnload(session.store);
        }
    }

    // Looked up by the caller's text as it is, without a copy of it.
    using Map = std::map<WString, StoreSession, Util::TextKeyLess>;

    // The session of an endpoint, or nullptr. A host mostly talks to one endpoint at a time,
    // so the session found last is tried first.
    StoreSession* Find(std::basic_string_view<WCHAR> endpointId) {
        if (m_last != m_sessions.end() && Util::SameText(m_last->first, endpointId)) {
            return &m_last->second;
        }
        const auto it = m_sessions.find(endpointId);
        if (it == m_sessions.end()) {
            return nullptr;
        }
        m_last = it;
        return &it->second;
    }
    void Add(const WCHAR* endpointId, StoreSession session) {
        m_sessions.emplace(endpointId, std::move(session));
    }
    void Remove(std::basic_string_view<WCHAR> endpointId) {
        const auto it = m_sessions.find(endpointId);
        if (it == m_sessions.end()) {
            return;
        }
        if (it == m_last) {
            m_last = m_sessions.end();
        }
        m_sessions.erase(it);
    }

private:
    Map m_sessions;
    Map::iterator m_last = m_sessions.end();
};

StoreSessionTable ApoSessionTable;

constexpr PROPERTYKEY kFormFactorKey = Guids::kPkeyAudioEndpointFormFactor;
constexpr PROPERTYKEY kFormFactorOverrideKey = {Guids::kFormFactorOverrideSet, 0};

constexpr ULONG kFormFactorSpeakers = 1;
constexpr ULONG kFormFactorHeadphones = 3;
constexpr ULONG kFormFactorHeadset = 5;
constexpr ULONG kFormFactorUnknown = 10;

ULONGLONG PointerValue(const void* pointer) {
    return static_cast<ULONGLONG>(reinterpret_cast<uintptr_t>(pointer));
}

IPropertyStore* FindStore(EndpointId endpointId) {
    const StoreSession* session = ApoSessionTable.Find(endpointId.View());
    return session == nullptr ? nullptr : session->store.Get();
}

// What a set or a get of a parameter goes through: the endpoint's store and the catalogue entry.
struct ParameterTarget {
    IPropertyStore* store = nullptr;
    EndpointParameterInfo info{};
};

// Finds the store and the entry; E_FAIL, with its record, when the endpoint has no session or
// the id is not catalogued.
HRESULT ResolveParameter(const WCHAR* function, EndpointId endpointId, LONG id,
                         ParameterTarget* target) {
    target->store = FindStore(endpointId);
    if (target->store == nullptr) {
        Util::LogAt(Util::kLevelError, VEX_LOG_FILE, __LINE__, function,
                    TEXT("Property store for device[%s] is not opened."), endpointId.Text());
        return E_FAIL;
    }
    target->info = LookupEndpointParameter(id);
    if (!target->info.found) {
        Util::LogAt(Util::kLevelError, VEX_LOG_FILE, __LINE__, function,
                    TEXT("Parameter id[%d] is not valid"), id);
        return E_FAIL;
    }
    return S_OK;
}

// Records a set or a get ("Set" or "Get") of a property: the value on success, the code on
// failure. The value is rendered only when the record is wanted.
void LogPropertyAccess(const WCHAR* function, const WCHAR* verb, const EndpointParameterInfo& info,
                       LONG id, HRESULT hr, const PROPVARIANT& value) {
    if (SUCCEEDED(hr)) {
        if (Util::LogEnabled(Util::kLevelInformation)) {
            Util::LogAt(Util::kLevelInformation, VEX_LOG_FILE, __LINE__, function,
                        TEXT("%s property key [%s, %s, %d]: %s"), verb, info.name,
                        Util::GuidText(info.key.fmtid), info.key.pid,
                        FormatParameterValue(id, value));
        }
    } else {
        Util::LogFailure(Util::kLevelWarning, VEX_LOG_FILE, __LINE__, function, hr,
                         TEXT("%s property key [%s, %s, %d] failed: [0x%.8x]%s"), verb, info.name,
                         Util::GuidText(info.key.fmtid), info.key.pid);
    }
}

}  // namespace

HRESULT ApoController::Open(EndpointId endpoint) {
    const WCHAR* endpointId = endpoint.Text();
    StoreSession* existing = ApoSessionTable.Find(endpoint.View());
    if (existing != nullptr) {
        VEX_LOG(Util::kLevelInformation, "ApoController::Open",
                "Property store for device[%s] is already opened, AddRef() called.", endpointId);
        ++existing->opens;
        return S_OK;
    }

    ComPtr<IMMDeviceEnumerator> enumerator;
    HRESULT hr = CoCreateInstance(Guids::kClsidMMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                  Guids::kIidIMMDeviceEnumerator, enumerator.ReceiveVoid());
    if (FAILED(hr)) {
        return VEX_FAIL(Util::kLevelError, "ApoController::Open", hr,
                        "Failed to create device enumerator: [0x%.8x]%s");
    }
    ComPtr<IMMDevice> device;
    hr = enumerator->GetDevice(endpointId, device.Receive());
    if (FAILED(hr)) {
        return VEX_FAIL(Util::kLevelError, "ApoController::Open", hr,
                        "Failed to find device[%s]: [0x%.8x]%s", endpointId);
    }
    ComPtr<IPropertyStore> store;
    hr = device->OpenPropertyStore(STGM_READWRITE, store.Receive());
    HRESULT result = S_OK;
    if (FAILED(hr)) {
        VEX_FAIL(Util::kLevelWarning, "ApoController::Open", hr,
                 "Failed to open property store in read write mode, try read only mode again: "
                 "[0x%.8x]%s");
        hr = device->OpenPropertyStore(STGM_READ, store.Receive());
        if (FAILED(hr)) {
            return VEX_FAIL(Util::kLevelError, "ApoController::Open", hr,
                            "Failed to open property store in read only mode: [0x%.8x]%s");
        }
        result = S_FALSE;
    }
    const ULONGLONG pointer = PointerValue(store.Get());
    ApoSessionTable.Add(endpointId, StoreSession{std::move(store)});
    VEX_LOG(Util::kLevelInformation, "ApoController::Open",
            "Property store for device[%s] is [0x%.16llx]", endpointId, pointer);
    return result;
}

HRESULT ApoController::Close(EndpointId endpoint) {
    const WCHAR* endpointId = endpoint.Text();
    StoreSession* session = ApoSessionTable.Find(endpoint.View());
    if (session == nullptr) {
        VEX_LOG(Util::kLevelWarning, "ApoController::Close",
                "Property store for device[%s] is not opened.", endpointId);
        return S_OK;
    }
    const ULONGLONG pointer = PointerValue(session->store.Get());
    VEX_LOG(Util::kLevelInformation, "ApoController::Close",
            "Property store[0x%.16llx] for device[%s] Release() called.", pointer, endpointId);
    if (--session->opens != 0) {
        return S_OK;
    }
    VEX_LOG(Util::kLevelInformation, "ApoController::Close",
            "Property store[0x%.16llx] for device[%s] is closed", pointer, endpointId);
    ApoSessionTable.Remove(endpoint.View());
    return S_OK;
}

HRESULT ApoController::SetParameter(EndpointId endpointId, LONG id, const PROPVARIANT& value) {
    const WCHAR* const function = TEXT("ApoController::SetParameter");
    ParameterTarget target;
    const HRESULT found = ResolveParameter(function, endpointId, id, &target);
    if (FAILED(found)) {
        return found;
    }
    // The value is handed to the store; nothing is committed.
    const HRESULT hr = target.store->SetValue(target.info.key, value);
    LogPropertyAccess(function, TEXT("Set"), target.info, id, hr, value);
    return hr;
}

HRESULT ApoController::GetParameter(EndpointId endpointId, LONG id, PROPVARIANT* value) {
    const WCHAR* const function = TEXT("ApoController::GetParameter");
    ParameterTarget target;
    const HRESULT found = ResolveParameter(function, endpointId, id, &target);
    if (FAILED(found)) {
        return found;
    }
    const HRESULT hr = target.store->GetValue(target.info.key, value);
    LogPropertyAccess(function, TEXT("Get"), target.info, id, hr, *value);
    return hr;
}

ULONG ApoController::GetFormFactor(EndpointId endpointId) {
    IPropertyStore* store = FindStore(endpointId);
    if (store == nullptr) {
        VEX_LOG(Util::kLevelError, "ApoController::GetFormFactor",
                "Property store for device[%s] is not opened.", endpointId.Text());
        return kFormFactorUnknown;
    }
    ScopedPropVariant value;
    HRESULT hr = store->GetValue(kFormFactorKey, value.Receive());
    if (FAILED(hr)) {
        VEX_FAIL(Util::kLevelError, "ApoController::GetFormFactor", hr,
                 "Get audio endpoint form factor failed. [0x%.8x]%s");
        return kFormFactorUnknown;
    }
    // Both properties are taken as 32-bit values, whatever type they carry.
    ULONG formFactor = value.Get().ulVal;
    VEX_LOG(Util::kLevelInformation, "ApoController::GetFormFactor", "formFactor = [%d]",
            formFactor);
    if (formFactor == kFormFactorHeadset) {
        formFactor = kFormFactorHeadphones;
        VEX_LOG(Util::kLevelInformation, "ApoController::GetFormFactor",
                "Headset will be considered as headphone, formFactor changes to [%d]", formFactor);
    }
    hr = store->GetValue(kFormFactorOverrideKey, value.Receive());
    if (hr != S_OK || value.Type() == VT_EMPTY) {
        return formFactor;
    }
    const ULONG override = value.Get().ulVal;
    VEX_LOG(Util::kLevelInformation, "ApoController::GetFormFactor", "FormFactorOverride = [%d]",
            override);
    if (override == 0) {
        return formFactor;
    }
    return override == kFormFactorHeadphones ? kFormFactorHeadphones : kFormFactorSpeakers;
}
