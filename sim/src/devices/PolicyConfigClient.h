// The policy-configuration object: reads and writes an endpoint's own and FX property stores
// and sets the default endpoint; it always sees the current machine.
#pragma once

#include "common/ComObject.h"
#include "PolicyConfig.h"

namespace vexsim {

class PolicyConfigObject final : public ComObject<IPolicyConfigVistaClient> {
public:
    PolicyConfigObject();

    HRESULT STDMETHODCALLTYPE GetMixFormat(LPCWSTR deviceId, WAVEFORMATEX** format) override;
    HRESULT STDMETHODCALLTYPE GetDeviceFormat(LPCWSTR deviceId, INT useDefault,
                                              WAVEFORMATEX** format) override;
    HRESULT STDMETHODCALLTYPE ResetDeviceFormat(LPCWSTR deviceId) override;
    HRESULT STDMETHODCALLTYPE SetDeviceFormat(LPCWSTR deviceId, WAVEFORMATEX* endpointFormat,
                                              WAVEFORMATEX* mixFormat) override;
    HRESULT STDMETHODCALLTYPE GetProcessingPeriod(LPCWSTR deviceId, INT useDefault,
                                                  LONGLONG* defaultPeriod,
                                                  LONGLONG* minimumPeriod) override;
    HRESULT STDMETHODCALLTYPE SetProcessingPeriod(LPCWSTR deviceId, LONGLONG* period) override;
    HRESULT STDMETHODCALLTYPE GetShareMode(LPCWSTR deviceId, DeviceShareMode* mode) override;
    HRESULT STDMETHODCALLTYPE SetShareMode(LPCWSTR deviceId, DeviceShareMode* mode) override;
    HRESULT STDMETHODCALLTYPE GetPropertyValue(LPCWSTR deviceId, BOOL fxStore,
                                               const PROPERTYKEY& key, PROPVARIANT* value) override;
    HRESULT STDMETHODCALLTYPE SetPropertyValue(LPCWSTR deviceId, BOOL fxStore,
                                               const PROPERTYKEY& key, PROPVARIANT* value) override;
    HRESULT STDMETHODCALLTYPE SetDefaultEndpoint(LPCWSTR deviceId, ERole role) override;
    HRESULT STDMETHODCALLTYPE SetEndpointVisibility(LPCWSTR deviceId, INT visible) override;

protected:
    void* Find(REFIID iid) override;
    std::optional<HRESULT> EnterQueryInterface(REFIID iid) override;
};

}  // namespace vexsim
