#include "EndpointList.h"

#include "Failure.h"
#include "Text.h"

#include "SystemGuids.h"

#include "util/ComPtr.h"
#include "util/ScopedCoMem.h"
#include "util/ScopedPropVariant.h"

#include <algorithm>

namespace vexctl {

ComPtr<IMMDeviceEnumerator> CreateEnumerator() {
    ComPtr<IMMDeviceEnumerator> enumerator;
    const HRESULT hr =
        Received(CoCreateInstance(Guids::kClsidMMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                  Guids::kIidIMMDeviceEnumerator, enumerator.ReceiveVoid()),
                 enumerator);
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

namespace {

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

namespace {

// Every endpoint of a flow in every state, in the enumerator's order.
void AddEndpoints(IMMDeviceEnumerator* enumerator, EDataFlow flow,
                  std::vector<EndpointChoice>* endpoints) {
    ComPtr<IMMDeviceCollection> devices;
    UINT count = 0;
    HRESULT hr = enumerator->EnumAudioEndpoints(flow, DEVICE_STATEMASK_ALL, devices.Receive());
    if (SUCCEEDED(hr)) {
        hr = devices->GetCount(&count);
    }
    if (FAILED(hr)) {
        throw Failure("list the audio endpoints", hr);
    }
    for (UINT i = 0; i < count; ++i) {
        ComPtr<IMMDevice> device;
        DWORD state = 0;
        if (FAILED(devices->Item(i, device.Receive())) || FAILED(device->GetState(&state))) {
            continue;
        }
        if (std::optional<std::string> id = IdOf(device.Get())) {
            endpoints->push_back({std::move(*id), FriendlyNameOf(device.Get()), flow == eRender,
                                  state == DEVICE_STATE_ACTIVE});
        }
    }
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return text;
}

}  // namespace

std::optional<EndpointChoice> ChooseEndpoint(const std::string& text) {
    if (text == "default") {
        return std::nullopt;
    }
    ComPtr<IMMDeviceEnumerator> enumerator = CreateEnumerator();
    std::vector<EndpointChoice> all;
    AddEndpoints(enumerator.Get(), eRender, &all);
    AddEndpoints(enumerator.Get(), eCapture, &all);
    std::vector<EndpointChoice> matches;
    for (const EndpointChoice& endpoint : all) {
        if (endpoint.id == text) {
            return endpoint;
        }
    }
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos &&
        text.size() < 6) {
        // An index of the list that vexctl endpoints shows.
        const std::vector<RenderEndpoint> listed = ActiveRenderEndpoints();
        if (const size_t index = std::stoul(text); index < listed.size()) {
            return *std::find_if(all.begin(), all.end(),
                                 [&](const auto& e) { return e.id == listed[index].id; });
        }
    }
    // The first kind of match that finds any: a beginning of an id, a friendly name in any
    // case, the beginning of one.
    const std::string lower = Lower(text);
    const auto collect = [&](auto matching) {
        for (const EndpointChoice& endpoint : all) {
            if (matches.empty() || matches.back().id != endpoint.id) {
                if (!text.empty() && matching(endpoint)) {
                    matches.push_back(endpoint);
                }
            }
        }
    };
    collect([&](const EndpointChoice& e) { return e.id.rfind(text, 0) == 0; });
    if (matches.empty()) {
        collect([&](const EndpointChoice& e) { return Lower(e.name) == lower; });
    }
    if (matches.empty()) {
        collect([&](const EndpointChoice& e) { return Lower(e.name).rfind(lower, 0) == 0; });
    }
    if (matches.size() == 1) {
        return matches[0];
    }
    std::string message = "--endpoint \"" + text + "\" " +
                          (matches.empty() ? "names no endpoint" : "names several endpoints") +
                          "; it takes an id, a unique beginning of one, a friendly name, an "
                          "index of vexctl endpoints or default. Endpoints:";
    for (const EndpointChoice& endpoint : matches.empty() ? all : matches) {
        message += "\n  " + endpoint.id + "  " + endpoint.name;
        if (!endpoint.render || !endpoint.active) {
            message += std::string(" (") + (endpoint.render ? "" : "capture, ") +
                       (endpoint.active ? "active" : "not active") + ")";
        }
    }
    throw UsageFailure(message);
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
