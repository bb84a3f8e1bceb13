// The connector search of discovery: from an endpoint's first connector through the device
// topology, filter by filter, to the software connector of the wave filter, and the wave
// filter's pins and KS control.
#pragma once

#include "Platform.h"
#include "util/ComPtr.h"

#include <set>

// The pin id that a connector's local id names.
constexpr ULONG PinOf(UINT localId) {
    return localId & 0xFFFFu;
}

// The walk through one filter's parts from `startPart` to the filter's next connector: routes
// the selectors on the way, reads the audio engine's offload pin, and replaces the connector
// part and the current connector with the connector reached. S_OK when a connector was reached,
// S_FALSE when the parts lead nowhere, or the failing code.
HRESULT PPFindConnectorPart(ULONG dataFlow, IPart* startPart, ComPtr<IPart>* connectorPart,
                            ComPtr<IConnector>* currentConnector, IMMDeviceEnumerator* enumerator,
                            bool* useConnectorPins, std::set<ULONG>* pinIds);

// Follows the endpoint's connectors from filter to filter up to the audio engine's software
// connector, leaving it in `current` and its part in `connectorPart`. S_OK when it was reached,
// else the last result; the endpoint is then abandoned.
HRESULT WalkToSoftwareConnector(ULONG dataFlow, IMMDeviceEnumerator* enumerator,
                                ComPtr<IConnector>* current, ComPtr<IPart>* connectorPart,
                                bool* useConnectorPins, std::set<ULONG>* pinIds);

// The wave filter behind the software connector the walk ended on: the pins of its software
// connectors when the walk asks for them, and its KS control.
HRESULT OpenWaveFilter(IMMDeviceEnumerator* enumerator, IConnector* last, IPart* connectorPart,
                       bool useConnectorPins, std::set<ULONG>* pinIds, ComPtr<IKsControl>* control);
