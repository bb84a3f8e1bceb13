// The endpoint module inventory against simulated machines: which records a walk finds, what
// it asks the driver on the way, and how it ends on endpoints and graphs that do not fit.
#include "support/Machines.h"
#include "support/SimObjects.h"

#include "discovery/PPAPIHelper.h"
#include "util/GuidText.h"

using namespace dsptest;

namespace {

class Discovery : public simtest::SimTest {
protected:
    void LoadJson(const std::string& json) {
        ASSERT_TRUE(vextest::SimLoaded(vexsim_LoadMachineJson(json.c_str())));
    }
    void Load(const char* machine) { ASSERT_TRUE(vextest::SimLoaded(vexsim_LoadMachine(machine))); }
};

std::string Text(const ScopedBstr& text) {
    return text.Get() != nullptr ? vextest::Narrow(text.Get()) : std::string("(null)");
}

std::string GuidString(const GUID& guid) {
    return vextest::Narrow(Util::GuidText(guid));
}

// What a test expects of one record.
struct ExpectedRecord {
    ULONG pinId;
    const char* moduleGuid;
    const char* label;
    ULONG vendorSet;
    ULONG audioModule;
    const char* name;
    const char* version;
};

// A record the walk leaves in the trace, and its level.
struct ExpectedLine {
    std::string text;
    int level;
};
using ExpectedLines = std::vector<ExpectedLine>;

struct ModuleCase {
    const char* what;
    std::string modules;  // the wave filter's modules
    std::string members;  // further render-path members
    std::vector<ExpectedRecord> records;
    ExpectedLines lines = {};
    std::string faults = "[]";
};

// "[0x%.8x]" and the system's text of a code, as a record carries them (without the line end).
std::string Failure(HRESULT hr) {
    return "[" + vextest::Hex(hr) + "]" + vextest::SystemText(hr);
}

std::string Module(const char* guid, const std::string& rest) {
    return std::string("{\"guid\": \"") + guid + "\", " + rest + "}";
}

// A module list of one module.
std::string One(const char* guid, const std::string& rest) {
    return "[" + Module(guid, rest) + "]";
}

}  // namespace

TEST_F(Discovery, FindsTheModuleEachDriverOffers) {
    const std::string pin100 = One(kIntel100, R"("forms": ["pin"])");
    const std::vector<ModuleCase> cases = {
        {"name and version in the ANSI code page",
         One(kIntel100, R"("name": "n\u00e9", "version": "v\u00e9", "forms": ["pin"])"),
         "",
         {{1, kIntel100, "1.0.0", 0, 0, "n\\u00c3\\u00a9", "v\\u00c3\\u00a9"}}},
        {"audio-module form",
         One(kIntel131, R"("name": "drova", "forms": ["pin", "audioModule"])"),
         "",
         {{1, kIntel131, "1.3.1", 0, 1, "drova", ""}}},
        {"descriptor size query answered with success",
         One(kIntel131, R"("forms": ["audioModule"])"),
         R"("descriptorSizeQuery": "S_OK")",
         {{1, kIntel131, "1.3.1", 0, 1, "", ""}}},
        {"interface version 3",
         pin100,
         R"("interfaceVersion": 3)",
         {},
         {{"LookForPPModuleConnectorId_Intel: Version mismatch! iapVersion[3]", 3},
          {"Query audio module for PP configuration failed! Result: " +
               Failure(HRESULT_FROM_WIN32(ERROR_NOT_FOUND)),
           4}}},
        {"module list size query answered with ERROR_MORE_DATA",
         pin100,
         R"("moduleListSizeQuery": "ERROR_MORE_DATA")",
         {},
         {{"Failed to retrieve modules list size! " + Failure(HRESULT_FROM_WIN32(ERROR_MORE_DATA)),
           3}}},
        {"module outside the version table",
         One(kUnlistedModule, R"("forms": ["pin"])"),
         "",
         {},
         {{"Unspecific ModuleId: {11111111-2222-3333-4444-555555555555}", 3}}},
        {"unlisted module first, listed one second",
         "[" + Module(kUnlistedModule, R"("forms": ["pin"])") + ", " +
             Module(kIntel142, R"("name": "b", "forms": ["pin"])") + "]",
         "",
         {{1, kIntel142, "1.4.2", 0, 0, "b", ""}}},
        // Probed in the order of the GUIDs' bytes: {E04EF10E-...} (0x0E) before {01FD7450-...}.
        {"two AMD-type modules present",
         "[" + Module(kAmd131Lite, R"("set": "amd")") + ", " + Module(kAmd15, R"("set": "amd")") +
             "]",
         "",
         {{0, kAmd15, "1.5", 1, 0, "drova-amd", ""}},
         {{"CPPAPIHelper::LookForPPModuleConnectorId_AMD: Tembra AMD module info is found, "
           "version 1.5",
           4}}},
        {"AMD-type module not present", One(kAmd15, R"("set": "amd", "present": false)"), "", {}},
        {"two pins with a module each",
         "[" + Module(kIntel100, R"("forms": ["pin"], "pins": [0])") + ", " +
             Module(kIntel131, R"("forms": ["pin"], "pins": [2])") + "]",
         "",
         {{0, kIntel100, "1.0.0", 0, 0, "", ""}, {2, kIntel131, "1.3.1", 0, 0, "", ""}},
         {{"Next device...", 4}, {"End of connectors.", 4}}},
        {"a part that cannot list its neighbours",
         pin100,
         "",
         {},
         {{"EnumParts failed. " + Failure(E_FAIL), 3}, {"Device does not match.", 4}},
         R"([{"method": "IPart::EnumPartsIncoming", "result": "E_FAIL"}])"},
    };
    for (const ModuleCase& c : cases) {
        SCOPED_TRACE(c.what);
        LoadJson(Machine({Endpoint(1, StandardProperties(1), RenderPath(c.modules, c.members))},
                         "[]", c.faults));
        {
            vextest::TraceSession session(5);
            CPPAPIHelper helper;
            EXPECT_EQ(c.records.empty() ? 1 : 0, helper.PPInitialize());
            ASSERT_EQ(c.records.size(), helper.m_ModuleList.size());
            for (size_t i = 0; i < c.records.size(); ++i) {
                const ExpectedRecord& want = c.records[i];
                const EndpointModuleRecord& got = helper.m_ModuleList[i];
                EXPECT_EQ(EndpointId(1), Text(got.deviceId));
                EXPECT_EQ(want.pinId, got.pinId);
                EXPECT_EQ(want.moduleGuid, GuidString(got.moduleGuid));
                EXPECT_EQ(want.label, Text(got.versionLabel));
                EXPECT_EQ(want.vendorSet, got.vendorSet);
                EXPECT_EQ(want.audioModule, got.audioModule);
                EXPECT_EQ(want.name, Text(got.moduleName));
                EXPECT_EQ(want.version, Text(got.moduleVersion));
                EXPECT_EQ(2u, got.channelCount);
                if (want.audioModule != 0) {
                    EXPECT_EQ("{59FC0C0E-147E-4DEA-8E01-911023EBFC15}",
                              GuidString(got.audioModuleClassId));
                }
            }
            EXPECT_EQ(static_cast<long>(c.records.empty() ? 0 : 1),
                      vexsim_LiveObjectCountOf("IKsControl"))
                << "the records of one filter hold its one control";
            for (const ExpectedLine& line :
                 vextest::HaveTraceController() ? c.lines : ExpectedLines{}) {
                const auto records = vextest::RecordsContaining(line.text);
                ASSERT_FALSE(records.empty()) << "no record with: " << line.text;
                EXPECT_EQ(line.level, records[0].level) << line.text;
                EXPECT_NE(std::string::npos, records[0].text.find("[PPAPIHelper.cpp:"))
                    << line.text;
            }
        }
        EXPECT_EQ(0, vexsim_LiveObjectCountOf("IKsControl")) << "released with the inventory";
        vexsim_Reset();
    }
}

TEST_F(Discovery, ReadsTheEndpointIdentity) {
    Load("default");
    CPPAPIHelper helper;
    ASSERT_EQ(0, helper.PPInitialize());
    ASSERT_EQ(1u, helper.m_ModuleList.size()) << "only the speakers have a module";
    const EndpointModuleRecord& record = helper.m_ModuleList[0];
    EXPECT_EQ(vextest::Narrow(vextest::kSpeakers), Text(record.deviceId));
    EXPECT_EQ("{6F1F6A2E-3C1B-4D59-9A51-0B7E2D1C4A01}", GuidString(record.endpointGuid));
    EXPECT_EQ(1u, record.formFactor);
    EXPECT_EQ("Speakers (Vex High Definition Audio)", Text(record.friendlyName));
    EXPECT_EQ(2u, record.moduleType);
    EXPECT_EQ(0u, record.notificationCookie);

    const unsigned long opens = vexsim_CallCount("IMMDevice::OpenPropertyStore");
    EXPECT_EQ(0, helper.PPInitialize()) << "a second run over the same system";
    EXPECT_EQ(1u, helper.m_ModuleList.size()) << "appends nothing";
    EXPECT_EQ(opens + 1, vexsim_CallCount("IMMDevice::OpenPropertyStore"))
        << "only the endpoint without a record is examined again";
}

TEST_F(Discovery, EndpointPropertiesThatDoNotFit) {
    const std::string guid =
        "\"{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},4\": \"" + EndpointGuidText(2) + "\"";
    const std::string formFactor =
        R"("{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},0": {"type": "VT_UI4", "value": 1})";
    const std::string format = R"("{F19F064D-082C-4E27-BC73-6882A1BB8E4C},0": )";
    struct Case {
        const char* what;
        std::string properties;
        LONG result;
        ULONG channels;  // of the record, when there is one
    } const cases[] = {
        {"no GUID", formFactor, -1, 0},
        {"GUID of another type",
         formFactor +
             R"(, "{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},4": {"type": "VT_UI4", "value": 4})",
         -1, 0},
        {"GUID that does not parse",
         formFactor + R"(, "{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},4": "not a guid")", -1, 0},
        {"no form factor", guid, -1, 0},
        {"form factor of another type",
         guid + R"(, "{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},0": "speakers")", -1, 0},
        {"device format of another type",
         guid + ", " + formFactor + ", " + format + R"({"type": "VT_UI4", "value": 10})", 0, 2},
        {"no device format", guid + ", " + formFactor, 0, 2},
        {"device format shorter than a WAVEFORMATEX",
         guid + ", " + formFactor + ", " + format + R"({"type": "VT_BLOB", "bytes": [1, 0, 6, 0]})",
         0, 2},
        {"ten channels",
         guid + ", " + formFactor + ", " + format +
             R"({"type": "VT_BLOB", "bytes": [1, 0, 10, 0, 128, 187, 0, 0, 0, 238, 2, 0, 4, 0, 16, 0, 0, 0]})",
         0, 10},
    };
    // The second of three endpoints: a run ends there and keeps the first one's record.
    const std::string modules = One(kIntel100, R"("forms": ["pin"])");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LoadJson(Machine({Endpoint(1, StandardProperties(1), RenderPath(modules)),
                          Endpoint(2, c.properties, RenderPath(modules)),
                          Endpoint(3, StandardProperties(3), RenderPath(modules))}));
        CPPAPIHelper helper;
        EXPECT_EQ(c.result, helper.PPInitialize());
        ASSERT_EQ(c.result == 0 ? 3u : 1u, helper.m_ModuleList.size());
        EXPECT_EQ(EndpointId(1), Text(helper.m_ModuleList[0].deviceId));
        if (c.result == 0) {
            EXPECT_EQ(c.channels, helper.m_ModuleList[1].channelCount);
        }
        vexsim_Reset();
    }
}

TEST_F(Discovery, GraphsThatLeadBackOnThemselvesEndTheWalk) {
    // Parts of one filter that lead to each other, one a selector, reached from the endpoint's
    // connector.
    const std::string partsLoop = R"([{"id": "loop", "topology": {"parts": [
        {"name": "a", "kind": "subunit", "node": 0, "selector": "output"},
        {"name": "b", "kind": "subunit", "node": 1},
        {"name": "c", "kind": "subunit", "node": 2},
        {"name": "out", "kind": "connector", "pin": 0, "type": "Physical_External", "flow": "out"}],
      "links": [["a", "out"], ["b", "a"], ["c", "a"], ["a", "b"], ["a", "c"], ["b", "c"], ["c", "b"]]}}])";
    // Connectors of two filters that lead across to each other in a circle.
    const std::string filterLoop = R"([
      {"id": "x", "topology": {"parts": [
        {"name": "entry", "kind": "connector", "pin": 0, "type": "Physical_External", "flow": "out"},
        {"name": "in", "kind": "connector", "pin": 1, "type": "Physical_Internal",
         "connectedTo": {"device": "y", "part": "out"}},
        {"name": "in2", "kind": "connector", "pin": 2, "type": "Physical_Internal", "flow": "out"}],
       "links": [["in", "entry"], ["in", "in2"]]}},
      {"id": "y", "topology": {"parts": [
        {"name": "in", "kind": "connector", "pin": 0, "type": "Physical_Internal",
         "connectedTo": {"device": "x", "part": "in2"}},
        {"name": "out", "kind": "connector", "pin": 1, "type": "Physical_Internal", "flow": "out"}],
       "links": [["in", "out"]]}}])";
    const struct {
        const char* what;
        std::string filters;
        const char* entry;
        const char* method;  // what the walk repeats, a bounded number of times
        unsigned long least;
        unsigned long most;
    } cases[] = {{"parts in a cycle", partsLoop, R"({"device": "loop", "part": "out"})",
                  "IPart::EnumPartsIncoming", 30, 40},
                 {"filters in a circle", filterLoop, R"({"device": "x", "part": "entry"})",
                  "IConnector::GetConnectedTo", 30, 40}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string topology =
            std::string(R"("topology": {"parts": [{"name": "connector", "kind": "connector", )"
                        R"("pin": 0, "type": "Physical_External", "connectedTo": )") +
            c.entry + "}]}";
        LoadJson(Machine({Endpoint(1, StandardProperties(1), topology)}, c.filters));
        CPPAPIHelper helper;
        EXPECT_EQ(1, helper.PPInitialize()) << "the endpoint is skipped";
        EXPECT_TRUE(helper.m_ModuleList.empty());
        EXPECT_GE(vexsim_CallCount(c.method), c.least) << "the walk went round";
        EXPECT_LE(vexsim_CallCount(c.method), c.most) << "and stopped";
        vexsim_Reset();
    }
}

TEST_F(Discovery, AnAmdTypeModuleIsThereWhenTheFirstByteSaysSo) {
    // However short the answer: one byte is enough.
    LoadJson(
        Machine({Endpoint(1, StandardProperties(1), RenderPath(One(kAmd15, R"("set": "amd")")))},
                "[]", R"([{"method": "IKsControl::KsProperty", "request": "amdPresence",
                               "answer": {"returned": 1}}])"));
    CPPAPIHelper helper;
    EXPECT_EQ(0, helper.PPInitialize());
    EXPECT_EQ(1u, helper.m_ModuleList.size());
}

namespace {

// A device collection of one filter device, as a caller of the module-existence query has it.
class OneDeviceCollection : public IMMDeviceCollection {
public:
    explicit OneDeviceCollection(IMMDevice* device) : m_device(device) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (IsEqualGUID(iid, Guids::kIidIMMDeviceCollection) || IsEqualGUID(iid, IID_IUnknown)) {
            *object = static_cast<IMMDeviceCollection*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_references; }
    HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override {
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Item(UINT index, IMMDevice** device) override {
        if (index != 0) {
            return E_INVALIDARG;
        }
        *device = m_device.Get();
        m_device->AddRef();
        return S_OK;
    }

private:
    ComPtr<IMMDevice> m_device;
    ULONG m_references = 1;
};

}  // namespace

TEST_F(Discovery, ModuleExistenceBehindOneConnector) {
    // The wave filter's connectors in order: host (pin 0), offload (1), loopback (2), bridge.
    const struct {
        const char* what;
        std::string modules;
        ULONG connector;
        HRESULT result;
    } cases[] = {
        {"instantiated module on the offload pin",
         One(kIntel131, R"("forms": ["pin", "audioModule"])"), 1, S_OK},
        {"no module on the host pin", One(kIntel131, R"("forms": ["pin"])"), 0, E_FAIL},
        {"module not instantiated", One(kIntel131, R"("forms": ["pin"], "instantiated": false)"), 1,
         E_FAIL},
        {"AMD-type module", One(kAmd15, R"("set": "amd")"), 0, S_OK},
        {"connector past the end", One(kIntel131, R"("forms": ["pin"])"), 9, E_INVALIDARG},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LoadJson(OneEndpointMachine(c.modules));
        {
            OneDeviceCollection collection(
                Device(vextest::Widen(WaveFilter(1).c_str()).c_str()).Get());
            CPPAPIHelper helper;
            EXPECT_HR(c.result, helper.TembraModuleExist(&collection, 0, c.connector));
            EXPECT_HR(E_NOINTERFACE, helper.TembraModuleExist(nullptr, 0, c.connector));
        }
        EXPECT_EQ(0, vexsim_LiveObjectCountOf("IKsControl"));
        vexsim_Reset();
    }
}
