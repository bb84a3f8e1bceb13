#include "ParameterTable.h"

#include "Text.h"
#include "ValueLayout.h"

#include "Orv3VexControl.h"

#include <cerrno>
#include <cstdlib>

namespace vexctl {

namespace {

ParameterInfo InfoOf(const ParameterRow& row) {
    return ParameterInfo{row.id, VexctlName(row), row.layout};
}

std::optional<LONG> ParseDecimalId(const std::string& text) {
    if (text.empty() || text.size() > 11) {
        return std::nullopt;
    }
    size_t start = text[0] == '-' ? 1 : 0;
    if (start == text.size()) {
        return std::nullopt;
    }
    for (size_t i = start; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
    }
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (errno != 0 || value < INT32_MIN || value > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<LONG>(value);
}

}  // namespace

std::string NormalizedName(const std::string& name) {
    std::string normalized = name;
    for (char& c : normalized) {
        c = c == '-' ? '_' : (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    }
    return normalized;
}

bool SameName(const std::string& a, const std::string& b) {
    return NormalizedName(a) == NormalizedName(b);
}

std::string VexctlName(const ParameterRow& row) {
    if (row.answered != 0) {
        return std::string();
    }
    return ToUtf8(WString(row.name != nullptr ? row.name : row.moduleName));
}

std::optional<ParameterInfo> FindParameter(const std::string& nameOrId) {
    if (const std::optional<LONG> id = ParseDecimalId(nameOrId)) {
        const ParameterRow* row = FindParameterRow(*id);
        return row != nullptr ? InfoOf(*row) : ParameterInfo{*id, "", &kOneWord};
    }
    for (const ParameterRow& row : ParameterRows()) {
        if (!nameOrId.empty() && SameName(VexctlName(row), nameOrId)) {
            return InfoOf(row);
        }
    }
    return std::nullopt;
}

std::vector<std::string> NamesContaining(const std::string& fragment) {
    std::vector<std::string> names;
    if (fragment.empty()) {
        return names;
    }
    for (const ParameterRow& row : ParameterRows()) {
        const std::string name = row.Stored() ? ToUtf8(WString(row.name)) : std::string();
        if (!name.empty() &&
            NormalizedName(name).find(NormalizedName(fragment)) != std::string::npos) {
            names.push_back(name);
        }
    }
    return names;
}

std::string DisplayName(const ParameterInfo& parameter) {
    if (parameter.name.empty()) {
        return std::to_string(parameter.id);
    }
    return parameter.name + " (" + std::to_string(parameter.id) + ")";
}

bool IsPresetParameter(const ParameterInfo& parameter) {
    return !parameter.name.empty();
}

bool TravelsAsBlock(const ParameterInfo& parameter) {
    const ParameterRow* row = FindParameterRow(parameter.id);
    return row != nullptr && !row->Stored() && IsStructured(*row->layout);
}

std::vector<ParameterInfo> ParametersOnRoutes(ULONG routes) {
    const bool dsp = (routes & VEX_ROUTE_DSP) != 0;
    const bool storeToo = (routes & VEX_ROUTE_APO) != 0;
    std::vector<ParameterInfo> parameters;
    for (const ParameterRow& row : ParameterRows()) {
        const bool listed = dsp ? row.OnDsp() && (row.Stored() || !storeToo) : row.Stored();
        if (listed && !VexctlName(row).empty()) {
            parameters.push_back(InfoOf(row));
        }
    }
    return parameters;
}

}  // namespace vexctl
