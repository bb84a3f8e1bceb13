#include "DspController.h"

#include "TembraDspDrova.h"
#include "util/Log.h"
#include "util/ScopedBstr.h"

#include <map>

namespace {

using Util::kLevelInformation;
using Util::kLevelWarning;

struct DspSession {
    LONG mainModule = DspController::kNoModule;
    LONG lowLatencyModule = DspController::kNoModule;
};

// The version label of the module that serves the main processing.
constexpr const WCHAR* kMainModuleLabel = TEXT("2.10.0-lite");

CTembraDspDrova TembraDspDriver;
std::map<WString, DspSession> DspSessionTable;

bool InRange(LONG id, LONG first, LONG last) {
    return id >= first && id <= last;
}

bool SameBstr(BSTR left, BSTR right) {
    return VarBstrCmp(left, right, LOCALE_USER_DEFAULT, 0) == static_cast<HRESULT>(VARCMP_EQ);
}

}  // namespace

CTembraDspDrova& DspController::Driver() {
    return TembraDspDriver;
}

HRESULT DspController::Open(const WCHAR* endpointId) {
    VEX_LOG_SCOPE("DspController::Open");
    HRESULT hr = TembraDspDriver.RefreshModules();
    if (FAILED(hr)) {
        VEX_LOG_HR(kLevelWarning, "DspController::Open", "RefreshModules of DSP failed: [0x%.8x]%s",
                   hr);
        return hr;
    }
    if (DspSessionTable.count(endpointId) != 0) {
        VEX_LOG(kLevelInformation, "DspController::Open",
                "DSP module for device[%s] is already opened.", endpointId);
        return S_OK;
    }
    ULONG count = 0;
    TembraDspDriver.GetModuleCount(&count);
    const ScopedBstr wanted(BstrFromText(endpointId));
    const ScopedBstr mainLabel(BstrFromText(kMainModuleLabel));
    DspSession session;
    for (ULONG i = 0; i < count; ++i) {
        ScopedBstr deviceId;
        ScopedBstr friendlyName;
        ScopedBstr versionLabel;
        GUID endpointGuid{};
        ULONG formFactor = 0;
        ULONG channelCount = 0;
        ULONG moduleType = 0;
        if (FAILED(TembraDspDriver.GetModuleInfo(i, deviceId.Receive(), &endpointGuid, &formFactor,
                                                 friendlyName.Receive(), &channelCount, &moduleType,
                                                 versionLabel.Receive()))) {
            continue;
        }
        if (!SameBstr(deviceId.Get(), wanted.Get())) {
            continue;
        }
        if (SameBstr(versionLabel.Get(), mainLabel.Get())) {
            session.mainModule = static_cast<LONG>(i);
        } else {
            session.lowLatencyModule = static_cast<LONG>(i);
        }
    }
    if (session.mainModule == kNoModule && session.lowLatencyModule == kNoModule) {
        VEX_LOG(kLevelWarning, "DspController::Open",
                "Could not find the dsp module for the device [%s]", endpointId);
        return S_OK;
    }
    DspSessionTable.emplace(endpointId, session);
    VEX_LOG(kLevelInformation, "DspController::Open", "DSP module index: %s[%d, %d]", endpointId,
            session.mainModule, session.lowLatencyModule);
    return S_OK;
}

HRESULT DspController::Close(const WCHAR* endpointId) {
    if (DspSessionTable.erase(endpointId) == 0) {
        VEX_LOG(kLevelWarning, "DspController::Close", "DSP module for device[%s] is not opened.",
                endpointId);
    }
    return S_OK;
}

LONG DspController::GetModuleIndex(const WCHAR* endpointId, LONG publicId) {
    const auto it = DspSessionTable.find(endpointId);
    if (it == DspSessionTable.end()) {
        return kNoModule;
    }
    if (InRange(publicId, 1001, 1998)) {
        return it->second.mainModule;
    }
    if (InRange(publicId, 2001, 2998)) {
        return it->second.lowLatencyModule;
    }
    return kNoModule;
}

HRESULT DspController::SelectModule(const WCHAR* endpointId, LONG publicId) {
    if (DspSessionTable.count(endpointId) == 0) {
        VEX_LOG(kLevelWarning, "DspController::SelectModule",
                "DSP module for device[%s] is not opened.", endpointId);
        return E_FAIL;
    }
    const LONG index = GetModuleIndex(endpointId, publicId);
    if (index == kNoModule) {
        return E_INVALIDARG;
    }
    return TembraDspDriver.SelectModule(index);
}

DspModuleAvailability DspController::GetModuleAvailability(const WCHAR* endpointId) {
    const auto it = DspSessionTable.find(endpointId);
    if (it == DspSessionTable.end()) {
        return {};
    }
    return {it->second.mainModule != kNoModule, it->second.lowLatencyModule != kNoModule};
}
