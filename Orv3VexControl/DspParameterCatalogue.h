// The DSP route's tables: the catalogue that maps each public parameter id the DSP route accepts
// to the module's own parameter number and the parameter's public name, and the module's native
// parameter name lists, one per family of module versions. All of them are constant.
#pragma once

#include "Platform.h"

#include <map>

// The module parameter that bypass is written and read as; every module accepts it, whatever
// its list holds.
inline constexpr ULONG kBypassParam = 1000;

struct DspParameterEntry {
    ULONG moduleParamId;
    const WCHAR* name;
};

// The catalogue, keyed by public parameter id.
const std::map<LONG, DspParameterEntry>& DspParameterCatalogue();
// The entry of a public id, or null when the DSP route does not know the id.
const DspParameterEntry* FindDspParameter(LONG publicId);

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
