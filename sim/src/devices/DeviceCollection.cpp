#include "devices/DeviceCollection.h"

#include "devices/Device.h"
#include "SystemGuids.h"
#include "machine/Simulator.h"

namespace vexsim {

DeviceCollectionObject::DeviceCollectionObject(std::shared_ptr<Machine> machine,
                                               std::vector<Device*> devices)
    : ComObject("IMMDeviceCollection"),
      m_machine(std::move(machine)),
      m_devices(std::move(devices)) {}

void* DeviceCollectionObject::Find(REFIID iid) {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, Guids::kIidIMMDeviceCollection)) {
        return static_cast<IMMDeviceCollection*>(this);
    }
    return nullptr;
}

std::optional<HRESULT> DeviceCollectionObject::EnterQueryInterface(REFIID iid) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Call call{"IMMDeviceCollection::QueryInterface"};
    call.iid = &iid;
    return m_machine->Enter(call);
}

HRESULT DeviceCollectionObject::GetCount(UINT* count) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(m_machine->Enter(Call{"IMMDeviceCollection::GetCount"}));
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = 0;
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    *count = static_cast<UINT>(m_devices.size());
    return outcome.Finish(S_OK);
}

HRESULT DeviceCollectionObject::Item(UINT index, IMMDevice** device) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Call call{"IMMDeviceCollection::Item"};
    if (index < m_devices.size()) {
        call.endpoint = &m_devices[index]->id;
    }
    const Outcome outcome(m_machine->Enter(call));
    if (device == nullptr) {
        return E_POINTER;
    }
    *device = nullptr;
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    if (index >= m_devices.size()) {
        return E_INVALIDARG;
    }
    *device = DeviceObject::Create(m_machine, m_devices[index]);
    return outcome.Finish(S_OK);
}

}  // namespace vexsim
