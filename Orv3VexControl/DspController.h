// The DSP route's sessions: for each open endpoint, which of the discovered vendor modules
// serves the main processing (public ids 1001..1998) and which the low-latency processing
// (2001..2998). Calls are not synchronised; the host serialises them.
#pragma once

#include "Platform.h"

class CTembraDspDrova;

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
    static HRESULT Open(const WCHAR* endpointId);
    // Ends the endpoint's session; S_OK always.
    static HRESULT Close(const WCHAR* endpointId);
    // Addresses the module that serves the public id in the driver. E_FAIL without a session,
    // E_INVALIDARG when the session has no module for the id's range.
    static HRESULT SelectModule(const WCHAR* endpointId, LONG publicId);
    // The session's module index for the public id's range, or kNoModule.
    static LONG GetModuleIndex(const WCHAR* endpointId, LONG publicId);
    static DspModuleAvailability GetModuleAvailability(const WCHAR* endpointId);

    // The process's one module driver.
    static CTembraDspDrova& Driver();
};
