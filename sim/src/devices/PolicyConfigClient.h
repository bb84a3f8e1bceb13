// The policy-configuration object: reads and writes an endpoint's own and FX property stores
// and sets the default endpoint; it always sees the current machine. Formats, periods, share
// modes and visibility are not simulated.
#pragma once

#include "PolicyConfig.h"
#include "common/ComObject.h"

namespace vexsim {

class PolicyConfigObject final : public ComObject<IPolicyConfigVistaClient> {
public:
    PolicyConfigObject() : ComObject("IPolicyConfigVistaClient", IID_IPolicyConfigVistaClient) {}

    HRESULT STDMETHODCALLTYPE GetMixFormat(LPCWSTR, WAVEFORMATEX**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDeviceFormat(LPCWSTR, INT, WAVEFORMATEX**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ResetDeviceFormat(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDeviceFormat(LPCWSTR, WAVEFORMATEX*, WAVEFORMATEX*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetProcessingPeriod(LPCWSTR, INT, LONGLONG*, LONGLONG*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetProcessingPeriod(LPCWSTR, LONGLONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetShareMode(LPCWSTR, DeviceShareMode*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetShareMode(LPCWSTR, DeviceShareMode*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPropertyValue(LPCWSTR deviceId, BOOL fxStore,
                                               const PROPERTYKEY& key, PROPVARIANT* value) override;
    HRESULT STDMETHODCALLTYPE SetPropertyValue(LPCWSTR deviceId, BOOL fxStore,
                                               const PROPERTYKEY& key, PROPVARIANT* value) override;
    HRESULT STDMETHODCALLTYPE SetDefaultEndpoint(LPCWSTR deviceId, ERole role) override;
    HRESULT STDMETHODCALLTYPE SetEndpointVisibility(LPCWSTR, INT) override { return E_NOTIMPL; }
};

}  // namespace vexsim
