// The audio policy-configuration interface: per-endpoint formats, periods, share modes, the
// endpoint's property stores (its own and the effect (FX) store), the default endpoint and
// visibility. Windows ships the class but no header for it, so both builds declare it here.
#pragma once

#include "Platform.h"

#include <mmreg.h>

// The policy-configuration class and the interface the library uses on it.
// {294935CE-F637-4E7C-A41B-AB255460B862}
inline constexpr CLSID CLSID_PolicyConfigVistaClient = {
    0x294935CE, 0xF637, 0x4E7C, {0xA4, 0x1B, 0xAB, 0x25, 0x54, 0x60, 0xB8, 0x62}};
// {568B9108-44BF-40B4-9006-86AFE5B5A620}
inline constexpr IID IID_IPolicyConfigVistaClient = {
    0x568B9108, 0x44BF, 0x40B4, {0x90, 0x06, 0x86, 0xAF, 0xE5, 0xB5, 0xA6, 0x20}};

// The effect property set of an endpoint's FX store: {D04E05A6-594B-4FB6-A80D-01AF5EED7D1D}.
inline constexpr GUID FMTID_EndpointFxProperties = {
    0xD04E05A6, 0x594B, 0x4FB6, {0xA8, 0x0D, 0x01, 0xAF, 0x5E, 0xED, 0x7D, 0x1D}};

enum DeviceShareMode { DeviceShared = 0, DeviceExclusive = 1 };

struct IPolicyConfigVistaClient : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetMixFormat(LPCWSTR deviceId, WAVEFORMATEX** format) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeviceFormat(LPCWSTR deviceId, INT useDefault,
                                                      WAVEFORMATEX** format) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResetDeviceFormat(LPCWSTR deviceId) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDeviceFormat(LPCWSTR deviceId,
                                                      WAVEFORMATEX* endpointFormat,
                                                      WAVEFORMATEX* mixFormat) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProcessingPeriod(LPCWSTR deviceId, INT useDefault,
                                                          LONGLONG* defaultPeriod,
                                                          LONGLONG* minimumPeriod) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetProcessingPeriod(LPCWSTR deviceId, LONGLONG* period) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetShareMode(LPCWSTR deviceId, DeviceShareMode* mode) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetShareMode(LPCWSTR deviceId, DeviceShareMode* mode) = 0;
    // Reads one property of the endpoint: from its FX store when fxStore is TRUE, else from
    // its own store. A negative result means there is nothing to read.
    virtual HRESULT STDMETHODCALLTYPE GetPropertyValue(LPCWSTR deviceId, BOOL fxStore,
                                                       const PROPERTYKEY& key,
                                                       PROPVARIANT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPropertyValue(LPCWSTR deviceId, BOOL fxStore,
                                                       const PROPERTYKEY& key,
                                                       PROPVARIANT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDefaultEndpoint(LPCWSTR deviceId, ERole role) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEndpointVisibility(LPCWSTR deviceId, INT visible) = 0;
};
