// The connector search of discovery: the walk from an endpoint's connector through the parts
// of each filter's topology (routing the selectors on the way, reading the audio engine's
// offload pin) and from filter to filter up to the software connector, and the opening of the
// wave filter found there. Its records belong to the discovery family.
#define VEX_LOG_FILE "PPAPIHelper.cpp"

#include "ConnectorSearch.h"

#include "ModuleRequest.h"
#include "SystemGuids.h"
#include "util/Log.h"
#include "util/ScopedCoMem.h"

#include <utility>

namespace {

using Util::kLevelInformation;
using Util::kLevelVerbose;
using Util::kLevelWarning;

// Bounds of the topology walk: a graph whose parts or connectors lead back to each other ends
// with a failure here.
constexpr int kMaxWalkDepth = 32;
constexpr int kMaxWalkParts = 256;
constexpr int kMaxConnectorHops = 32;

// The records of opening a filter's control differ between the walk and the wave filter.
struct FilterControlTexts {
    const WCHAR* function;
    const WCHAR* deviceFailed;
    const WCHAR* activateFailed;
};

const FilterControlTexts kOffloadPinTexts = {
    TEXT("PPFindConnectorPart"),
    TEXT("GetDevice failed! [0x%.8x]%s"),
    TEXT("Failed to activate IKsControl interface! [0x%.8x]%s"),
};

const FilterControlTexts kWaveFilterTexts = {
    TEXT("CPPAPIHelper::PPInitialize"),
    TEXT("Failed to retrieve wave filer device! [0x%.8x]%s"),
    TEXT("Activate ks control failed! [0x%.8x]%s"),
};

// The KS control of the filter device a topology belongs to.
HRESULT OpenFilterControl(IDeviceTopology* topology, IMMDeviceEnumerator* enumerator,
                          const FilterControlTexts& texts, ComPtr<IKsControl>* control) {
    ScopedCoMem<WCHAR> deviceId;
    HRESULT hr = topology->GetDeviceId(deviceId.Receive());
    if (FAILED(hr)) {
        return Util::LogFailure(kLevelWarning, VEX_LOG_FILE, __LINE__, texts.function, hr,
                                TEXT("GetDeviceId failed! [0x%.8x]%s"));
    }
    ComPtr<IMMDevice> device;
    hr = Received(enumerator->GetDevice(deviceId.Get(), device.Receive()), device);
    deviceId.Reset();
    if (FAILED(hr)) {
        return Util::LogFailure(kLevelWarning, VEX_LOG_FILE, __LINE__, texts.function, hr,
                                texts.deviceFailed);
    }
    control->Reset();
    hr = Received(
        device->Activate(Guids::kIidIKsControl, CLSCTX_ALL, nullptr, control->ReceiveVoid()),
        *control);
    if (FAILED(hr)) {
        return Util::LogFailure(kLevelWarning, VEX_LOG_FILE, __LINE__, texts.function, hr,
                                texts.activateFailed);
    }
    return S_OK;
}

// The request that asks a filter for the engine descriptor of one node.
HRESULT ReadOffloadPin(IPart* startPart, IPart* connectorPart, IMMDeviceEnumerator* enumerator,
                       bool* useConnectorPins, std::set<ULONG>* pinIds) {
    constexpr const WCHAR* kFunction = TEXT("PPFindConnectorPart");
    VEX_LOG(kLevelVerbose, "PPFindConnectorPart", "Trying to read offload pin id...");
    ComPtr<IDeviceTopology> topology;
    HRESULT hr = startPart->GetTopologyObject(topology.Receive());
    if (FAILED(hr)) {
        return VEX_FAIL(kLevelWarning, "PPFindConnectorPart", hr,
                        "GetTopologyObject failed! [0x%.8x]%s");
    }
    ComPtr<IKsControl> control;
    hr = OpenFilterControl(topology.Get(), enumerator, kOffloadPinTexts, &control);
    if (FAILED(hr)) {
        return hr;
    }
    UINT localId = 0;
    hr = connectorPart->GetLocalId(&localId);
    if (FAILED(hr)) {
        Util::LogFailure(kLevelWarning, VEX_LOG_FILE, __LINE__, kFunction, hr,
                         TEXT("Failed to retrieve node id! [0x%.8x]%s"));
        *useConnectorPins = true;
        return S_OK;
    }
    KSAUDIOENGINE_DESCRIPTOR descriptor{};
    ULONG returned = 0;
    hr = ModuleRequest::Node(KSPROPSETID_AudioEngine, KSPROPERTY_AUDIOENGINE_DESCRIPTOR,
                             KSPROPERTY_TYPE_GET, PinOf(localId))
             .Send(control.Get(), &descriptor, sizeof descriptor, &returned);
    if (SUCCEEDED(hr) && returned < sizeof descriptor) {
        hr = kMalformedAnswer;
    }
    if (FAILED(hr)) {
        Util::LogFailure(kLevelWarning, VEX_LOG_FILE, __LINE__, kFunction, hr,
                         TEXT("Failed to retrieve pin id! [0x%.8x]%s"));
        *useConnectorPins = true;
        return S_OK;
    }
    pinIds->insert(descriptor.nOffloadPinId);
    return S_OK;
}

// Routes a selector part so that the signal runs through the part the walk came from.
template <typename Selector>
HRESULT RouteSelector(IPart* part, IPart* from, const IID& iid, const WCHAR* selectFailed,
                      const WCHAR* activated) {
    constexpr const WCHAR* kFunction = TEXT("PPFindConnectorPart");
    ComPtr<Selector> selector;
    if (FAILED(part->Activate(CLSCTX_ALL, iid, selector.ReceiveVoid())) || !selector) {
        return S_FALSE;
    }
    UINT localId = 0;
    HRESULT hr = from->GetLocalId(&localId);
    if (FAILED(hr)) {
        return Util::LogFailure(kLevelWarning, VEX_LOG_FILE, __LINE__, kFunction, hr,
                                TEXT("IPart interface GetLocalId failed! [0x%.8x]%s"));
    }
    hr = selector->SetSelection(localId, nullptr);
    if (FAILED(hr)) {
        return Util::LogFailure(kLevelWarning, VEX_LOG_FILE, __LINE__, kFunction, hr, selectFailed);
    }
    Util::LogAt(kLevelVerbose, VEX_LOG_FILE, __LINE__, kFunction, activated);
    return S_OK;
}

struct WalkBudget {
    int parts = 0;
};

HRESULT FindConnectorPart(ULONG dataFlow, IPart* startPart, ComPtr<IPart>* connectorPart,
                          ComPtr<IConnector>* currentConnector, IMMDeviceEnumerator* enumerator,
                          bool* useConnectorPins, std::set<ULONG>* pinIds, int depth,
                          WalkBudget* budget) {
    VEX_LOG_SCOPE("PPFindConnectorPart");
    if (depth > kMaxWalkDepth || ++budget->parts > kMaxWalkParts) {
        VEX_LOG(kLevelWarning, "PPFindConnectorPart",
                "The device topology leads on beyond %d parts; giving up the walk.", kMaxWalkParts);
        return E_FAIL;
    }
    ComPtr<IPartsList> parts;
    HRESULT hr = dataFlow == eCapture ? startPart->EnumPartsOutgoing(parts.Receive())
                                      : startPart->EnumPartsIncoming(parts.Receive());
    if (FAILED(hr)) {
        VEX_FAIL(kLevelWarning, "PPFindConnectorPart", hr, "EnumParts failed. [0x%.8x]%s");
        return S_FALSE;
    }
    if (!parts) {
        VEX_LOG(kLevelVerbose, "PPFindConnectorPart", "No parts were found!");
        return S_FALSE;
    }
    UINT count = 0;
    hr = parts->GetCount(&count);
    if (FAILED(hr)) {
        return VEX_FAIL(kLevelWarning, "PPFindConnectorPart", hr,
                        "Failed to retrieve count of the outgoing/incoming parts! [0x%.8x]%s");
    }
    for (UINT i = 0; i < count; ++i) {
        ComPtr<IPart> part;
        hr = Received(parts->GetPart(i, part.Receive()), part);
        if (FAILED(hr)) {
            return VEX_FAIL(kLevelWarning, "PPFindConnectorPart", hr,
                            "Failed to retrieve next part from incoming parts! [0x%.8x]%s");
        }
        PartType type = Connector;
        hr = part->GetPartType(&type);
        if (FAILED(hr)) {
            return VEX_FAIL(kLevelWarning, "PPFindConnectorPart", hr,
                            "GetPartType failed! [0x%.8x]%s");
        }
        if (type == Connector) {
            VEX_LOG(kLevelVerbose, "PPFindConnectorPart", "End of parts; replacing connector");
            ComPtr<IConnector> connector;
            hr = part.QueryInterface(Guids::kIidIConnector, &connector);
            if (FAILED(hr)) {
                return VEX_FAIL(kLevelWarning, "PPFindConnectorPart", hr,
                                "Failed to query starting connector IPart interface! [0x%.8x]%s");
            }
            if (dataFlow != eRender) {
                *useConnectorPins = true;
            } else {
                hr = ReadOffloadPin(startPart, part.Get(), enumerator, useConnectorPins, pinIds);
                if (FAILED(hr)) {
                    return hr;
                }
            }
            *connectorPart = std::move(part);
            *currentConnector = std::move(connector);
            return S_OK;
        }
        hr = RouteSelector<IAudioInputSelector>(
            part.Get(), startPart, Guids::kIidIAudioInputSelector,
            TEXT("Failed to select input selector! [0x%.8x]%s"), TEXT("Input selector activated."));
        if (hr == S_FALSE) {
            hr = RouteSelector<IAudioOutputSelector>(
                part.Get(), startPart, Guids::kIidIAudioOutputSelector,
                TEXT("Failed to select output selector! [0x%.8x]%s"),
                TEXT("Output selector activated."));
        }
        if (FAILED(hr)) {
            return hr;
        }
        hr = FindConnectorPart(dataFlow, part.Get(), connectorPart, currentConnector, enumerator,
                               useConnectorPins, pinIds, depth + 1, budget);
        if (SUCCEEDED(hr)) {
            return hr;
        }
        VEX_FAIL(kLevelWarning, "PPFindConnectorPart", hr,
                 "PPFindConnectorPart failed! [0x%.8x]%s");
    }
    return S_FALSE;
}

}  // namespace

// Follows the endpoint's connectors from filter to filter up to the audio engine's software
// connector. S_OK when it was reached, else the last result; the endpoint is then abandoned.
HRESULT WalkToSoftwareConnector(ULONG dataFlow, IMMDeviceEnumerator* enumerator,
                                ComPtr<IConnector>* current, ComPtr<IPart>* connectorPart,
                                bool* useConnectorPins, std::set<ULONG>* pinIds) {
    *useConnectorPins = false;
    WalkBudget budget;
    for (int hop = 0;; ++hop) {
        VEX_LOG(kLevelInformation, "CPPAPIHelper::PPInitialize", "Next connector...");
        if (hop > kMaxConnectorHops) {
            VEX_LOG(kLevelWarning, "CPPAPIHelper::PPInitialize",
                    "The connectors lead on beyond %d filters; giving up the walk.",
                    kMaxConnectorHops);
            return E_FAIL;
        }
        BOOL connected = FALSE;
        HRESULT hr = (*current)->IsConnected(&connected);
        if (FAILED(hr)) {
            return VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                            "Connector IsConnected failed! [0x%.8x]%s");
        }
        if (!connected) {
            ConnectorType type = Unknown_Connector;
            hr = (*current)->GetType(&type);
            if (FAILED(hr)) {
                return VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                                "Connector GetType failed! [0x%.8x]%s");
            }
            if (type == Software_IO) {
                VEX_LOG(kLevelInformation, "CPPAPIHelper::PPInitialize", "End of connectors.");
                return S_OK;
            }
        }
        {
            ScopedCoMem<WCHAR> connectorId;
            ScopedCoMem<WCHAR> deviceId;
            static_cast<void>((*current)->GetConnectorIdConnectedTo(connectorId.Receive()));
            static_cast<void>((*current)->GetDeviceIdConnectedTo(deviceId.Receive()));
            VEX_LOG(kLevelInformation, "CPPAPIHelper::PPInitialize",
                    "----- Connector details! ConnectorIdConnectedTo: %s", connectorId.Get());
            VEX_LOG(kLevelInformation, "CPPAPIHelper::PPInitialize",
                    "----- Connector details! DeviceIdConnectedTo: %s", deviceId.Get());
        }
        ComPtr<IConnector> farConnector;
        hr = Received((*current)->GetConnectedTo(farConnector.Receive()), farConnector);
        if (FAILED(hr)) {
            return VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                            "Connector GetConnectedTo failed! [0x%.8x]%s");
        }
        ComPtr<IPart> farPart;
        hr = farConnector.QueryInterface(Guids::kIidIPart, &farPart);
        if (FAILED(hr)) {
            return VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                            "Failed to query next connector IPart interface! [0x%.8x]%s");
        }
        hr = FindConnectorPart(dataFlow, farPart.Get(), connectorPart, current, enumerator,
                               useConnectorPins, pinIds, 0, &budget);
        if (hr == S_FALSE) {
            VEX_LOG(kLevelInformation, "CPPAPIHelper::PPInitialize", "Device does not match.");
            return hr;
        }
        if (FAILED(hr)) {
            return VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                            "Failed to find connector part! [0x%.8x]%s");
        }
    }
}

// The wave filter behind the software connector the walk ended on: the pins of its software
// connectors when the walk asks for them, and its KS control.
HRESULT OpenWaveFilter(IMMDeviceEnumerator* enumerator, IConnector* last, IPart* connectorPart,
                       bool useConnectorPins, std::set<ULONG>* pinIds,
                       ComPtr<IKsControl>* control) {
    ConnectorType type = Unknown_Connector;
    HRESULT hr = last->GetType(&type);
    if (FAILED(hr)) {
        return VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                        "IConnector GetType failed! [0x%.8x]%s");
    }
    ComPtr<IPart> lastPart;
    hr = Received(last->QueryInterface(Guids::kIidIPart, lastPart.ReceiveVoid()), lastPart);
    if (FAILED(hr)) {
        return VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                        "Connector QueryInterfacet failed! [0x%.8x]%s");
    }
    ComPtr<IDeviceTopology> topology;
    hr = Received(lastPart->GetTopologyObject(topology.Receive()), topology);
    if (FAILED(hr)) {
        return VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                        "GetTopologyObject failed! [0x%.8x]%s");
    }
    UINT count = 0;
    hr = topology->GetConnectorCount(&count);
    if (FAILED(hr)) {
        return VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                        "GetConnectorCount failed! [0x%.8x]%s");
    }
    for (UINT j = 0; j < count; ++j) {
        ComPtr<IConnector> connector;
        hr = Received(topology->GetConnector(j, connector.Receive()), connector);
        if (FAILED(hr)) {
            VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                     "GetConnector failed! [0x%.8x]%s");
            continue;
        }
        hr = connector->GetType(&type);
        if (FAILED(hr)) {
            VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                     "Wave filter Connector GetType failed! [0x%.8x]%s");
            break;
        }
        if (type != Software_IO) {
            VEX_LOG(kLevelWarning, "CPPAPIHelper::PPInitialize",
                    "Unexpected wave filter connector type! %d", static_cast<int>(type));
            continue;
        }
        ComPtr<IPart> part;
        hr = connector.QueryInterface(Guids::kIidIPart, &part);
        if (FAILED(hr)) {
            VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                     "Software IO connector QueryInterfacet failed! [0x%.8x]%s");
            break;
        }
        ComPtr<IPartsList> path;
        hr = topology->GetSignalPath(connectorPart, part.Get(), TRUE, path.Receive());
        if (FAILED(hr)) {
            VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                     "GetSignalPath call failed! [0x%.8x]%s");
            continue;
        }
        if (useConnectorPins) {
            UINT localId = 0;
            hr = part->GetLocalId(&localId);
            if (FAILED(hr)) {
                VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                         "Failed to read connector local id! [0x%.8x]%s");
                continue;
            }
            pinIds->insert(PinOf(localId));
        }
    }
    return OpenFilterControl(topology.Get(), enumerator, kWaveFilterTexts, control);
}

HRESULT PPFindConnectorPart(ULONG dataFlow, IPart* startPart, ComPtr<IPart>* connectorPart,
                            ComPtr<IConnector>* currentConnector, IMMDeviceEnumerator* enumerator,
                            bool* useConnectorPins, std::set<ULONG>* pinIds) {
    WalkBudget budget;
    return FindConnectorPart(dataFlow, startPart, connectorPart, currentConnector, enumerator,
                             useConnectorPins, pinIds, 0, &budget);
}
