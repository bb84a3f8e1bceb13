// Every parameter id that the library takes, from the library's parameter table: the property
// key of each id on the apo route, the module parameter of each id on the dsp route and the ids
// that the library answers itself, with the value form and raw layout that vexctl reads and
// writes. vexctl params and the parameter reference (paramdoc) both show this list.
#pragma once

#include "ValueLayout.h"

#include <optional>
#include <string>
#include <vector>

namespace vexctl {

struct ListedParameter {
    LONG id = 0;
    // The name vexctl takes: the endpoint catalogue's, or the DSP catalogue's for an id that
    // only the dsp route knows; empty for the ids that the library answers itself.
    std::string name;
    bool apo = false;                      // taken on the apo route (bit 0)
    bool dsp = false;                      // taken on the dsp route (bit 1)
    std::string propertyKey;               // "{GUID},pid" on the apo route; empty otherwise
    std::optional<ULONG> moduleParameter;  // the module's parameter number on the dsp route
    std::string moduleName;                // the DSP catalogue's name of the id
    std::string valueForm;                 // what vexctl get shows and set takes
    std::string layout;                    // the caller's raw bytes
    std::string note;                      // what the library does with an id it answers itself
};

// Every parameter, in the order of the ids.
const std::vector<ListedParameter>& ListedParameters();
// The parameter with that id, if any.
const ListedParameter* ListedParameterWithId(LONG id);
// The parameters whose name contains `text`, or whose id is `text`; all for an empty text.
std::vector<ListedParameter> MatchingParameters(const std::string& text);
// Every name of the list, for suggestions.
std::vector<std::string> ListedNames();

// "apo", "dsp" or "apo, dsp".
std::string RouteText(const ListedParameter& parameter);

Json ParametersJson(const std::vector<ListedParameter>& parameters);
std::string ParametersText(const std::vector<ListedParameter>& parameters);
// The parameter reference in Markdown (docs/parameters.md).
std::string ParameterReference();

// What a failed get or set of an id means, when its code says no more than E_FAIL: a
// catalogued parameter that the endpoint does not hold, or an id that the library does not
// know on the route. nullopt when the code says what there is to say.
std::optional<std::string> FailureExplanation(LONG id, ULONG routes, bool get, HRESULT hr);

}  // namespace vexctl
