// The endpoint-effect route: one shared property-store session per endpoint, and the writes
// and reads of catalogued parameters through it. The effect on the endpoint reads its
// parameters from that store. Call on a thread that has initialised COM; calls are not
// synchronised.
#pragma once

#include "EndpointId.h"
#include "Platform.h"

class ApoController {
public:
    // Opens the endpoint's property store, or shares the one already open. S_OK, S_FALSE when
    // the store could be opened only for reading, or the platform's failure code.
    static HRESULT Open(EndpointId endpointId);

    // Undoes one open of the endpoint's session; the last one ends it. Always S_OK.
    static HRESULT Close(EndpointId endpointId);

    // Writes a catalogued parameter under its property key. E_FAIL for an endpoint without a
    // session or an id outside the catalogue; otherwise the store's result.
    static HRESULT SetParameter(EndpointId endpointId, LONG id, const PROPVARIANT& value);

    // Reads a catalogued parameter into value, which the caller then owns and clears.
    static HRESULT GetParameter(EndpointId endpointId, LONG id, PROPVARIANT* value);

    // The endpoint's form factor with a headset taken as headphones and the library's override
    // applied; 10 (unknown) when it cannot be read.
    static ULONG GetFormFactor(EndpointId endpointId);
};
