#include "Preset.h"

#include "Failure.h"

#include <set>
#include <vector>

namespace vexctl {

namespace {

constexpr const char* kFormat = "vexctl-preset";
constexpr int kVersion = 1;

[[noreturn]] void Refuse(const std::string& origin, const std::string& problem) {
    throw UsageFailure("preset " + origin + " refused, nothing was written: " + problem);
}

}  // namespace

Json MakePreset(const std::optional<std::string>& endpointId,
                const std::vector<PresetValue>& values) {
    Json preset = Json::object();
    preset["format"] = kFormat;
    preset["version"] = kVersion;
    preset["endpoint"] = endpointId ? Json(*endpointId) : Json(nullptr);
    Json parameters = Json::object();
    for (const PresetValue& entry : values) {
        parameters[entry.parameter.name] = entry.value;
    }
    preset["parameters"] = std::move(parameters);
    return preset;
}

std::vector<PresetWrite> ReadPreset(const std::string& text, const std::string& origin) {
    Json preset;
    // A name given twice in one object is refused, not decided by the last one.
    std::vector<std::set<std::string>> names;
    std::string repeated;
    const auto checkNames = [&](int, Json::parse_event_t event, Json& parsed) {
        if (event == Json::parse_event_t::object_start) {
            names.emplace_back();
        } else if (event == Json::parse_event_t::object_end) {
            names.pop_back();
        } else if (event == Json::parse_event_t::key && !names.empty() &&
                   !names.back().insert(parsed.get<std::string>()).second && repeated.empty()) {
            repeated = parsed.get<std::string>();
        }
        return true;
    };
    try {
        preset = Json::parse(text, checkNames);
    } catch (const Json::parse_error& error) {
        Refuse(origin, std::string("not JSON: ") + error.what());
    }
    if (!repeated.empty()) {
        Refuse(origin, "\"" + repeated + "\" is given twice");
    }
    if (!preset.is_object()) {
        Refuse(origin, "not a JSON object");
    }
    for (const auto& [member, value] : preset.items()) {
        if (member == "format") {
            if (value != kFormat) {
                Refuse(origin, "\"format\" is not \"" + std::string(kFormat) + "\"");
            }
        } else if (member == "version") {
            if (value != kVersion) {
                Refuse(origin, "version " + value.dump() +
                                   " is not known (this vexctl reads version " +
                                   std::to_string(kVersion) + ")");
            }
        } else if (member != "endpoint" && member != "comment" && member != "parameters") {
            Refuse(origin, "unknown member \"" + member + "\"");
        }
    }
    if (!preset.contains("parameters") || !preset.at("parameters").is_object()) {
        Refuse(origin, "\"parameters\" is missing or not an object");
    }
    std::vector<PresetWrite> writes;
    std::set<LONG> seen;
    for (const auto& [name, value] : preset.at("parameters").items()) {
        const std::optional<ParameterInfo> found = FindParameter(name);
        if (!found || !IsPresetParameter(*found)) {
            Refuse(origin, "unknown parameter \"" + name + "\"");
        }
        if (!seen.insert(found->id).second) {
            Refuse(origin, DisplayName(*found) + " is given twice");
        }
        try {
            writes.push_back({*found, EncodeValue(*found, value)});
        } catch (const UsageFailure& failure) {
            Refuse(origin, failure.what());
        }
    }
    return writes;
}

}  // namespace vexctl
