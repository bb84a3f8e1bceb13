#include "devices/DeviceEnumerator.h"

#include "devices/Device.h"
#include "devices/DeviceCollection.h"
#include "SystemGuids.h"
#include "machine/Simulator.h"

#include <algorithm>

namespace vexsim {

DeviceEnumeratorObject::DeviceEnumeratorObject() : ComObject("IMMDeviceEnumerator") {}

void* DeviceEnumeratorObject::Find(REFIID iid) {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, Guids::kIidIMMDeviceEnumerator)) {
        return static_cast<IMMDeviceEnumerator*>(this);
    }
    return nullptr;
}

std::optional<HRESULT> DeviceEnumeratorObject::EnterQueryInterface(REFIID iid) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Call call{"IMMDeviceEnumerator::QueryInterface"};
    call.iid = &iid;
    return CurrentMachine()->Enter(call);
}

HRESULT DeviceEnumeratorObject::EnumAudioEndpoints(EDataFlow flow, DWORD stateMask,
                                                   IMMDeviceCollection** devices) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const std::shared_ptr<Machine>& machine = CurrentMachine();
    Call call{"IMMDeviceEnumerator::EnumAudioEndpoints"};
    call.flow = static_cast<int>(flow);
    const Outcome outcome(machine->Enter(call));
    if (devices == nullptr) {
        return E_POINTER;
    }
    *devices = nullptr;
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    if (flow < eRender || flow > eAll || stateMask == 0 ||
        (stateMask & ~DEVICE_STATEMASK_ALL) != 0) {
        return E_INVALIDARG;
    }
    std::vector<Device*> found;
    for (const auto& device : machine->devices) {
        if (device->kind == DeviceKind::Endpoint && (flow == eAll || device->flow == flow) &&
            (device->state & stateMask) != 0) {
            found.push_back(device.get());
        }
    }
    *devices = new DeviceCollectionObject(machine, std::move(found));
    return outcome.Finish(S_OK);
}

HRESULT DeviceEnumeratorObject::GetDefaultAudioEndpoint(EDataFlow flow, ERole role,
                                                        IMMDevice** endpoint) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const std::shared_ptr<Machine>& machine = CurrentMachine();
    Call call{"IMMDeviceEnumerator::GetDefaultAudioEndpoint"};
    call.flow = static_cast<int>(flow);
    call.role = static_cast<int>(role);
    const Outcome outcome(machine->Enter(call));
    if (endpoint == nullptr) {
        return E_POINTER;
    }
    *endpoint = nullptr;
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    if ((flow != eRender && flow != eCapture) || role < eConsole || role > eCommunications) {
        return E_INVALIDARG;
    }
    Device* device = machine->DefaultEndpoint(flow, role);
    if (device == nullptr) {
        return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    }
    *endpoint = DeviceObject::Create(machine, device);
    return outcome.Finish(S_OK);
}

HRESULT DeviceEnumeratorObject::GetDevice(LPCWSTR id, IMMDevice** device) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const std::shared_ptr<Machine>& machine = CurrentMachine();
    const WString wanted = id != nullptr ? WString(id) : WString();
    Call call{"IMMDeviceEnumerator::GetDevice"};
    call.endpoint = &wanted;
    const Outcome outcome(machine->Enter(call));
    if (device == nullptr || id == nullptr) {
        return E_POINTER;
    }
    *device = nullptr;
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    Device* found = machine->FindDevice(wanted);
    if (found == nullptr) {
        return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    }
    *device = DeviceObject::Create(machine, found);
    return outcome.Finish(S_OK);
}

HRESULT DeviceEnumeratorObject::RegisterEndpointNotificationCallback(
    IMMNotificationClient* client) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(
        CurrentMachine()->Enter(Call{"IMMDeviceEnumerator::RegisterEndpointNotificationCallback"}));
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    if (client == nullptr) {
        return E_POINTER;
    }
    m_clients.push_back(client);
    return outcome.Finish(S_OK);
}

HRESULT DeviceEnumeratorObject::UnregisterEndpointNotificationCallback(
    IMMNotificationClient* client) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(CurrentMachine()->Enter(
        Call{"IMMDeviceEnumerator::UnregisterEndpointNotificationCallback"}));
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    if (client == nullptr) {
        return E_POINTER;
    }
    auto it = std::find(m_clients.begin(), m_clients.end(), client);
    if (it == m_clients.end()) {
        return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    }
    m_clients.erase(it);
    return outcome.Finish(S_OK);
}

}  // namespace vexsim
