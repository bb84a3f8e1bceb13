// A device object (IMMDevice, and IMMEndpoint for an audio endpoint) over a machine's device.
#pragma once

#include "common/ComObject.h"

namespace vexsim {

class DeviceObject final : public ComObject<IMMDevice, IMMEndpoint> {
public:
    DeviceObject(std::shared_ptr<Machine> machine, Device* device)
        : ComObject("IMMDevice", Guids::kIidIMMDevice, std::move(machine), device) {}

    HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD context, PROPVARIANT* activationParams,
                                       void** object) override;
    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD access, IPropertyStore** store) override;
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD* state) override;
    HRESULT STDMETHODCALLTYPE GetDataFlow(EDataFlow* flow) override;

    // A new object for the device, with the creator's reference.
    static IMMDevice* Create(const std::shared_ptr<Machine>& machine, Device* device) {
        return new DeviceObject(machine, device);
    }

protected:
    void* Find(REFIID iid) override;
};

}  // namespace vexsim
