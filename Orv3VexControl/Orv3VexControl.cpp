// The five exported functions: the control handle, the route flags, the special parameter
// ids and the resolution of the default endpoint. The host calls on a thread that has
// initialised COM and serialises its calls.
#include "Platform.h"

#include "Orv3VexControl.h"
#include "apo/ApoController.h"
#include "apo/ApoVersion.h"
#include "conversion/ParameterConversion.h"
#include "dsp/DspController.h"
#include "parameters/Guids.h"
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
void OpenDspSession(EndpointId endpoint) noexcept {
    try {
        static_cast<void>(DspController::Open(endpoint));
    } catch (...) {
        VEX_LOG(Util::kLevelError, "OpenVexControl",
                "DSP module for device[%s] could not be opened: out of memory.", endpoint.Text());
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
        VEX_FAIL(Util::kLevelError, "GetDefaultDeviceId", hr,
                 "Create instance for MMDeviceEnumerator failed: [0x%.8x]%s");
        return WString();
    }
    ComPtr<IMMDevice> device;
    hr = enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.Receive());
    if (FAILED(hr)) {
        VEX_FAIL(Util::kLevelError, "GetDefaultDeviceId", hr,
                 "Failed to get default device. [0x%.8x]%s");
        return WString();
    }
    ScopedCoMem<WCHAR> id;
    hr = device->GetId(id.Receive());
    if (FAILED(hr) || id.Get() == nullptr) {
        if (SUCCEEDED(hr)) {
            hr = E_POINTER;
        }
        VEX_FAIL(Util::kLevelError, "GetDefaultDeviceId", hr,
                 "Failed to get device ID of default device. [0x%.8x]%s");
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
    // The DSP route lets an id of a range through only when the endpoint has that range's
    // module.
    if (!DspController::HasModuleFor(endpoint, id)) {
        return E_INVALIDARG;
    }
    const ULONG formFactor = ApoController::GetFormFactor(endpoint);
    return DspController::SetParameter(endpoint, id, value, formFactor);
}

// Selects the DSP module of a range (1003 main, 2003 low latency) and cancels its notification
// registration. The caller's 8 bytes are not read.
HRESULT SelectDspModule(EndpointId endpoint, LONG id, const void* buffer, ULONG size, ULONG flags) {
    if (size != 8 || (flags & kRouteDsp) == 0 || buffer == nullptr) {
        return E_INVALIDARG;
    }
    return DspController::CancelNotifications(endpoint, id);
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
        OpenDspSession(EndpointId(id.c_str(), id.size()));
        try {
            auto copy = std::make_unique<WCHAR[]>(id.size() + 1);
            std::memcpy(copy.get(), id.c_str(), id.size() * sizeof(WCHAR));
            ControlHandle handle = copy.get();
            LiveHandles.emplace(handle, LiveHandle{std::move(copy), id.size()});
            *handleOut = handle;
        } catch (...) {
            ApoController::Close(id.c_str());
            const EndpointId endpoint(id.c_str(), id.size());
            if (!EndpointHasOtherHandle(nullptr, endpoint)) {
                static_cast<void>(DspController::Close(endpoint));
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
            static_cast<void>(DspController::Close(endpoint));
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
            return SelectDspModule(endpoint, id, buffer, size, flags);
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
        if (!DspController::HasModuleFor(endpoint, id)) {
            return E_INVALIDARG;
        }
        return DspController::GetParameter(endpoint, id, static_cast<BYTE*>(buffer), size);
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
