// Which build of the endpoint effect is installed: the effect class ids that the endpoint's
// effect configuration lists, mapped to version labels.
#pragma once

#include "Platform.h"
#include "PolicyConfig.h"

#include <vector>

// The version label of the main (1001) or low-latency (2001) effect installed on the
// endpoint, such as "vex2.10-lite"; the empty text when none is recognised or nothing could
// be read. Call on a thread that has initialised COM.
WString GetApoVersion(const WCHAR* endpointId, LONG parameterId);

// The strings that the endpoint's FX store holds under the key, in stored order; empty when
// the key cannot be read or holds no string.
std::vector<WString> ReadFxClsidStrings(IPolicyConfigVistaClient* policyConfig,
                                        const WCHAR* endpointId, const PROPERTYKEY& key);

// Reads a REG_SZ value of an open key, again with the size the system asks for when the value
// has no terminator or grew since it was sized; the Win32 status (0 on success).
LSTATUS ReadRegistryString(HKEY key, const WCHAR* valueName, WString* text);
