#include "DspParameters.h"

#include "ValueLayout.h"

#include <algorithm>

namespace vexctl {

namespace {

using S = ValueShape;

// The public ids that the module route accepts besides the ones the library answers itself:
// 41 of the main processing, 37 of the low-latency processing.
const std::vector<LONG> kDspIds = [] {
    std::vector<LONG> ids = {1002, 1004, 1005, 1101, 1102, 1103, 1104, 1105, 1106, 1107, 1108,
                             1109, 1110, 1111, 1112, 1113, 1114, 1123, 1124, 1125, 1126, 1127,
                             1128, 1136, 1137, 1138, 1139, 1140, 1141, 1148, 1151, 1152, 1153,
                             1157, 1158, 1159, 1160, 1162, 1163, 1166, 1168, 2002};
    for (LONG id = 2103; id <= 2138; ++id) {
        ids.push_back(id);
    }
    return ids;
}();

// What only the module route carries, in the order of the ids. The named ones keep the
// module catalogue's names; the module-identity ids are answered by the library.
const std::vector<ParameterInfo> kDspOnly = {
    {1006, "", S::Text},      // main module GUID
    {1007, "", S::Text},      // main module name
    {1008, "", S::Unsigned},  // main module type
    {1141, "vex_cpdp-partial-output-mode", S::ModulePartialOutput},
    {2004, "", S::Text},      // low-latency module GUID
    {2005, "", S::Text},      // low-latency module name
    {2006, "", S::Unsigned},  // low-latency module type
    {2007, "", S::Text},      // low-latency module version text
    {2125, "drova-regulator-tuning-info", S::TuningInfo},
    {2126, "drova-vis-bands", S::VisBands},
    {2127, "drova-mb-compressor-tuning-info", S::CompressorTuningInfo},
    {2128, "drova-limiter-gain", S::Scalar},
    {2136, "drova_sliding_bass_tuning_info", S::SlidingBassTuningInfo},
};

bool Named(const ParameterInfo& parameter) {
    return parameter.name != nullptr && *parameter.name != 0;
}

}  // namespace

std::optional<ParameterInfo> FindDspOnly(LONG id) {
    const auto it =
        std::lower_bound(kDspOnly.begin(), kDspOnly.end(), id,
                         [](const ParameterInfo& entry, LONG wanted) { return entry.id < wanted; });
    if (it == kDspOnly.end() || it->id != id) {
        return std::nullopt;
    }
    return *it;
}

std::optional<ParameterInfo> FindDspOnlyNamed(const std::string& name) {
    for (const ParameterInfo& entry : kDspOnly) {
        if (Named(entry) && name == entry.name) {
            return entry;
        }
    }
    return std::nullopt;
}

bool IsPresetParameter(const ParameterInfo& parameter) {
    if (FindCatalogued(parameter.id)) {
        return true;
    }
    const std::optional<ParameterInfo> dsp = FindDspOnly(parameter.id);
    return dsp && Named(*dsp);
}

std::vector<ParameterInfo> ParametersOnRoutes(ULONG routes) {
    if ((routes & VEX_ROUTE_DSP) == 0) {
        return CataloguedParameters();
    }
    const bool storeToo = (routes & VEX_ROUTE_APO) != 0;
    std::vector<ParameterInfo> parameters;
    for (const LONG id : kDspIds) {
        if (std::optional<ParameterInfo> catalogued = FindCatalogued(id)) {
            parameters.push_back(*catalogued);
        } else if (std::optional<ParameterInfo> dsp = FindDspOnly(id);
                   !storeToo && dsp && Named(*dsp)) {
            parameters.push_back(*dsp);
        }
    }
    return parameters;
}

int DspRangeOf(LONG id) {
    if (id >= 1001 && id <= 1998) {
        return 1;
    }
    if (id >= 2001 && id <= 2998) {
        return 2;
    }
    return 0;
}

}  // namespace vexctl
