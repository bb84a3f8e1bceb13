#include "devices/Device.h"

#include "common/Text.h"
#include "devices/PropertyStore.h"
#include "driver/KsControl.h"
#include "topology/DeviceTopology.h"

namespace vexsim {

void* DeviceObject::Find(REFIID iid) {
    if (IsEqualGUID(iid, Guids::kIidIMMEndpoint) && m_device->kind == DeviceKind::Endpoint) {
        return static_cast<IMMEndpoint*>(this);
    }
    return ComObject::Find(iid);
}

// Every device has a device topology; a filter also has its kernel-streaming control. Each
// call hands out a new object.
HRESULT DeviceObject::Activate(REFIID iid, DWORD /*context*/, PROPVARIANT* /*activationParams*/,
                               void** object) {
    Call call = Describe("IMMDevice::Activate");
    call.iid = &iid;
    return Enter(call).Hand(object, nullptr, [&](void** out) {
        if (IsEqualGUID(iid, Guids::kIidIDeviceTopology)) {
            *out = static_cast<IDeviceTopology*>(new DeviceTopologyObject(m_machine, m_device));
        } else if (IsEqualGUID(iid, Guids::kIidIKsControl) &&
                   m_device->kind == DeviceKind::Filter) {
            *out = static_cast<IKsControl*>(new KsControlObject(m_machine, m_device));
        }
        return *out != nullptr ? S_OK : E_NOINTERFACE;
    });
}

HRESULT DeviceObject::OpenPropertyStore(DWORD access, IPropertyStore** store) {
    Call call = Describe("IMMDevice::OpenPropertyStore");
    call.access = access;
    return Enter(call).Hand(store, nullptr, [&](IPropertyStore** out) {
        if (access != STGM_READ && access != STGM_WRITE && access != STGM_READWRITE) {
            return E_INVALIDARG;
        }
        const bool writable = access != STGM_READ;
        if (writable && m_device->readOnly) {
            return m_device->readWriteResult;
        }
        *out = PropertyStoreObject::Open(m_machine, m_device, writable);
        return S_OK;
    });
}

HRESULT DeviceObject::GetId(LPWSTR* id) {
    return Enter("IMMDevice::GetId").Hand(id, nullptr, [&](LPWSTR* out) {
        return CopyText(m_device->id, out);
    });
}

HRESULT DeviceObject::GetState(DWORD* state) {
    return Enter("IMMDevice::GetState").Hand(state, 0u, [&](DWORD* out) {
        *out = m_device->state;
        return S_OK;
    });
}

HRESULT DeviceObject::GetDataFlow(EDataFlow* flow) {
    return Enter("IMMEndpoint::GetDataFlow").Hand(flow, eRender, [&](EDataFlow* out) {
        *out = m_device->flow;
        return S_OK;
    });
}

}  // namespace vexsim
