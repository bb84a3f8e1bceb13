// The device enumerator: it always sees the current machine.
#pragma once

#include "common/ComObject.h"

#include <vector>

namespace vexsim {

class DeviceEnumeratorObject final : public ComObject<IMMDeviceEnumerator> {
public:
    DeviceEnumeratorObject() : ComObject("IMMDeviceEnumerator", Guids::kIidIMMDeviceEnumerator) {}

    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD stateMask,
                                                 IMMDeviceCollection** devices) override;
    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole role,
                                                      IMMDevice** endpoint) override;
    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR id, IMMDevice** device) override;
    HRESULT STDMETHODCALLTYPE
    RegisterEndpointNotificationCallback(IMMNotificationClient* client) override;
    HRESULT STDMETHODCALLTYPE
    UnregisterEndpointNotificationCallback(IMMNotificationClient* client) override;

private:
    std::vector<IMMNotificationClient*> m_clients;  // not owned, as on Windows
};

}  // namespace vexsim
