#include "devices/Device.h"

#include "SystemGuids.h"
#include "devices/PropertyStore.h"
#include "machine/Simulator.h"
#include "topology/DeviceTopology.h"
#include "driver/KsControl.h"
#include "common/Text.h"

namespace vexsim {

DeviceObject::DeviceObject(std::shared_ptr<Machine> machine, Device* device)
    : ComObject("IMMDevice"), m_machine(std::move(machine)), m_device(device) {}

IMMDevice* DeviceObject::Create(const std::shared_ptr<Machine>& machine, Device* device) {
    return static_cast<IMMDevice*>(new DeviceObject(machine, device));
}

void* DeviceObject::Find(REFIID iid) {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, Guids::kIidIMMDevice)) {
        return static_cast<IMMDevice*>(this);
    }
    if (IsEqualGUID(iid, Guids::kIidIMMEndpoint) && m_device->kind == DeviceKind::Endpoint) {
        return static_cast<IMMEndpoint*>(this);
    }
    return nullptr;
}

std::optional<HRESULT> DeviceObject::EnterQueryInterface(REFIID iid) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Call call{"IMMDevice::QueryInterface"};
    call.endpoint = &m_device->id;
    call.iid = &iid;
    return m_machine->Enter(call);
}

HRESULT DeviceObject::Activate(REFIID iid, DWORD /*context*/, PROPVARIANT* /*activationParams*/,
                               void** object) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Call call{"IMMDevice::Activate"};
    call.endpoint = &m_device->id;
    call.iid = &iid;
    const Outcome outcome(m_machine->Enter(call));
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    if (IsEqualGUID(iid, Guids::kIidIDeviceTopology)) {
        *object = static_cast<IDeviceTopology*>(new DeviceTopologyObject(m_machine, m_device));
        return outcome.Finish(S_OK);
    }
    if (IsEqualGUID(iid, Guids::kIidIKsControl) && m_device->kind == DeviceKind::Filter) {
        *object = static_cast<IKsControl*>(new KsControlObject(m_machine, m_device));
        return outcome.Finish(S_OK);
    }
    return E_NOINTERFACE;
}

HRESULT DeviceObject::OpenPropertyStore(DWORD access, IPropertyStore** store) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Call call{"IMMDevice::OpenPropertyStore"};
    call.endpoint = &m_device->id;
    call.access = access;
    const Outcome outcome(m_machine->Enter(call));
    if (store == nullptr) {
        return E_POINTER;
    }
    *store = nullptr;
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    if (access != STGM_READ && access != STGM_WRITE && access != STGM_READWRITE) {
        return E_INVALIDARG;
    }
    const bool writable = access != STGM_READ;
    if (writable && m_device->readOnly) {
        return m_device->readWriteResult;
    }
    *store = PropertyStoreObject::Open(m_machine, m_device, writable);
    return outcome.Finish(S_OK);
}

HRESULT DeviceObject::GetId(LPWSTR* id) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Call call{"IMMDevice::GetId"};
    call.endpoint = &m_device->id;
    const Outcome outcome(m_machine->Enter(call));
    return outcome.Hand(id, nullptr, [&](LPWSTR* out) { return CopyText(m_device->id, out); });
}

HRESULT DeviceObject::GetState(DWORD* state) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Call call{"IMMDevice::GetState"};
    call.endpoint = &m_device->id;
    const Outcome outcome(m_machine->Enter(call));
    return outcome.Hand(state, 0u, [&](DWORD* out) {
        *out = m_device->state;
        return S_OK;
    });
}

HRESULT DeviceObject::GetDataFlow(EDataFlow* flow) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Call call{"IMMEndpoint::GetDataFlow"};
    call.endpoint = &m_device->id;
    const Outcome outcome(m_machine->Enter(call));
    return outcome.Hand(flow, eRender, [&](EDataFlow* out) {
        *out = m_device->flow;
        return S_OK;
    });
}

}  // namespace vexsim
