// The audio endpoints as the platform's device enumerator lists them.
#pragma once

#include "Platform.h"

#include "util/ComPtr.h"

#include <optional>
#include <string>
#include <vector>

namespace vexctl {

// The platform's device enumerator. Throws Failure with the platform's code.
ComPtr<IMMDeviceEnumerator> CreateEnumerator();
// The device's id; nullopt when it gives none.
std::optional<std::string> IdOf(IMMDevice* device);

struct RenderEndpoint {
    std::string id;
    std::string name;  // the friendly name; empty when the endpoint has none
    bool isDefault = false;
};

// The active render endpoints in the enumerator's order; the default console endpoint is
// marked. Throws Failure with the platform's code.
std::vector<RenderEndpoint> ActiveRenderEndpoints();
// The id of the default console render endpoint, or nullopt when there is none.
std::optional<std::string> DefaultRenderEndpointId();

// An endpoint as --endpoint names it, render or capture, in any state.
struct EndpointChoice {
    std::string id;
    std::string name;
    bool render = false;
    bool active = false;
};

// The endpoint that --endpoint TEXT names: its full id, a unique prefix of its id, its friendly
// name (case-insensitive, when one endpoint has it), its index in the list of `endpoints`, or
// "default" (nullopt: the default render endpoint). Throws UsageFailure listing the candidates
// when none or several match.
std::optional<EndpointChoice> ChooseEndpoint(const std::string& text);

// The name of an endpoint form factor, or "unknown" for a value outside the list.
std::string FormFactorName(unsigned long formFactor);

}  // namespace vexctl
