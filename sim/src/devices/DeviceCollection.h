// The endpoints that EnumAudioEndpoints found, fixed when it ran.
#pragma once

#include "common/ComObject.h"
#include "machine/Machine.h"

#include <memory>
#include <vector>

namespace vexsim {

class DeviceCollectionObject final : public ComObject<IMMDeviceCollection> {
public:
    DeviceCollectionObject(std::shared_ptr<Machine> machine, std::vector<Device*> devices);

    HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE Item(UINT index, IMMDevice** device) override;

protected:
    void* Find(REFIID iid) override;
    std::optional<HRESULT> EnterQueryInterface(REFIID iid) override;

private:
    std::shared_ptr<Machine> m_machine;
    std::vector<Device*> m_devices;
};

}  // namespace vexsim
