// The parameters that vexctl knows by name: every id of the endpoint effect's catalogue with
// its name and the shape of its raw value, and the ids that the library answers itself.
#pragma once

#include "Platform.h"

#include <optional>
#include <string>
#include <vector>

namespace vexctl {

// The shape of a parameter's raw value as SetVexParam takes it and GetVexParam gives it.
enum class ValueShape {
    Scalar,               // one 32-bit signed integer
    Unsigned,             // one 32-bit unsigned integer (the form factor)
    Text,                 // a NUL-terminated UTF-16 text (the effect versions)
    Bands,                // n a[20] b[20]
    OptimizerBands,       // n f[20] g[10][20]
    RegulatorTuning,      // n a[20] b[20] c[20] d[20]
    PartialOutputMode,    // w0 k v[k]
    InitInfo,             // w[42]
    DrcMetadata,          // 72 bytes
    FilterConfig,         // n, then n bytes
    OptimizerGains,       // n v[n], at most 160 values read back
    RegulatorThresholds,  // a[20] b[20]
    IsolatedBands,        // a[20]
    CompressorTuning,     // n r[n][6], at most 4 records read back
    StressAmount,         // a[8]
    GainCurve,            // a[5]
    ChannelValues,        // n v[n], at most 8 values read back
    // Values that only the DSP route carries.
    ModulePartialOutput,    // w[34]
    VisBands,               // a[20]
    TuningInfo,             // w[], 40 or 180 words by module version
    CompressorTuningInfo,   // w[88]
    SlidingBassTuningInfo,  // w[160]
};

struct ParameterInfo {
    LONG id;
    const char* name;  // empty for the ids that the library answers itself
    ValueShape shape;
};

// The catalogued parameters in the order of their ids.
const std::vector<ParameterInfo>& CataloguedParameters();

// The parameter that a command line or a preset names: a catalogued name, or a decimal id
// (catalogued or not: the library decides about ids it does not know). nullopt otherwise.
std::optional<ParameterInfo> FindParameter(const std::string& nameOrId);
// A catalogued parameter by id.
std::optional<ParameterInfo> FindCatalogued(LONG id);
// Catalogued names that contain the text, for suggestions after a misspelt name.
std::vector<std::string> NamesContaining(const std::string& fragment);

// "vex_ieq_bands (1114)", or "1004" for an id without a name.
std::string DisplayName(const ParameterInfo& parameter);

}  // namespace vexctl
