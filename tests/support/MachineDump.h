// Reading a simulated machine's JSON (a dump or a machine file) in tests.
#pragma once

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <string>

namespace vextest {

inline std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// One endpoint's property ("{fmtid},pid", any letter case), or null when unset.
inline nlohmann::json DumpedProperty(const nlohmann::json& machine, const std::string& endpointId,
                                     const std::string& key) {
    for (const auto& endpoint : machine.at("endpoints")) {
        if (endpoint.at("id") != endpointId || !endpoint.contains("properties")) {
            continue;
        }
        for (const auto& [name, value] : endpoint.at("properties").items()) {
            if (Upper(name) == Upper(key)) {
                return value;
            }
        }
    }
    return nullptr;
}

}  // namespace vextest
