// The module's native parameter name lists, one per family of module versions; constant. The
// public ids and the module parameters they are written as are in the parameter table.
#pragma once

#include "Platform.h"

// A module's native names: names[i] is module parameter base + i.
struct ModuleParamNames {
    const WCHAR* const* names;
    ULONG length;
    ULONG base;
};

// The system parameters every module has (module ids 0..6).
const ModuleParamNames& CommonModuleParamNames();
// The list for a module whose version label is given (a prefix test on the label; null or an
// unknown label gives the default list).
const ModuleParamNames& ModuleParamNamesFor(const WCHAR* versionLabel);
// The native name of a module parameter in a list, or null when the list does not hold it.
const WCHAR* ModuleParamName(const ModuleParamNames& list, ULONG moduleParamId);
