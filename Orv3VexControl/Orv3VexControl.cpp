// The five exported functions: the control handle, the route flags, the special parameter
// ids and the resolution of the default endpoint. The host calls on a thread that has
// initialised COM and serialises its calls.
#include "Platform.h"

#include "../include/Orv3VexControl.h"
#include "ApoController.h"
#include "ApoVersion.h"
#include "DspController.h"
#include "TembraDspDrova.h"
#include "Guids.h"
#include "ParameterConversion.h"
#include "util/ComPtr.h"
#include "util/Log.h"
#include "util/ScopedCoMem.h"
#include "util/ScopedPropVariant.h"
#include "util/TextKey.h"
#include "util/Unload.h"

#include <cstring>
#include <map>
#include <memory>
#include <new>

namespace {

constexpr ULONG kRouteEndpointEffect = VEX_ROUTE_APO;
constexpr ULONG kRouteDsp = VEX_ROUTE_DSP;

// The handles this library gave out and has not yet taken back. A handle is a NUL-terminated
// copy of its endpoint id; anything else a host passes is refused, never read or freed.
struct LiveHandle {
    std::unique_ptr<WCHAR[]> text;
    size_t length = 0;
};
std::map<ControlHandle, LiveHandle> LiveHandles;

// The endpoint id of a live handle, with the length kept beside it; an id whose text is
// nullptr for anything else.
EndpointId EndpointIdOf(ControlHandle handle) {
    const auto it = LiveHandles.find(handle);
    if (it == LiveHandles.end()) {
        return EndpointId(nullptr, 0);
    }
    return EndpointId(it->second.text.get(), it->second.length);
}

// True when a live handle other than `handle` is open on the same endpoint.
bool EndpointHasOtherHandle(ControlHandle handle, EndpointId endpoint) {
    for (const auto& [other, live] : LiveHandles) {
        if (other != handle && Util::SameText({live.text.get(), live.length}, endpoint.View())) {
            return true;
        }
    }
    return false;
}

// Opens the endpoint's DSP session. Nothing it meets fails the open, running out of memory
// included: the store session stays open and the handle is given out without a DSP route.
void OpenDspSession(const WCHAR* endpointId) noexcept {
    try {
        static_cast<void>(DspController::Open(endpointId));
    } catch (...) {
        VEX_LOG(Util::kLevelError, "OpenVexControl",
                "DSP module for device[%s] could not be opened: out of memory.", endpointId);
    }
}

// Runs an export's body: no exception leaves the library, and allocation failure is reported
// as E_OUTOFMEMORY.
template <typename Body>
HRESULT Guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// The id of the default console render endpoint, or the empty text when it cannot be found.
WString GetDefaultDeviceId() {
    ComPtr<IMMDeviceEnumerator> enumerator;
    HRESULT hr = CoCreateInstance(Guids::kClsidMMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                  Guids::kIidIMMDeviceEnumerator, enumerator.ReceiveVoid());
    if (FAILED(hr)) {
        VEX_LOG(Util::kLevelError, "GetDefaultDeviceId",
                "Create instance for MMDeviceEnumerator failed: [0x%.8x]%s", hr,
                Util::ErrorText{hr});
        return WString();
    }
    ComPtr<IMMDevice> device;
    hr = enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.Receive());
    if (FAILED(hr)) {
        VEX_LOG(Util::kLevelError, "GetDefaultDeviceId", "Failed to get default device. [0x%.8x]%s",
                hr, Util::ErrorText{hr});
        return WString();
    }
    ScopedCoMem<WCHAR> id;
    hr = device->GetId(id.Receive());
    if (FAILED(hr) || id.Get() == nullptr) {
        if (SUCCEEDED(hr)) {
            hr = E_POINTER;
        }
        VEX_LOG(Util::kLevelError, "GetDefaultDeviceId",
                "Failed to get device ID of default device. [0x%.8x]%s", hr, Util::ErrorText{hr});
        return WString();
    }
    return WString(id.Get());
}

// Copies a version text with its NUL into the caller's buffer under the size protocol.
HRESULT CopyVersionText(const WString& text, void* buffer, ULONG* size) {
    const ULONG required = static_cast<ULONG>((text.size() + 1) * sizeof(WCHAR));
    const ULONG capacity = *size;
    *size = required;
    if (capacity < required) {
        return E_INVALIDARG;
    }
    std::memcpy(buffer, text.c_str(), required);
    return S_OK;
}

// The DSP route lets an id of a range through only when the endpoint has that range's module;
// ids outside both ranges pass.
HRESULT CheckDspAvailability(const WCHAR* endpointId, LONG id) {
    const DspModuleAvailability modules = DspController::GetModuleAvailability(endpointId);
    if ((!modules.mainModule && id >= 1001 && id <= 1998) ||
        (!modules.lowLatencyModule && id >= 2001 && id <= 2998)) {
        return E_INVALIDARG;
    }
    return S_OK;
}

// Sets a value on the routes that the flags choose; what SetVexVariantParam and SetVexParam
// do once the handle and the value are good. With both routes the store's result is dropped:
// the caller gets the DSP route's.
HRESULT SetOnRoutes(EndpointId endpoint, LONG id, const PROPVARIANT& value, ULONG flags) {
    HRESULT result = S_OK;
    if ((flags & kRouteEndpointEffect) != 0) {
        result = ApoController::SetParameter(endpoint, id, value);
    }
    if ((flags & kRouteDsp) == 0) {
        return result;
    }
    const WCHAR* endpointId = endpoint.Text();
    result = CheckDspAvailability(endpointId, id);
    if (FAILED(result)) {
        return result;
    }
    const ULONG formFactor = ApoController::GetFormFactor(endpoint);
    return DspController::SetParameter(endpointId, id, value, formFactor);
}

// Selects the DSP module of a range (1003 main, 2003 low latency) and cancels its notification
// registration. The caller's 8 bytes are not read.
HRESULT SelectDspModule(const WCHAR* endpointId, LONG id, const void* buffer, ULONG size,
                        ULONG flags) {
    if (size != 8 || (flags & kRouteDsp) == 0 || buffer == nullptr) {
        return E_INVALIDARG;
    }
    const HRESULT hr = DspController::SelectModule(endpointId, id);
    if (FAILED(hr)) {
        return hr;
    }
    return DspController::Driver().UnregisterCallbackEvent();
}

}  // namespace

extern "C" HRESULT WINAPI OpenVexControl(ControlHandle* handleOut, LPCWSTR endpointId) {
    return Guarded([&]() -> HRESULT {
        if (handleOut == nullptr) {
            return E_INVALIDARG;
        }
        const WString id = endpointId != nullptr ? WString(endpointId) : GetDefaultDeviceId();
        const HRESULT result = ApoController::Open(id.c_str());
        if (FAILED(result)) {
            return result;
        }
        // The DSP session is opened for every endpoint the store opened; an endpoint without a
        // usable module, or whose DSP open failed, still opens.
        OpenDspSession(id.c_str());
        try {
            auto copy = std::make_unique<WCHAR[]>(id.size() + 1);
            std::memcpy(copy.get(), id.c_str(), id.size() * sizeof(WCHAR));
            ControlHandle handle = copy.get();
            LiveHandles.emplace(handle, LiveHandle{std::move(copy), id.size()});
            *handleOut = handle;
        } catch (...) {
            ApoController::Close(id.c_str());
            if (!EndpointHasOtherHandle(nullptr, EndpointId(id.c_str(), id.size()))) {
                static_cast<void>(DspController::Close(id.c_str()));
            }
            throw;
        }
        return result;
    });
}

extern "C" HRESULT WINAPI CloseVexControl(ControlHandle handle) {
    return Guarded([&]() -> HRESULT {
        const EndpointId endpoint = EndpointIdOf(handle);
        const WCHAR* endpointId = endpoint.Text();
        if (endpointId == nullptr) {
            return E_INVALIDARG;
        }
        const HRESULT result = ApoController::Close(endpointId);
        if (FAILED(result)) {
            return result;
        }
        // The DSP session keeps no count of its own: it ends with the endpoint's last handle,
        // so another handle on the same endpoint keeps its DSP route.
        if (!EndpointHasOtherHandle(handle, endpoint)) {
            static_cast<void>(DspController::Close(endpointId));
        }
        LiveHandles.erase(handle);
        return result;
    });
}

extern "C" HRESULT WINAPI SetVexVariantParam(ControlHandle handle, LONG id,
                                             const PROPVARIANT* value, ULONG flags) {
    return Guarded([&]() -> HRESULT {
        const EndpointId endpoint = EndpointIdOf(handle);
        const WCHAR* endpointId = endpoint.Text();
        if (endpointId == nullptr || value == nullptr) {
            return E_INVALIDARG;
        }
        return SetOnRoutes(endpoint, id, *value, flags);
    });
}

extern "C" HRESULT WINAPI SetVexParam(ControlHandle handle, LONG id, const void* buffer, ULONG size,
                                      ULONG flags) {
    return Guarded([&]() -> HRESULT {
        const EndpointId endpoint = EndpointIdOf(handle);
        const WCHAR* endpointId = endpoint.Text();
        if (endpointId == nullptr) {
            return E_INVALIDARG;
        }
        if (id == VEX_PARAM_MAIN_MODULE || id == VEX_PARAM_LOW_LATENCY_MODULE) {
            return SelectDspModule(endpointId, id, buffer, size, flags);
        }
        ConvertedParameter converted =
            ConvertParameterToPropVariant(id, static_cast<const BYTE*>(buffer), size);
        if (!converted.Valid()) {
            return converted.Result() == E_OUTOFMEMORY ? E_OUTOFMEMORY : E_INVALIDARG;
        }
        return SetOnRoutes(endpoint, id, converted.Value(), flags);
    });
}

extern "C" HRESULT WINAPI GetVexParam(ControlHandle handle, LONG id, void* buffer, ULONG* size,
                                      ULONG flags) {
    return Guarded([&]() -> HRESULT {
        const EndpointId endpoint = EndpointIdOf(handle);
        const WCHAR* endpointId = endpoint.Text();
        if (endpointId == nullptr || size == nullptr || (buffer == nullptr && *size != 0)) {
            return E_INVALIDARG;
        }
        HRESULT result = S_OK;
        if ((flags & kRouteEndpointEffect) != 0) {
            if (id == VEX_PARAM_MAIN_VERSION || id == VEX_PARAM_LOW_LATENCY_VERSION) {
                result = CopyVersionText(GetApoVersion(endpointId, id), buffer, size);
                if (FAILED(result)) {
                    return result;
                }
            } else if (id == VEX_PARAM_FORM_FACTOR) {
                const ULONG formFactor = ApoController::GetFormFactor(endpoint);
                const ULONG capacity = *size;
                *size = sizeof(ULONG);
                if (capacity < sizeof(ULONG)) {
                    return E_INVALIDARG;
                }
                std::memcpy(buffer, &formFactor, sizeof formFactor);
            } else {
                ScopedPropVariant value;
                result = ApoController::GetParameter(endpoint, id, value.Receive());
                if (FAILED(result)) {
                    return result;
                }
                if (value.Type() == VT_EMPTY) {
                    return E_FAIL;
                }
                result = ConvertPropVariantToParameter(id, static_cast<BYTE*>(buffer), size,
                                                       value.Get());
                if (FAILED(result)) {
                    return result;
                }
            }
        }
        if ((flags & kRouteDsp) == 0) {
            return result;
        }
        result = CheckDspAvailability(endpointId, id);
        if (FAILED(result)) {
            return result;
        }
        return DspController::GetParameter(endpointId, id, static_cast<BYTE*>(buffer), size);
    });
}

#ifdef _WIN32
// The loader calls this before the library's static objects are destroyed. A detach with a
// non-null reserved pointer is the process terminating: the tables then abandon the references
// they hold instead of calling into modules that may already be gone.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr) {
        Util::MarkProcessTerminating();
    }
    return TRUE;
}
#endif
