#include "devices/PolicyConfigClient.h"

namespace vexsim {

namespace {

// The device's own store or its FX store.
PropertyMap& Store(Device& device, BOOL fxStore) {
    return fxStore ? device.fx : device.properties;
}

}  // namespace

HRESULT PolicyConfigObject::GetPropertyValue(LPCWSTR deviceId, BOOL fxStore, const PROPERTYKEY& key,
                                             PROPVARIANT* value) {
    CallOnId call("IPolicyConfigVistaClient::GetPropertyValue", deviceId);
    call.key = &key;
    call.fxStore = fxStore != FALSE;
    // A null id fails as a null out-parameter does. Whatever type the caller preset is
    // overwritten, not cleared.
    const Entry entry = Enter(call);
    return entry.Hand(deviceId != nullptr ? value : nullptr, PROPVARIANT{}, [&](PROPVARIANT* out) {
        Device* device = CurrentMachine()->FindDevice(call.id);
        const PropValue* stored = device != nullptr ? Store(*device, fxStore).Find(key) : nullptr;
        return stored != nullptr ? ToPropVariant(*stored, out)
                                 : HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    });
}

HRESULT PolicyConfigObject::SetPropertyValue(LPCWSTR deviceId, BOOL fxStore, const PROPERTYKEY& key,
                                             PROPVARIANT* value) {
    CallOnId call("IPolicyConfigVistaClient::SetPropertyValue", deviceId);
    call.key = &key;
    call.fxStore = fxStore != FALSE;
    return Enter(call).Run([&] {
        if (value == nullptr || deviceId == nullptr) {
            return E_POINTER;
        }
        Device* device = CurrentMachine()->FindDevice(call.id);
        if (device == nullptr) {
            return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        }
        PropValue copy;
        const HRESULT hr = FromPropVariant(*value, &copy);
        if (SUCCEEDED(hr)) {
            Store(*device, fxStore).Set(key, std::move(copy));
        }
        return hr;
    });
}

HRESULT PolicyConfigObject::SetDefaultEndpoint(LPCWSTR deviceId, ERole role) {
    CallOnId call("IPolicyConfigVistaClient::SetDefaultEndpoint", deviceId);
    call.role = static_cast<int>(role);
    return Enter(call).Run([&] {
        if (deviceId == nullptr) {
            return E_POINTER;
        }
        if (role < eConsole || role > eCommunications) {
            return E_INVALIDARG;
        }
        const std::shared_ptr<Machine>& machine = CurrentMachine();
        Device* device = machine->FindDevice(call.id);
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
        return S_OK;
    });
}

}  // namespace vexsim
