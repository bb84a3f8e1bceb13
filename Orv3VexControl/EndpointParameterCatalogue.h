// The endpoint parameter catalogue: for every parameter id that the endpoint effect accepts,
// the property key that holds it and the parameter's name (used in records only).
#pragma once

#include "Platform.h"

#include <vector>

struct EndpointParameterEntry {
    PROPERTYKEY key;
    WString name;
};

// The result of a lookup. A miss gives an empty name, an all-zero key and found = false. The
// name points into the catalogue, which outlives every caller.
struct EndpointParameterInfo {
    const WCHAR* name = TEXT("");
    PROPERTYKEY key;
    bool found;
};

// Looks a parameter id up in the catalogue, which is built while the library loads and never
// changes afterwards.
EndpointParameterInfo LookupEndpointParameter(LONG id);
// Every catalogued id, in ascending order (for tools that list the catalogue).
std::vector<LONG> EndpointParameterIds();
