// The DSP route's sessions: for each open endpoint, which of the discovered vendor modules
// serves the main processing and which the low-latency processing (the ranges of the parameter
// table). The exports reach the module driver only through this class. Calls are not
// synchronised; the host serialises them.
#pragma once

#include "EndpointId.h"
#include "Platform.h"

class CTembraDspDrova;
struct ParameterRow;

// Which of the two modules an endpoint's session holds.
struct DspModuleAvailability {
    bool mainModule = false;
    bool lowLatencyModule = false;
};

class DspController {
public:
    // The index that marks a range without a module.
    static constexpr LONG kNoModule = -10;

    // Runs discovery again and, for an endpoint without a session, records its modules. S_OK
    // also when the endpoint has no module (no session then).
    static HRESULT Open(EndpointId endpointId);
    // Ends the endpoint's session; S_OK always.
    static HRESULT Close(EndpointId endpointId);
    // Addresses the module that serves the public id in the driver. E_FAIL without a session,
    // E_INVALIDARG when the session has no module for the id's range.
    static HRESULT SelectModule(EndpointId endpointId, LONG publicId);
    // The session's module index for the public id's range, or kNoModule.
    static LONG GetModuleIndex(EndpointId endpointId, LONG publicId);
    static DspModuleAvailability GetModuleAvailability(EndpointId endpointId);
    // Whether the endpoint has the module of the id's range; true for an id outside both.
    static bool HasModuleFor(EndpointId endpointId, LONG publicId);
    // Selects the module that serves the public id's range and cancels its notification
    // registration.
    static HRESULT CancelNotifications(EndpointId endpointId, LONG publicId);

    // Writes a public parameter (VT_I4 or VT_BLOB) to the module that serves it; the main
    // module's form factor is written first with `formFactor`. Channel values are written one
    // module parameter each, every one of them; the first failure is the result.
    static HRESULT SetParameter(EndpointId endpointId, LONG publicId, const PROPVARIANT& value,
                                ULONG formFactor);
    // Reads a public parameter into `buffer` under the size protocol: `*size` holds the capacity
    // on entry and the size the value needs or has on return. An answer that the id's layout
    // cannot be read from (shorter than the layout, or not one word for an id without a layout)
    // gives kMalformedAnswer with nothing written and `*size` unchanged.
    static HRESULT GetParameter(EndpointId endpointId, LONG publicId, BYTE* buffer, ULONG* size);

    // The process's one module driver.
    static CTembraDspDrova& Driver();

private:
    static HRESULT GetChannels(EndpointId endpointId, const ParameterRow& row, BYTE* buffer,
                               ULONG* size);
};
