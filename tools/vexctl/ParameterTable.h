// The parameters as vexctl knows them, read from the library's parameter table: the name that
// vexctl takes for each id and the layout of its raw value.
#pragma once

#include "parameters/ParameterTable.h"

#include <optional>
#include <string>
#include <vector>

namespace vexctl {

struct ParameterInfo {
    LONG id;
    std::string name;  // empty for the ids that the library answers itself
    const ValueLayout* layout;
};

// The name that vexctl takes for a row: the endpoint effect's, or the DSP catalogue's for an id
// that only the dsp route knows; none for an id that the library answers itself.
std::string VexctlName(const ParameterRow& row);

// A name as vexctl compares names: lower case, with '-' and '_' alike.
std::string NormalizedName(const std::string& name);
bool SameName(const std::string& a, const std::string& b);

// The parameter that a command line or a preset names: a name, or a decimal id (in the table or
// not: the library decides about ids it does not know). nullopt otherwise.
std::optional<ParameterInfo> FindParameter(const std::string& nameOrId);
// The endpoint effect's names that contain the text, for suggestions after a misspelt name.
std::vector<std::string> NamesContaining(const std::string& fragment);
// "vex_ieq_bands (1114)", or "1004" for an id without a name.
std::string DisplayName(const ParameterInfo& parameter);

// True for a parameter that a preset may hold: one with a name.
bool IsPresetParameter(const ParameterInfo& parameter);
// True for a structured value that only the dsp route carries: SetVexParam would send its first
// word alone, so it travels to SetVexVariantParam as a byte block.
bool TravelsAsBlock(const ParameterInfo& parameter);

// The named parameters that the routes can read, in the order of their ids: the endpoint
// effect's for the apo route alone, the DSP catalogue's named ids for the dsp route alone, and
// the ids that both hold for both routes.
std::vector<ParameterInfo> ParametersOnRoutes(ULONG routes);

}  // namespace vexctl
