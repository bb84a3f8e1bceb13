// Parameters through the exports on the DSP route: the module parameter and bytes an id
// reaches, the gate of the two ranges, module selection and both routes in one call.
#include "support/Machines.h"

#include <cstring>

using namespace dsptest;
using vextest::kHeadphones;
using vextest::kSpeakers;

namespace {

constexpr ULONG kApo = VEX_ROUTE_APO;
constexpr ULONG kDsp = VEX_ROUTE_DSP;

// Scalar ids of the low-latency range and their module parameters: the bypass, ids out of
// order, and both sides of the end of a "1.4.2" module's list.
const std::pair<LONG, ULONG> kLowLatencyScalars[] = {{2002, 1000}, {2103, 20}, {2111, 28},
                                                     {2112, 27},   {2124, 45}, {2128, 42},
                                                     {2129, 46},   {2134, 49}};

class DspParameters : public vextest::LibraryTest {
protected:
    HRESULT SetWord(ControlHandle handle, LONG id, LONG value, ULONG flags) {
        return m_library.Set(handle, id, &value, sizeof value, flags);
    }
    HRESULT GetWord(ControlHandle handle, LONG id, LONG* value, ULONG flags) {
        ULONG size = sizeof *value;
        return m_library.Get(handle, id, value, &size, flags);
    }
    // The value a module holds for a module parameter, as a word (or -1 when it holds none).
    static LONG ModuleWord(const std::string& filter, const char* module, ULONG param) {
        unsigned char bytes[4] = {};
        unsigned long length = 0;
        if (vexsim_ModuleParam(filter.c_str(), module, param, bytes, sizeof bytes, &length) != 0 ||
            length != 4) {
            return -1;
        }
        LONG word;
        std::memcpy(&word, bytes, sizeof word);
        return word;
    }
};

std::string PinModule(const char* guid, const char* rest = "") {
    return std::string("[{\"guid\": \"") + guid + "\", \"forms\": [\"pin\"]" + rest + "}]";
}

}  // namespace

TEST_F(DspParameters, ScalarIdsReachTheirModuleParameter) {
    // The default speakers' module is "1.4.2": module parameters 20..45.
    Load("default");
    ControlHandle handle = OpenOrFail(kSpeakers);
    LONG value = 100;
    for (const auto& [publicId, moduleParam] : kLowLatencyScalars) {
        SCOPED_TRACE(publicId);
        ++value;
        const size_t setsBefore = RequestsOfKind(kDefaultWaveFilter, "moduleParam").size();
        const HRESULT hr = SetWord(handle, publicId, value, kDsp);
        if (moduleParam != 1000 && moduleParam > 45) {
            EXPECT_HR(E_INVALIDARG, hr) << "outside the module's list";
            EXPECT_EQ(setsBefore, RequestsOfKind(kDefaultWaveFilter, "moduleParam").size())
                << "nothing is sent";
            continue;
        }
        EXPECT_HR(S_OK, hr);
        EXPECT_EQ(value, ModuleWord(kDefaultWaveFilter, kIntel142, moduleParam));
        LONG read = 0;
        EXPECT_HR(S_OK, GetWord(handle, publicId, &read, kDsp));
        EXPECT_EQ(value, read);
    }
    EXPECT_HR(S_OK, m_library.Close(handle));
}

TEST_F(DspParameters, RequestBytesOfEachModuleForm) {
    // A set of a word to 7 on a module of each form (one endpoint each), the request that
    // carries it; then the selection of the module, which cancels its notification registration.
    const struct {
        const char* what;
        std::string modules;
        LONG id;
        const char* kind;
        size_t from;  // the property's bytes checked start here
        const char* property;
        const char* data;  // the data block's first bytes, when the value travels there
        HRESULT selection;
    } cases[] = {
        {"pin form: the KSP_PIN on pin 1, the module header, parameter 20", PinModule(kIntel131),
         2103, "moduleParam", 0,
         "37cee9ba99aac74b9bdf4cbf3d23e1b9 03000000 02000000 01000000 00000000 "
         "7e2f8ec13d936549b7d11eef228d2af3 02000000 0369c29da8a3304a8839a77b6f4e5964 14000000 01",
         "04000000 07000000", S_OK},
        {"audio-module form: after the 48-byte command and the 32-byte KSP_PIN, the value inside",
         R"([{"guid": ")" + std::string(kIntel131) + R"(", "forms": ["audioModule"]}])", 2103,
         "moduleParam", 80,
         "7e2f8ec13d936549b7d11eef228d2af3 02000000 0369c29da8a3304a8839a77b6f4e5964 14000000 01 "
         "04000000 07000000",
         nullptr, S_OK},
        {"AMD-type: the vendor set, parameter 21",
         std::string("[{\"guid\": \"") + kAmd15 + "\", \"set\": \"amd\"}]", 2104, "amdParam", 0,
         "bdfc07821ac81b4496b54a0cf08665ad 00000000 02000000 0ef14ee036da9246a71e0077161aed54 "
         "02000000 15000000",
         nullptr, E_NOTIMPL},
    };
    std::vector<std::string> endpoints;
    for (const auto& c : cases) {
        const int n = static_cast<int>(endpoints.size()) + 1;
        endpoints.push_back(Endpoint(n, StandardProperties(n), RenderPath(c.modules)));
    }
    LoadJson(Machine(endpoints));
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ControlHandle handle = OpenOrFail(EndpointIdW(++n).c_str());
        ASSERT_HR(S_OK, SetWord(handle, c.id, 7, kDsp));
        const std::string filter = WaveFilter(n);
        vexsim_KsRequestInfo info{};
        ASSERT_EQ(
            0, vexsim_KsRequest(filter.c_str(), vexsim_KsRequestCount(filter.c_str()) - 1, &info));
        EXPECT_EQ(std::string(c.kind), info.kind);
        const std::string property = Packed(c.property);
        ASSERT_GE(info.propertyLength, c.from + property.size() / 2);
        EXPECT_EQ(property, Hex(info.property + c.from, static_cast<ULONG>(property.size() / 2)));
        if (c.data != nullptr) {
            ASSERT_NE(nullptr, info.data);
            EXPECT_EQ(Packed(c.data), Hex(info.data, 8));
        }
        EXPECT_HR(c.selection, m_library.Set(handle, 2003, "12345678", 8, kDsp));
        EXPECT_EQ(c.selection == S_OK ? 1u : 0u, RequestsOfKind(filter, "unregister").size());
        EXPECT_HR(S_OK, m_library.Close(handle));
    }
}

TEST_F(DspParameters, TheGateAndTheSelectionIds) {
    Load("default");
    ControlHandle speakers = OpenOrFail(kSpeakers);
    ControlHandle headphones = OpenOrFail(kHeadphones);
    const char eight[8] = {};
    const struct {
        const char* what;
        ControlHandle handle;
        LONG id;
        ULONG flags;
        HRESULT result;
    } cases[] = {
        {"main range without a main module", speakers, 1101, kDsp, E_INVALIDARG},
        {"low-latency range without a module", headphones, 2103, kDsp, E_INVALIDARG},
        {"an id outside both ranges passes the gate", speakers, 3000, kDsp, E_INVALIDARG},
        {"selection without the DSP route", speakers, 2003, kApo, E_INVALIDARG},
        {"selection without a session", headphones, 2003, kDsp, E_FAIL},
        {"selection of a missing main module", speakers, 1003, kDsp, E_INVALIDARG},
    };
    LONG word = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const int before = vexsim_KsRequestCount(kDefaultWaveFilter);
        const bool selection = c.id % 1000 == 3;  // an 8-byte request, not a word
        EXPECT_HR(c.result,
                  m_library.Set(c.handle, c.id, selection ? eight : static_cast<const void*>(&word),
                                selection ? 8 : 4, c.flags));
        EXPECT_EQ(before, vexsim_KsRequestCount(kDefaultWaveFilter)) << "nothing is sent";
    }
    EXPECT_HR(S_OK, m_library.Close(headphones));
    EXPECT_HR(S_OK, m_library.Close(speakers));
}

TEST_F(DspParameters, BothRoutesInOneCall) {
    Load("default");
    ControlHandle handle = OpenOrFail(kSpeakers);
    // 2128 is no parameter of the endpoint effect: its store part fails and the module's
    // succeeds. 2129 is one, but outside the "1.4.2" module's list.
    EXPECT_HR(S_OK, SetWord(handle, 2128, 1, kApo | kDsp)) << "the DSP route's result";
    EXPECT_EQ(1, ModuleWord(kDefaultWaveFilter, kIntel142, 42));
    EXPECT_HR(E_INVALIDARG, SetWord(handle, 2129, 1, kApo | kDsp)) << "not the store's";
    LONG read = 0;

    // A store part that fails ends a get before the module is asked.
    const int before = vexsim_KsRequestCount(kDefaultWaveFilter);
    EXPECT_FALSE(SUCCEEDED(GetWord(handle, 2104, &read, kApo | kDsp)))
        << "2104 was never written to the store";
    EXPECT_EQ(before, vexsim_KsRequestCount(kDefaultWaveFilter));
    EXPECT_HR(S_OK, m_library.Close(handle));
}

TEST_F(DspParameters, IdentityIdsOfTheModule) {
    Load("default");
    ControlHandle handle = OpenOrFail(kSpeakers);
    const auto needed = static_cast<ULONG>(sizeof "1.4.2.0" * sizeof(WCHAR));
    ULONG size = 0;
    EXPECT_HR(E_INVALIDARG, m_library.Get(handle, 2007, nullptr, &size, kDsp));
    EXPECT_EQ(0u, size) << "a null buffer learns no text size";
    WCHAR small[2] = {};
    size = sizeof small;
    EXPECT_HR(E_INVALIDARG, m_library.Get(handle, 2007, small, &size, kDsp));
    EXPECT_EQ(needed, size) << "the size a text needs";
    std::vector<WCHAR> text(64, 'x');
    size = static_cast<ULONG>(text.size() * sizeof(WCHAR));
    ASSERT_HR(S_OK, m_library.Get(handle, 2007, text.data(), &size, kDsp));
    EXPECT_EQ(needed, size);
    EXPECT_EQ("1.4.2.0", vextest::Narrow(text.data()));
    ULONG type = 0;
    size = 2;
    EXPECT_HR(E_INVALIDARG, m_library.Get(handle, 2006, &type, &size, kDsp));
    EXPECT_EQ(4u, size);
    ASSERT_HR(S_OK, m_library.Get(handle, 2006, &type, &size, kDsp));
    EXPECT_EQ(2u, type);
    EXPECT_HR(S_OK, m_library.Close(handle));
}

TEST_F(DspParameters, TheSessionEndsWithTheEndpointsLastHandle) {
    Load("default");
    ControlHandle first = OpenOrFail(kSpeakers);
    ControlHandle second = OpenOrFail(kSpeakers);
    EXPECT_HR(S_OK, SetWord(second, 2103, 3, kDsp));
    EXPECT_HR(S_OK, m_library.Close(first));
    EXPECT_HR(S_OK, SetWord(second, 2103, 4, kDsp)) << "the other handle keeps its DSP route";
    EXPECT_EQ(4, ModuleWord(kDefaultWaveFilter, kIntel142, 20));
    EXPECT_HR(S_OK, m_library.Close(second));
    ControlHandle third = OpenOrFail(kSpeakers);
    EXPECT_HR(S_OK, SetWord(third, 2103, 5, kDsp)) << "a new open starts a new session";
    EXPECT_EQ(5, ModuleWord(kDefaultWaveFilter, kIntel142, 20));
    EXPECT_HR(S_OK, m_library.Close(third));
}
