// The endpoints that EnumAudioEndpoints found, fixed when it ran.
#pragma once

#include "common/IndexedCollection.h"
#include "devices/Device.h"

namespace vexsim {

class DeviceCollectionObject final
    : public IndexedCollection<IMMDeviceCollection, IMMDevice, Device*> {
public:
    DeviceCollectionObject(std::shared_ptr<Machine> machine, std::vector<Device*> devices)
        : IndexedCollection("IMMDeviceCollection", Guids::kIidIMMDeviceCollection,
                            std::move(machine), nullptr, std::move(devices)) {}

    HRESULT STDMETHODCALLTYPE Item(UINT index, IMMDevice** device) override {
        return EntryAt("IMMDeviceCollection::Item", index, device);
    }

private:
    void NameEntry(Call* call, Device* const& device) const override {
        call->endpoint = &device->id;
    }
    IMMDevice* CreateEntry(Device* const& device) override {
        return DeviceObject::Create(m_machine, device);
    }
};

}  // namespace vexsim
