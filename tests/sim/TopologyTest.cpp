// Device topology: endpoints and filters, their connectors and subunits, the links between
// parts, signal paths, selectors, and the filters' own devices and KS controls.
#include "KsTestSupport.h"

#include <vector>

namespace {

using simtest::Loaded;

class SimTopology : public simtest::KsTest {
protected:
    ComPtr<IDeviceTopology> Topology(const WCHAR* deviceId) {
        ComPtr<IDeviceTopology> topology;
        ComPtr<IMMDevice> device = Device(deviceId);
        if (device) {
            EXPECT_HR(S_OK, device->Activate(simtest::kIidDeviceTopology, CLSCTX_ALL, nullptr,
                                             topology.ReceiveVoid()));
        }
        return topology;
    }

    static UINT LocalId(IPart* part) {
        UINT id = 0xFFFFFFFF;
        EXPECT_HR(S_OK, part->GetLocalId(&id));
        return id;
    }

    static std::vector<UINT> Ids(IPartsList* list) {
        std::vector<UINT> ids;
        UINT count = 0;
        EXPECT_HR(S_OK, list->GetCount(&count));
        for (UINT i = 0; i < count; ++i) {
            ComPtr<IPart> part;
            EXPECT_HR(S_OK, list->GetPart(i, part.Receive()));
            if (part) {
                ids.push_back(LocalId(part.Get()));
            }
        }
        return ids;
    }

    static std::vector<UINT> Incoming(IPart* part) {
        ComPtr<IPartsList> list;
        EXPECT_HR(S_OK, part->EnumPartsIncoming(list.Receive()));
        return list ? Ids(list.Get()) : std::vector<UINT>();
    }

    static std::string Text(HRESULT hr, LPWSTR text) {
        ScopedCoMem<WCHAR> owner;
        *owner.Receive() = text;
        return SUCCEEDED(hr) && text != nullptr ? vextest::Narrow(text) : std::string("<none>");
    }
};

// The speakers' render path in the default machine, hop by hop as discovery walks it.
TEST_F(SimTopology, SpeakerPathLeadsThroughTheTopologyFilterToTheWaveFilter) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("default")));
    ComPtr<IDeviceTopology> endpoint = Topology(simtest::kSpeakers);
    ASSERT_TRUE(endpoint);
    UINT count = 0;
    EXPECT_HR(S_OK, endpoint->GetConnectorCount(&count));
    EXPECT_EQ(1u, count);
    ComPtr<IConnector> connector;
    ASSERT_HR(S_OK, endpoint->GetConnector(0, connector.Receive()));
    BOOL connected = FALSE;
    EXPECT_HR(S_OK, connector->IsConnected(&connected));
    EXPECT_TRUE(connected);

    LPWSTR text = nullptr;
    HRESULT hr = connector->GetDeviceIdConnectedTo(&text);
    EXPECT_EQ(simtest::kTopologyFilterUtf8, Text(hr, text));
    hr = connector->GetConnectorIdConnectedTo(&text);
    EXPECT_EQ(std::string(simtest::kTopologyFilterUtf8) + "/00010001", Text(hr, text));

    // Topology filter: speaker pin <- volume node <- bridge pin.
    ComPtr<IConnector> speakerPin;
    ASSERT_HR(S_OK, connector->GetConnectedTo(speakerPin.Receive()));
    ComPtr<IPart> speaker;
    ASSERT_HR(S_OK, speakerPin.QueryInterface(simtest::kIidPart, &speaker));
    EXPECT_EQ(0x00010001u, LocalId(speaker.Get()));
    EXPECT_EQ(std::vector<UINT>{0x00020000u}, Incoming(speaker.Get()));
    ComPtr<IPartsList> list;
    ASSERT_HR(S_OK, speaker->EnumPartsIncoming(list.Receive()));
    ComPtr<IPart> volume;
    ASSERT_HR(S_OK, list->GetPart(0, volume.Receive()));
    PartType type = Connector;
    EXPECT_HR(S_OK, volume->GetPartType(&type));
    EXPECT_EQ(Subunit, type);
    void* selector = reinterpret_cast<void*>(1);
    EXPECT_HR(E_NOINTERFACE, volume->Activate(CLSCTX_ALL, simtest::kIidInputSelector, &selector));
    EXPECT_EQ(nullptr, selector);
    EXPECT_EQ(std::vector<UINT>{0x00010000u}, Incoming(volume.Get()));

    // The topology filter's bridge pin is connected to the wave filter's bridge pin.
    ComPtr<IDeviceTopology> filterTopology;
    ASSERT_HR(S_OK, volume->GetTopologyObject(filterTopology.Receive()));
    hr = filterTopology->GetDeviceId(&text);
    EXPECT_EQ(simtest::kTopologyFilterUtf8, Text(hr, text));
    ComPtr<IPart> bridge;
    ASSERT_HR(S_OK, filterTopology->GetPartById(0x00010000, bridge.Receive()));
    ComPtr<IConnector> bridgeConnector;
    ASSERT_HR(S_OK, bridge.QueryInterface(simtest::kIidConnector, &bridgeConnector));
    ComPtr<IConnector> waveBridge;
    ASSERT_HR(S_OK, bridgeConnector->GetConnectedTo(waveBridge.Receive()));
    ComPtr<IPart> waveBridgePart;
    ASSERT_HR(S_OK, waveBridge.QueryInterface(simtest::kIidPart, &waveBridgePart));
    EXPECT_EQ(0x00010003u, LocalId(waveBridgePart.Get()));

    // Wave filter: bridge <- engine <- host pin first, then offload pin; the host pin is a
    // Software_IO connector connected nowhere.
    EXPECT_EQ(std::vector<UINT>{0x00020000u}, Incoming(waveBridgePart.Get()));
    ComPtr<IDeviceTopology> wave;
    ASSERT_HR(S_OK, waveBridgePart->GetTopologyObject(wave.Receive()));
    ComPtr<IPart> engine;
    ASSERT_HR(S_OK, wave->GetPartById(0x00020000, engine.Receive()));
    EXPECT_EQ((std::vector<UINT>{0x00010000u, 0x00010001u}), Incoming(engine.Get()));
    ComPtr<IPart> host;
    ASSERT_HR(S_OK, wave->GetPartById(0x00010000, host.Receive()));
    ComPtr<IConnector> hostConnector;
    ASSERT_HR(S_OK, host.QueryInterface(simtest::kIidConnector, &hostConnector));
    connected = TRUE;
    EXPECT_HR(S_OK, hostConnector->IsConnected(&connected));
    EXPECT_FALSE(connected);
    ConnectorType connectorType = Unknown_Connector;
    EXPECT_HR(S_OK, hostConnector->GetType(&connectorType));
    EXPECT_EQ(Software_IO, connectorType);
    EXPECT_HR(S_OK, wave->GetConnectorCount(&count));
    EXPECT_EQ(4u, count);

    // The wave filter is a device of its own, with a KS control; an endpoint has none.
    hr = wave->GetDeviceId(&text);
    const std::string waveId = Text(hr, text);
    EXPECT_EQ(simtest::kWaveFilterUtf8, waveId);
    EXPECT_TRUE(Control(waveId.c_str()));
    ComPtr<IMMDevice> speakers = Device(simtest::kSpeakers);
    ComPtr<IKsControl> none;
    EXPECT_HR(E_NOINTERFACE,
              speakers->Activate(simtest::kIidKsControl, CLSCTX_ALL, nullptr, none.ReceiveVoid()));
    // A filter is no endpoint: not listed, no IMMEndpoint.
    ComPtr<IMMDevice> waveDevice = Device(vextest::Widen(simtest::kWaveFilterUtf8).c_str());
    ASSERT_TRUE(waveDevice);
    ComPtr<IMMEndpoint> asEndpoint;
    EXPECT_HR(E_NOINTERFACE, waveDevice.QueryInterface(simtest::kIidEndpoint, &asEndpoint));
    ComPtr<IMMDeviceCollection> all;
    ASSERT_HR(S_OK, Enumerator()->EnumAudioEndpoints(eAll, DEVICE_STATEMASK_ALL, all.Receive()));
    EXPECT_HR(S_OK, all->GetCount(&count));
    EXPECT_EQ(4u, count);
}

TEST_F(SimTopology, EndpointWithoutGraphHasOneUnconnectedConnector) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("default")));
    ComPtr<IDeviceTopology> topology = Topology(simtest::kHeadphones);
    ASSERT_TRUE(topology);
    ComPtr<IConnector> connector;
    ASSERT_HR(S_OK, topology->GetConnector(0, connector.Receive()));
    BOOL connected = TRUE;
    EXPECT_HR(S_OK, connector->IsConnected(&connected));
    EXPECT_FALSE(connected);
    ConnectorType type = Software_IO;
    EXPECT_HR(S_OK, connector->GetType(&type));
    EXPECT_NE(Software_IO, type);
    ComPtr<IConnector> other;
    EXPECT_HR(simtest::kNotFound, connector->GetConnectedTo(other.Receive()));
    EXPECT_FALSE(other);
    ComPtr<IConnector> past;
    EXPECT_HR(E_INVALIDARG, topology->GetConnector(1, past.Receive()));
    ComPtr<IPart> part;
    ASSERT_HR(S_OK, connector.QueryInterface(simtest::kIidPart, &part));
    ComPtr<IPartsList> list;
    EXPECT_HR(simtest::kNotFound, part->EnumPartsIncoming(list.Receive()));
    EXPECT_FALSE(list);
    ComPtr<ISubunit> subunit;
    EXPECT_HR(E_NOINTERFACE, part.QueryInterface(simtest::kIidSubunit, &subunit));
}

// A capture-style graph in the full form: two inputs into a mixer and a selector, an output
// selector, and a Software_IO pin behind both.
const char* const kGraph = R"({
  "endpoints": [{"id": "mic", "flow": "capture", "topology": {"parts": [
      {"name": "jack", "kind": "connector", "pin": 0, "type": "Physical_External",
       "connectedTo": {"device": "filter", "part": "in"}}]}}],
  "filters": [{"id": "filter", "topology": {
    "parts": [
      {"name": "in", "kind": "connector", "pin": 0, "type": "Physical_External"},
      {"name": "aux", "kind": "connector", "pin": 1, "type": "Physical_External"},
      {"name": "mux", "kind": "subunit", "node": 1, "selector": "input", "selection": "aux"},
      {"name": "sum", "kind": "subunit", "node": 2, "mixer": true},
      {"name": "demux", "kind": "subunit", "node": 3, "selector": "output"},
      {"name": "out", "kind": "connector", "pin": 2, "type": "Software_IO", "flow": "out"},
      {"name": "spare", "kind": "connector", "pin": 3, "type": "Software_IO", "flow": "out"}],
    "links": [["in", "mux"], ["aux", "mux"], ["in", "sum"], ["mux", "demux"], ["sum", "demux"],
              ["demux", "out"], ["demux", "spare"]]}}]
})";

TEST_F(SimTopology, SelectorsAcceptTheirOwnNeighboursAndRecordEveryChoice) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachineJson(kGraph)));
    ComPtr<IMMDevice> device = Device(TEXT("filter"));
    ComPtr<IDeviceTopology> topology;
    ASSERT_HR(S_OK, device->Activate(simtest::kIidDeviceTopology, CLSCTX_ALL, nullptr,
                                     topology.ReceiveVoid()));
    ComPtr<IPart> mux;
    ASSERT_HR(S_OK, topology->GetPartById(0x00020001, mux.Receive()));
    ComPtr<IAudioOutputSelector> wrongKind;
    EXPECT_HR(E_NOINTERFACE,
              mux->Activate(CLSCTX_ALL, simtest::kIidOutputSelector, wrongKind.ReceiveVoid()));
    ComPtr<IAudioInputSelector> input;
    ASSERT_HR(S_OK, mux->Activate(CLSCTX_ALL, simtest::kIidInputSelector, input.ReceiveVoid()));
    UINT selection = 0;
    EXPECT_HR(S_OK, input->GetSelection(&selection));
    EXPECT_EQ(0x00010001u, selection) << "the file's initial selection";
    // An input selector chooses among the parts linked into it.
    EXPECT_HR(E_INVALIDARG, input->SetSelection(0x00020003, nullptr));
    EXPECT_HR(S_OK, input->SetSelection(0x00010000, nullptr));
    EXPECT_HR(S_OK, input->GetSelection(&selection));
    EXPECT_EQ(0x00010000u, selection);

    ComPtr<IPart> demux;
    ASSERT_HR(S_OK, topology->GetPartById(0x00020003, demux.Receive()));
    ComPtr<IAudioOutputSelector> output;
    ASSERT_HR(S_OK, demux->Activate(CLSCTX_ALL, simtest::kIidOutputSelector, output.ReceiveVoid()));
    EXPECT_HR(E_INVALIDARG, output->SetSelection(0x00020001, nullptr)) << "an incoming part";
    EXPECT_HR(S_OK, output->SetSelection(0x00010003, nullptr));
    EXPECT_HR(S_OK, output->SetSelection(0x00010002, nullptr));
    EXPECT_EQ(1, vexsim_LiveObjectCountOf("IAudioOutputSelector"));

    unsigned int history[4] = {};
    EXPECT_EQ(2, vexsim_SelectorHistory("filter", 0x00020003, history, 4));
    EXPECT_EQ(0x00010003u, history[0]);
    EXPECT_EQ(0x00010002u, history[1]);
    EXPECT_EQ(1, vexsim_SelectorHistory("filter", 0x00020001, history, 4));
    unsigned int current = 0;
    ASSERT_EQ(0, vexsim_SelectorSelection("filter", 0x00020003, &current));
    EXPECT_EQ(0x00010002u, current);
    EXPECT_EQ(-1, vexsim_SelectorHistory("filter", 0x00020002, history, 4)) << "not a selector";
    const std::string dump = vexsim_DumpJson();
    EXPECT_NE(std::string::npos, dump.find("\"selections\": [\n")) << dump;
}

TEST_F(SimTopology, SignalPathFollowsLinksAndRejectsMixedPathsOnRequest) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachineJson(kGraph)));
    ComPtr<IMMDevice> device = Device(TEXT("filter"));
    ComPtr<IDeviceTopology> topology;
    ASSERT_HR(S_OK, device->Activate(simtest::kIidDeviceTopology, CLSCTX_ALL, nullptr,
                                     topology.ReceiveVoid()));
    ComPtr<IPart> in, out, aux, spare;
    ASSERT_HR(S_OK, topology->GetPartById(0x00010000, in.Receive()));
    ASSERT_HR(S_OK, topology->GetPartById(0x00010001, aux.Receive()));
    ASSERT_HR(S_OK, topology->GetPartById(0x00010002, out.Receive()));
    ASSERT_HR(S_OK, topology->GetPartById(0x00010003, spare.Receive()));

    // "in" reaches "out" through the selector first (link order), a mixer-free path.
    ComPtr<IPartsList> path;
    ASSERT_HR(S_OK, topology->GetSignalPath(in.Get(), out.Get(), TRUE, path.Receive()));
    EXPECT_EQ((std::vector<UINT>{0x00010000u, 0x00020001u, 0x00020003u, 0x00010002u}),
              Ids(path.Get()));
    ASSERT_HR(S_OK, topology->GetSignalPath(aux.Get(), aux.Get(), TRUE, path.Receive()));
    EXPECT_EQ(std::vector<UINT>{0x00010001u}, Ids(path.Get()));
    EXPECT_HR(simtest::kNotFound,
              topology->GetSignalPath(out.Get(), in.Get(), FALSE, path.Receive()))
        << "against the signal";
    EXPECT_FALSE(path);
    EXPECT_HR(simtest::kNotFound,
              topology->GetSignalPath(out.Get(), spare.Get(), FALSE, path.Receive()));

    // Without the selector, "in" reaches "out" only through the mixer.
    ASSERT_TRUE(Loaded(vexsim_LoadMachineJson(R"({"filters": [{"id": "f", "topology": {
        "parts": [{"name": "a", "kind": "connector", "pin": 0},
                  {"name": "m", "kind": "subunit", "node": 0, "mixer": true},
                  {"name": "b", "kind": "connector", "pin": 1}],
        "links": [["a", "m"], ["m", "b"]]}}]})")));
    device = Device(TEXT("f"));
    ASSERT_HR(S_OK, device->Activate(simtest::kIidDeviceTopology, CLSCTX_ALL, nullptr,
                                     topology.ReceiveVoid()));
    ComPtr<IPart> a, b;
    ASSERT_HR(S_OK, topology->GetPartById(0x00010000, a.Receive()));
    ASSERT_HR(S_OK, topology->GetPartById(0x00010001, b.Receive()));
    EXPECT_HR(simtest::kNotFound, topology->GetSignalPath(a.Get(), b.Get(), TRUE, path.Receive()));
    ASSERT_HR(S_OK, topology->GetSignalPath(a.Get(), b.Get(), FALSE, path.Receive()));
    EXPECT_EQ((std::vector<UINT>{0x00010000u, 0x00020000u, 0x00010001u}), Ids(path.Get()));
    // A part of another topology is refused.
    EXPECT_HR(E_INVALIDARG, topology->GetSignalPath(a.Get(), in.Get(), FALSE, path.Receive()));
}

TEST_F(SimTopology, PartFaultsHitOnlyTheNamedPart) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachineJson(kGraph)));
    ASSERT_EQ(0, vexsim_AddFaults(R"([
        {"method": "IPart::GetPartType", "endpoint": "filter", "part": 131073, "result": "E_FAIL"},
        {"method": "IPartsList::GetPart", "part": 65536, "call": 2, "result": "E_OUTOFMEMORY"}])"))
        << vexsim_LastError();
    ComPtr<IMMDevice> device = Device(TEXT("filter"));
    ComPtr<IDeviceTopology> topology;
    ASSERT_HR(S_OK, device->Activate(simtest::kIidDeviceTopology, CLSCTX_ALL, nullptr,
                                     topology.ReceiveVoid()));
    ComPtr<IPart> mux, sum;
    ASSERT_HR(S_OK, topology->GetPartById(0x00020001, mux.Receive()));
    ASSERT_HR(S_OK, topology->GetPartById(0x00020002, sum.Receive()));
    PartType type = Connector;
    EXPECT_HR(E_FAIL, mux->GetPartType(&type));
    EXPECT_HR(S_OK, sum->GetPartType(&type));
    EXPECT_EQ(Subunit, type);
    ComPtr<IPartsList> list;
    ASSERT_HR(S_OK, sum->EnumPartsIncoming(list.Receive()));
    ComPtr<IPart> in;
    EXPECT_HR(S_OK, list->GetPart(0, in.Receive()));
    EXPECT_HR(E_OUTOFMEMORY, list->GetPart(0, in.Receive()));
    EXPECT_FALSE(in);
    EXPECT_EQ(2u, vexsim_CallCount("IPartsList::GetPart"));
}

TEST_F(SimTopology, WrongGraphsAreRefusedWithThePathAtFault) {
    struct Case {
        const char* json;
        const char* message;
    };
    const Case cases[] = {
        {R"({"filters": [{"id": "f", "topology": {"parts": [{"name": "a", "kind": "connector"}]}}]})",
         "$.filters[0].topology.parts[0]: a connector needs \"pin\" or \"localId\""},
        {R"({"filters": [{"id": "f", "topology": {"parts": [{"name": "a", "kind": "connector", "pin": 0},
             {"name": "b", "kind": "connector", "localId": 65536}]}}]})",
         "$.filters[0].topology.parts[1]: another part has the same local id"},
        {R"({"filters": [{"id": "f", "topology": {"parts": [{"name": "a", "kind": "connector", "pin": 0}],
             "links": [["a", "z"]]}}]})",
         "$.filters[0].topology.links[0][1]: no part of this topology is named \"z\""},
        {R"({"filters": [{"id": "f", "topology": {"parts": [{"name": "a", "kind": "connector", "pin": 0,
             "connectedTo": {"device": "g", "part": "x"}}]}}]})",
         "$.filters[0].topology.parts[0].connectedTo: no device of the machine has the id \"g\""},
        {R"({"filters": [{"id": "f", "topology": {"parts": [{"name": "s", "kind": "subunit", "node": 0,
             "selection": 1}]}}]})",
         "$.filters[0].topology.parts[0]: only a selector has a selection"},
        {R"({"endpoints": [{"id": "f"}], "filters": [{"id": "f"}]})",
         "$.filters[0].id: another device has the same id"},
        {R"({"filters": [{"id": "f", "modules": [{"guid": "{00000000-0000-0000-0000-000000000001}"}]}]})",
         "$.filters[0].modules[0]: a vendor module needs \"pins\""},
        {R"({"endpoints": [{"id": "e", "renderPath": {"hostPin": 1}}]})",
         "$.endpoints[0].renderPath: the wave filter's four pins need four different numbers"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(-1, vexsim_LoadMachineJson(c.json)) << c.json;
        const std::string error = vexsim_LastError();
        EXPECT_NE(std::string::npos, error.find(c.message)) << error;
    }
}

TEST_F(SimTopology, DumpOfAGraphLoadsAsTheSameGraph) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("default")));
    const std::string first = vexsim_DumpJson();
    EXPECT_NE(std::string::npos, first.find("\"filters\"")) << first;
    ASSERT_TRUE(Loaded(vexsim_LoadMachineJson(first.c_str())));
    EXPECT_EQ(first, std::string(vexsim_DumpJson()));
}

}  // namespace
