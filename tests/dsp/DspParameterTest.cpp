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
struct ScalarId {
    LONG publicId;
    ULONG moduleParam;
};
const ScalarId kLowLatencyScalars[] = {{2002, 1000}, {2103, 20}, {2111, 28}, {2112, 27},
                                       {2124, 45},   {2128, 42}, {2129, 46}, {2134, 49}};

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
    // The default speakers' module is "1.4.2" (module parameters 20..45); a "1.5" module takes
    // the whole low-latency list (20..71).
    const struct {
        const char* label;
        std::string machine;
        std::string filter;
        const char* module;
        ULONG lastAccepted;
    } machines[] = {
        {"1.4.2", "", kDefaultWaveFilter, kIntel142, 45},
        {"1.5", OneEndpointMachine(PinModule("{876CD395-4C0D-4DD7-A205-7F99FD78ED78}")),
         WaveFilter(1), "{876CD395-4C0D-4DD7-A205-7F99FD78ED78}", 71},
    };
    for (const auto& m : machines) {
        SCOPED_TRACE(m.label);
        if (m.machine.empty()) {
            Load("default");
        } else {
            LoadJson(m.machine);
        }
        const WString endpoint = m.machine.empty() ? WString(kSpeakers) : EndpointIdW(1);
        ControlHandle handle = OpenOrFail(endpoint.c_str());
        LONG value = 100;
        for (const ScalarId& id : kLowLatencyScalars) {
            SCOPED_TRACE(id.publicId);
            ++value;
            const bool accepted = id.moduleParam == 1000 || id.moduleParam <= m.lastAccepted;
            const int setsBefore = static_cast<int>(RequestsOfKind(m.filter, "moduleParam").size());
            const HRESULT hr = SetWord(handle, id.publicId, value, kDsp);
            if (!accepted) {
                EXPECT_HR(E_INVALIDARG, hr) << "outside the module's list";
                EXPECT_EQ(setsBefore,
                          static_cast<int>(RequestsOfKind(m.filter, "moduleParam").size()))
                    << "nothing is sent";
                continue;
            }
            EXPECT_HR(S_OK, hr);
            EXPECT_EQ(value, ModuleWord(m.filter, m.module, id.moduleParam));
            LONG read = 0;
            EXPECT_HR(S_OK, GetWord(handle, id.publicId, &read, kDsp));
            EXPECT_EQ(value, read);
        }
        EXPECT_HR(S_OK, m_library.Close(handle));
        vexsim_Reset();
    }
}

TEST_F(DspParameters, RequestBytesInEachForm) {
    // A set of 2103 (module parameter 20) to 7 and a get of it, on a module reached in the pin
    // form on pin 1: the KSP_PIN, the module header, the parameter id and the flag byte.
    LoadJson(OneEndpointMachine(PinModule(kIntel131)));
    ControlHandle handle = OpenOrFail(EndpointIdW(1).c_str());
    ASSERT_HR(S_OK, SetWord(handle, 2103, 7, kDsp));
    LONG read = 0;
    ASSERT_HR(S_OK, GetWord(handle, 2103, &read, kDsp));
    const std::string pin = "37cee9ba99aac74b9bdf4cbf3d23e1b903000000";
    const std::string rest = Packed(
        "01000000 00000000 7e2f8ec13d936549b7d11eef228d2af3 02000000 "
        "0369c29da8a3304a8839a77b6f4e5964 14000000 01");
    EXPECT_EQ((std::vector<std::string>{pin + "02000000" + rest, pin + "01000000" + rest}),
              RequestsOfKind(WaveFilter(1), "moduleParam"));
    vexsim_KsRequestInfo info{};
    ASSERT_EQ(0, vexsim_KsRequest(WaveFilter(1).c_str(),
                                  vexsim_KsRequestCount(WaveFilter(1).c_str()) - 2, &info));
    ASSERT_EQ(64004u, info.dataLength);
    ASSERT_NE(nullptr, info.data);
    EXPECT_EQ("0400000007000000", Hex(info.data, 8)) << "the block: length 4, then the value";
    EXPECT_HR(S_OK, m_library.Close(handle));
}

TEST_F(DspParameters, AudioModuleFormCarriesTheValueInsideTheProperty) {
    Load("default");
    ControlHandle handle = OpenOrFail(kSpeakers);
    ASSERT_HR(S_OK, SetWord(handle, 2103, -2, kDsp));
    vexsim_KsRequestInfo info{};
    const int last = vexsim_KsRequestCount(kDefaultWaveFilter) - 1;
    ASSERT_EQ(0, vexsim_KsRequest(kDefaultWaveFilter, last, &info));
    EXPECT_EQ(std::string("moduleParam"), info.kind);
    ASSERT_EQ(64128u, info.propertyLength);
    EXPECT_EQ(0, info.hasData);
    // After the 48-byte command and the 32-byte KSP_PIN: header, id 20, flag 1, length 4, -2.
    EXPECT_EQ(Packed("7e2f8ec13d936549b7d11eef228d2af3 02000000 b03dddcbae856644b18d504fd8e7082b "
                     "14000000 01 04000000 feffffff"),
              Hex(info.property + 80, 36 + 4 + 1 + 4 + 4));
    EXPECT_HR(S_OK, m_library.Close(handle));
}

TEST_F(DspParameters, AmdTypeModuleInTheVendorSetForm) {
    LoadJson(OneEndpointMachine(std::string("[{\"guid\": \"") + kAmd15 + "\", \"set\": \"amd\"}]"));
    ControlHandle handle = OpenOrFail(EndpointIdW(1).c_str());
    ASSERT_HR(S_OK, SetWord(handle, 2104, 9, kDsp));
    LONG read = 0;
    ASSERT_HR(S_OK, GetWord(handle, 2104, &read, kDsp));
    EXPECT_EQ(9, read);
    const std::string set = "bdfc07821ac81b4496b54a0cf08665ad00000000";
    const std::string module = "0ef14ee036da9246a71e0077161aed540200000015000000";
    EXPECT_EQ((std::vector<std::string>{set + "02000000" + module, set + "01000000" + module}),
              RequestsOfKind(WaveFilter(1), "amdParam"));
    EXPECT_HR(E_NOTIMPL, m_library.Set(handle, 2003, "12345678", 8, kDsp))
        << "an AMD-type module has no notification registration to cancel";
    EXPECT_HR(S_OK, m_library.Close(handle));
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
        const void* buffer;
        ULONG size;
        ULONG flags;
        HRESULT result;
    } cases[] = {
        {"main range without a main module", speakers, 1101, nullptr, 4, kDsp, E_INVALIDARG},
        {"low-latency range without a module", headphones, 2103, nullptr, 4, kDsp, E_INVALIDARG},
        {"an id outside both ranges passes the gate", speakers, 3000, nullptr, 4, kDsp,
         E_INVALIDARG},
        {"selection without the DSP route", speakers, 2003, eight, 8, kApo, E_INVALIDARG},
        {"selection without a session", headphones, 2003, eight, 8, kDsp, E_FAIL},
        {"selection of a missing main module", speakers, 1003, eight, 8, kDsp, E_INVALIDARG},
        {"selection of the low-latency module", speakers, 2003, eight, 8, kDsp, S_OK},
    };
    LONG word = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const int before = vexsim_KsRequestCount(kDefaultWaveFilter);
        const void* buffer = c.buffer != nullptr || c.id == 2003 || c.id == 1003 ? c.buffer : &word;
        EXPECT_HR(c.result, m_library.Set(c.handle, c.id, buffer, c.size, c.flags));
        const std::vector<std::string> sent = RequestsOfKind(kDefaultWaveFilter, "unregister");
        if (c.result == S_OK) {
            EXPECT_EQ(before + 1, vexsim_KsRequestCount(kDefaultWaveFilter));
            ASSERT_EQ(1u, sent.size()) << "the selection cancels the notification registration";
        } else {
            EXPECT_EQ(before, vexsim_KsRequestCount(kDefaultWaveFilter)) << "nothing is sent";
        }
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
    EXPECT_HR(S_OK, SetWord(handle, 2103, 5, kApo | kDsp));
    EXPECT_EQ(5, ModuleWord(kDefaultWaveFilter, kIntel142, 20));
    LONG read = 0;
    EXPECT_HR(S_OK, GetWord(handle, 2103, &read, kApo | kDsp));
    EXPECT_EQ(5, read);

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
    const struct {
        LONG id;
        const char* text;
    } texts[] = {{2007, "1.4.2.0"}, {2004, "{cbdd3db0-85ae-4466-b18d-504fd8e7082b}"}};
    for (const auto& t : texts) {
        SCOPED_TRACE(t.id);
        const ULONG needed = static_cast<ULONG>((std::strlen(t.text) + 1) * sizeof(WCHAR));
        WCHAR small[2] = {};
        ULONG size = sizeof small;
        EXPECT_HR(E_INVALIDARG, m_library.Get(handle, t.id, small, &size, kDsp));
        EXPECT_EQ(needed, size) << "the size a text needs";
        std::vector<WCHAR> text(64, 'x');
        size = static_cast<ULONG>(text.size() * sizeof(WCHAR));
        ASSERT_HR(S_OK, m_library.Get(handle, t.id, text.data(), &size, kDsp));
        EXPECT_EQ(needed, size);
        EXPECT_EQ(t.text, vextest::Narrow(text.data()));
    }
    ULONG type = 0;
    ULONG size = 2;
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
