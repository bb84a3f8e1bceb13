// The parameters of the DSP route as vexctl knows them: which public ids the module route
// accepts, and the values that only the module route carries (no property-store entry), with
// their names and the shapes of their raw values, so that they are shown and accepted in the
// same forms as the property-store ones.
#pragma once

#include "ParameterTable.h"

#include "Orv3VexControl.h"

#include <optional>
#include <string>
#include <vector>

namespace vexctl {

// A parameter that only the DSP route carries, by id: the named module parameters without a
// property-store entry, and the module-identity ids that the library answers itself on that
// route (module GUID, name, type, version text; these have no name).
std::optional<ParameterInfo> FindDspOnly(LONG id);
// A named DSP-only parameter by its name.
std::optional<ParameterInfo> FindDspOnlyNamed(const std::string& name);
// True for a parameter that a preset may hold: a catalogued one or a named DSP-only one.
bool IsPresetParameter(const ParameterInfo& parameter);

// The named parameters that the routes can read, in the order of their ids: the property
// store's catalogue for the endpoint effect alone, the module catalogue's named ids for the
// DSP route alone, and the ids that both catalogues hold for both routes.
std::vector<ParameterInfo> ParametersOnRoutes(ULONG routes);

// The id range (1001..1998 main, 2001..2998 low latency) of a public id: 1, 2, or 0 for
// neither.
int DspRangeOf(LONG id);

}  // namespace vexctl
