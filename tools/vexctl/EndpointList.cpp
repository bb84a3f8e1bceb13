#include "EndpointList.h"

#include "Failure.h"
#include "Text.h"

#include "SystemGuids.h"

#include "util/ComPtr.h"
#include "util/ScopedCoMem.h"
#include "util/ScopedPropVariant.h"

namespace vexctl {

namespace {

ComPtr<IMMDeviceEnumerator> CreateEnumerator() {
    ComPtr<IMMDeviceEnumerator> enumerator;
    const HRESULT hr = CoCreateInstance(Guids::kClsidMMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                        Guids::kIidIMMDeviceEnumerator, enumerator.ReceiveVoid());
    if (FAILED(hr)) {
        throw Failure("create the audio device enumerator", hr);
    }
    return enumerator;
}

std::optional<std::string> IdOf(IMMDevice* device) {
    ScopedCoMem<WCHAR> id;
    if (FAILED(device->GetId(id.Receive())) || id.Get() == nullptr) {
        return std::nullopt;
    }
    return ToUtf8(WString(id.Get()));
}

std::string FriendlyNameOf(IMMDevice* device) {
    ComPtr<IPropertyStore> store;
    if (FAILED(device->OpenPropertyStore(STGM_READ, store.Receive()))) {
        return std::string();
    }
    ScopedPropVariant value;
    if (FAILED(store->GetValue(Guids::kPkeyDeviceFriendlyName, value.Receive())) ||
        value.Type() != VT_LPWSTR || value.Get().pwszVal == nullptr) {
        return std::string();
    }
    return ToUtf8(WString(value.Get().pwszVal));
}

std::optional<std::string> DefaultId(IMMDeviceEnumerator* enumerator) {
    ComPtr<IMMDevice> device;
    if (FAILED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.Receive()))) {
        return std::nullopt;
    }
    return IdOf(device.Get());
}

}  // namespace

std::vector<RenderEndpoint> ActiveRenderEndpoints() {
    ComPtr<IMMDeviceEnumerator> enumerator = CreateEnumerator();
    const std::optional<std::string> defaultId = DefaultId(enumerator.Get());

    ComPtr<IMMDeviceCollection> devices;
    HRESULT hr = enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, devices.Receive());
    if (FAILED(hr)) {
        throw Failure("list the active render endpoints", hr);
    }
    UINT count = 0;
    hr = devices->GetCount(&count);
    if (FAILED(hr)) {
        throw Failure("count the active render endpoints", hr);
    }
    std::vector<RenderEndpoint> endpoints;
    for (UINT i = 0; i < count; ++i) {
        ComPtr<IMMDevice> device;
        hr = devices->Item(i, device.Receive());
        if (FAILED(hr)) {
            throw Failure("get render endpoint " + std::to_string(i), hr);
        }
        std::optional<std::string> id = IdOf(device.Get());
        if (!id) {
            continue;
        }
        RenderEndpoint endpoint;
        endpoint.isDefault = defaultId && *defaultId == *id;
        endpoint.id = std::move(*id);
        endpoint.name = FriendlyNameOf(device.Get());
        endpoints.push_back(std::move(endpoint));
    }
    return endpoints;
}

std::optional<std::string> DefaultRenderEndpointId() {
    try {
        ComPtr<IMMDeviceEnumerator> enumerator = CreateEnumerator();
        return DefaultId(enumerator.Get());
    } catch (const Failure&) {
        return std::nullopt;
    }
}

std::string FormFactorName(unsigned long formFactor) {
    static const char* const kNames[] = {
        "remote network device",
        "speakers",
        "line level",
        "headphones",
        "microphone",
        "headset",
        "handset",
        "unknown digital passthrough",
        "S/PDIF",
        "digital audio display device",
        "unknown form factor",
    };
    if (formFactor < sizeof kNames / sizeof kNames[0]) {
        return kNames[formFactor];
    }
    return "unknown";
}

}  // namespace vexctl
