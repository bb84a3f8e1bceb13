// Interfaces that IMMDevice::Activate hands out: the device topology of every device, and the
// kernel-streaming control of a filter device.
#include "DeviceTopology.h"
#include "Guids.h"
#include "KsControl.h"
#include "Simulator.h"

namespace vexsim {

HRESULT ActivateOnDevice(const std::shared_ptr<Machine>& machine, Device* device, REFIID iid,
                         void** object) {
    *object = nullptr;
    if (IsEqualGUID(iid, Guids::kIidIDeviceTopology)) {
        *object = static_cast<IDeviceTopology*>(new DeviceTopologyObject(machine, device));
        return S_OK;
    }
    if (IsEqualGUID(iid, Guids::kIidIKsControl) && device->kind == DeviceKind::Filter) {
        *object = static_cast<IKsControl*>(new KsControlObject(machine, device));
        return S_OK;
    }
    return E_NOINTERFACE;
}

}  // namespace vexsim
