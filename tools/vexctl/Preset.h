// Presets: the parameters that are set on an endpoint, as a JSON document that dump writes and
// load reads back:
//   {"format": "vexctl-preset", "version": 1, "endpoint": "...",
//    "parameters": {"vex_system_gain": -6, "vex_ieq_bands": {"n": 3, "a": [...], "b": [...]}}}
#pragma once

#include "ParameterTable.h"
#include "ValueLayout.h"

#include <optional>
#include <string>
#include <vector>

namespace vexctl {

struct PresetValue {
    ParameterInfo parameter;
    Json value;
};

// The preset document of the values, in their order.
Json MakePreset(const std::optional<std::string>& endpointId,
                const std::vector<PresetValue>& values);

struct PresetWrite {
    ParameterInfo parameter;
    std::vector<BYTE> bytes;
};

// Every write of a preset text, checked in full: parameters named by catalogue name or id,
// values in their JSON form. Throws UsageFailure naming `origin` and the first fault.
std::vector<PresetWrite> ReadPreset(const std::string& text, const std::string& origin);

}  // namespace vexctl
