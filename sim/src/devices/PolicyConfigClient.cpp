#include "devices/PolicyConfigClient.h"

#include "SystemGuids.h"
#include "machine/Simulator.h"

namespace vexsim {

PolicyConfigObject::PolicyConfigObject() : ComObject("IPolicyConfigVistaClient") {}

void* PolicyConfigObject::Find(REFIID iid) {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IPolicyConfigVistaClient)) {
        return static_cast<IPolicyConfigVistaClient*>(this);
    }
    return nullptr;
}

std::optional<HRESULT> PolicyConfigObject::EnterQueryInterface(REFIID iid) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Call call{"IPolicyConfigVistaClient::QueryInterface"};
    call.iid = &iid;
    return CurrentMachine()->Enter(call);
}

// Formats, periods, share modes and visibility are not simulated.
HRESULT PolicyConfigObject::GetMixFormat(LPCWSTR, WAVEFORMATEX**) {
    return E_NOTIMPL;
}
HRESULT PolicyConfigObject::GetDeviceFormat(LPCWSTR, INT, WAVEFORMATEX**) {
    return E_NOTIMPL;
}
HRESULT PolicyConfigObject::ResetDeviceFormat(LPCWSTR) {
    return E_NOTIMPL;
}
HRESULT PolicyConfigObject::SetDeviceFormat(LPCWSTR, WAVEFORMATEX*, WAVEFORMATEX*) {
    return E_NOTIMPL;
}
HRESULT PolicyConfigObject::GetProcessingPeriod(LPCWSTR, INT, LONGLONG*, LONGLONG*) {
    return E_NOTIMPL;
}
HRESULT PolicyConfigObject::SetProcessingPeriod(LPCWSTR, LONGLONG*) {
    return E_NOTIMPL;
}
HRESULT PolicyConfigObject::GetShareMode(LPCWSTR, DeviceShareMode*) {
    return E_NOTIMPL;
}
HRESULT PolicyConfigObject::SetShareMode(LPCWSTR, DeviceShareMode*) {
    return E_NOTIMPL;
}
HRESULT PolicyConfigObject::SetEndpointVisibility(LPCWSTR, INT) {
    return E_NOTIMPL;
}

HRESULT PolicyConfigObject::GetPropertyValue(LPCWSTR deviceId, BOOL fxStore, const PROPERTYKEY& key,
                                             PROPVARIANT* value) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const std::shared_ptr<Machine>& machine = CurrentMachine();
    const WString id = deviceId != nullptr ? WString(deviceId) : WString();
    Call call{"IPolicyConfigVistaClient::GetPropertyValue"};
    call.endpoint = &id;
    call.key = &key;
    call.fxStore = fxStore != FALSE;
    const Outcome outcome(machine->Enter(call));
    if (value == nullptr || deviceId == nullptr) {
        return E_POINTER;
    }
    // The caller may have preset the type; whatever it holds is overwritten, not cleared.
    PropVariantInit(value);
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    Device* device = machine->FindDevice(id);
    if (device == nullptr) {
        return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    }
    const PropValue* stored = (fxStore ? device->fx : device->properties).Find(key);
    if (stored == nullptr) {
        return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    }
    return outcome.Finish(ToPropVariant(*stored, value));
}

HRESULT PolicyConfigObject::SetPropertyValue(LPCWSTR deviceId, BOOL fxStore, const PROPERTYKEY& key,
                                             PROPVARIANT* value) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const std::shared_ptr<Machine>& machine = CurrentMachine();
    const WString id = deviceId != nullptr ? WString(deviceId) : WString();
    Call call{"IPolicyConfigVistaClient::SetPropertyValue"};
    call.endpoint = &id;
    call.key = &key;
    call.fxStore = fxStore != FALSE;
    const Outcome outcome(machine->Enter(call));
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    if (value == nullptr || deviceId == nullptr) {
        return E_POINTER;
    }
    Device* device = machine->FindDevice(id);
    if (device == nullptr) {
        return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    }
    PropValue copy;
    const HRESULT hr = FromPropVariant(*value, &copy);
    if (FAILED(hr)) {
        return hr;
    }
    (fxStore ? device->fx : device->properties).Set(key, std::move(copy));
    return outcome.Finish(S_OK);
}

HRESULT PolicyConfigObject::SetDefaultEndpoint(LPCWSTR deviceId, ERole role) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const std::shared_ptr<Machine>& machine = CurrentMachine();
    const WString id = deviceId != nullptr ? WString(deviceId) : WString();
    Call call{"IPolicyConfigVistaClient::SetDefaultEndpoint"};
    call.endpoint = &id;
    call.role = static_cast<int>(role);
    const Outcome outcome(machine->Enter(call));
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    if (deviceId == nullptr) {
        return E_POINTER;
    }
    if (role < eConsole || role > eCommunications) {
        return E_INVALIDARG;
    }
    Device* device = machine->FindDevice(id);
    if (device == nullptr || device->kind != DeviceKind::Endpoint) {
        return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    }
    const unsigned bit = 1u << role;
    for (const auto& other : machine->devices) {
        if (other->kind == DeviceKind::Endpoint && other->flow == device->flow) {
            other->defaultRoles &= ~bit;
        }
    }
    device->defaultRoles |= bit;
    return outcome.Finish(S_OK);
}

}  // namespace vexsim
