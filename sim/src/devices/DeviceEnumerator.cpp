#include "devices/DeviceEnumerator.h"

#include "devices/Device.h"
#include "devices/DeviceCollection.h"

#include <algorithm>

namespace vexsim {

HRESULT DeviceEnumeratorObject::EnumAudioEndpoints(EDataFlow flow, DWORD stateMask,
                                                   IMMDeviceCollection** devices) {
    Call call{"IMMDeviceEnumerator::EnumAudioEndpoints"};
    call.flow = static_cast<int>(flow);
    return Enter(call).Hand(devices, nullptr, [&](IMMDeviceCollection** out) {
        if (flow < eRender || flow > eAll || stateMask == 0 ||
            (stateMask & ~DEVICE_STATEMASK_ALL) != 0) {
            return E_INVALIDARG;
        }
        const std::shared_ptr<Machine>& machine = CurrentMachine();
        std::vector<Device*> found;
        for (const auto& device : machine->devices) {
            if (device->kind == DeviceKind::Endpoint && (flow == eAll || device->flow == flow) &&
                (device->state & stateMask) != 0) {
                found.push_back(device.get());
            }
        }
        *out = new DeviceCollectionObject(machine, std::move(found));
        return S_OK;
    });
}

HRESULT DeviceEnumeratorObject::GetDefaultAudioEndpoint(EDataFlow flow, ERole role,
                                                        IMMDevice** endpoint) {
    Call call{"IMMDeviceEnumerator::GetDefaultAudioEndpoint"};
    call.flow = static_cast<int>(flow);
    call.role = static_cast<int>(role);
    return Enter(call).Hand(endpoint, nullptr, [&](IMMDevice** out) {
        if ((flow != eRender && flow != eCapture) || role < eConsole || role > eCommunications) {
            return E_INVALIDARG;
        }
        Device* device = CurrentMachine()->DefaultEndpoint(flow, role);
        if (device == nullptr) {
            return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        }
        *out = DeviceObject::Create(CurrentMachine(), device);
        return S_OK;
    });
}

HRESULT DeviceEnumeratorObject::GetDevice(LPCWSTR id, IMMDevice** device) {
    const CallOnId call("IMMDeviceEnumerator::GetDevice", id);
    // A null id fails as a null out-parameter does.
    return Enter(call).Hand(id != nullptr ? device : nullptr, nullptr, [&](IMMDevice** out) {
        Device* found = CurrentMachine()->FindDevice(call.id);
        if (found == nullptr) {
            return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        }
        *out = DeviceObject::Create(CurrentMachine(), found);
        return S_OK;
    });
}

HRESULT DeviceEnumeratorObject::RegisterEndpointNotificationCallback(
    IMMNotificationClient* client) {
    return Enter("IMMDeviceEnumerator::RegisterEndpointNotificationCallback").Run([&] {
        if (client == nullptr) {
            return E_POINTER;
        }
        m_clients.push_back(client);
        return S_OK;
    });
}

HRESULT DeviceEnumeratorObject::UnregisterEndpointNotificationCallback(
    IMMNotificationClient* client) {
    return Enter("IMMDeviceEnumerator::UnregisterEndpointNotificationCallback").Run([&] {
        if (client == nullptr) {
            return E_POINTER;
        }
        auto it = std::find(m_clients.begin(), m_clients.end(), client);
        if (it == m_clients.end()) {
            return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        }
        m_clients.erase(it);
        return S_OK;
    });
}

}  // namespace vexsim
