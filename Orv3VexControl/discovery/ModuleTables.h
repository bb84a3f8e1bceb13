// The vendor module GUIDs that discovery knows, with the version label of each: the Intel-type
// modules of the vendor set and the AMD-type modules that the presence probe asks for.
#pragma once

#include "Platform.h"

#include <map>

// The version labels of the known module GUIDs, ordered by the GUIDs' bytes (that order is the
// order in which the AMD-type modules are probed).
struct GuidByteOrder {
    bool operator()(const GUID& left, const GUID& right) const;
};
using ModuleVersionLabels = std::map<GUID, const WCHAR*, GuidByteOrder>;
extern const ModuleVersionLabels IntelModuleVersionLabels;
extern const ModuleVersionLabels AmdModuleVersionLabels;
