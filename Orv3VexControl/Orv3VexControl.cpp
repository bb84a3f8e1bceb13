// The five exported functions.
#include "Platform.h"

#include "../include/Orv3VexControl.h"

extern "C" HRESULT WINAPI OpenVexControl(ControlHandle* /*handleOut*/, LPCWSTR /*endpointId*/) {
    return E_NOTIMPL;
}

extern "C" HRESULT WINAPI CloseVexControl(ControlHandle /*handle*/) {
    return E_NOTIMPL;
}

extern "C" HRESULT WINAPI SetVexParam(ControlHandle /*handle*/, LONG /*id*/, const void* /*buffer*/,
                                      ULONG /*size*/, ULONG /*flags*/) {
    return E_NOTIMPL;
}

extern "C" HRESULT WINAPI SetVexVariantParam(ControlHandle /*handle*/, LONG /*id*/,
                                             const PROPVARIANT* /*value*/, ULONG /*flags*/) {
    return E_NOTIMPL;
}

extern "C" HRESULT WINAPI GetVexParam(ControlHandle /*handle*/, LONG /*id*/, void* /*buffer*/,
                                      ULONG* /*size*/, ULONG /*flags*/) {
    return E_NOTIMPL;
}
