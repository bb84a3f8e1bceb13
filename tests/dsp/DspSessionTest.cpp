// The DSP sessions: which discovered modules serve an endpoint's two ranges, and how open,
// close and selection treat endpoints with and without them.
#include "support/Machines.h"

#include "Orv3VexControl.h"
#include "dsp/DspController.h"
#include "dsp/TembraDspDrova.h"

using namespace dsptest;

namespace {

class DspSessions : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(m_com.Result())); }
    void TearDown() override {
        vexsim_Reset();
        vexsim_Unregister();
    }
    vextest::ComApartment m_com;
};

std::string PinModule(const char* guid, int pin) {
    return std::string("{\"guid\": \"") + guid + "\", \"forms\": [\"pin\"], \"pins\": [" +
           std::to_string(pin) + "]}";
}

}  // namespace

TEST_F(DspSessions, AnEndpointGetsItsModules) {
    ASSERT_TRUE(vextest::SimLoaded(vexsim_LoadMachine("default")));
    ASSERT_HR(S_OK, DspController::Open(vextest::kSpeakers));
    const DspModuleAvailability modules = DspController::GetModuleAvailability(vextest::kSpeakers);
    EXPECT_FALSE(modules.mainModule) << "no module of the version tables is a main module";
    EXPECT_TRUE(modules.lowLatencyModule);
    const LONG none = DspController::kNoModule;
    for (const auto& [publicId, index] :
         {std::pair<LONG, LONG>{1998, none}, {2001, 0}, {2998, 0}, {2999, none}}) {
        EXPECT_EQ(index, DspController::GetModuleIndex(vextest::kSpeakers, publicId)) << publicId;
    }
    EXPECT_HR(S_OK, DspController::SelectModule(vextest::kSpeakers, 2003));
    WString otherCase = vextest::kSpeakers;  // its hexadecimal digits in upper case
    for (WCHAR& c : otherCase) {
        c = (c >= 'a' && c <= 'f') ? static_cast<WCHAR>(c - 'a' + 'A') : c;
    }
    EXPECT_HR(S_OK, DspController::Open(otherCase.c_str()));
    EXPECT_FALSE(DspController::GetModuleAvailability(otherCase.c_str()).lowLatencyModule)
        << "the id is matched case-sensitively";

    EXPECT_HR(S_OK, DspController::Open(vextest::kSpeakers)) << "a second open";
    EXPECT_HR(S_OK, DspController::Close(vextest::kSpeakers));
    EXPECT_FALSE(DspController::GetModuleAvailability(vextest::kSpeakers).lowLatencyModule)
        << "one close ends the session";
    EXPECT_HR(E_FAIL, DspController::SelectModule(vextest::kSpeakers, 2003)) << "no session";

    // Through the exports: the last handle of an endpoint ends its session, another endpoint's
    // handle does not keep it.
    ControlHandle speakers = nullptr;
    ControlHandle headphones = nullptr;
    ASSERT_HR(S_OK, OpenVexControl(&speakers, vextest::kSpeakers));
    ASSERT_HR(S_OK, OpenVexControl(&headphones, vextest::kHeadphones));
    EXPECT_HR(S_OK, CloseVexControl(speakers));
    EXPECT_FALSE(DspController::GetModuleAvailability(vextest::kSpeakers).lowLatencyModule);
    EXPECT_HR(S_OK, CloseVexControl(headphones));
}

TEST_F(DspSessions, TheLastModuleOfAnEndpointWins) {
    const std::string modules =
        "[" + PinModule(kIntel100, 0) + ", " + PinModule(kIntel131, 2) + "]";
    ASSERT_TRUE(vextest::SimLoaded(vexsim_LoadMachineJson(
        Machine(
            {Endpoint(1, StandardProperties(1), RenderPath(modules)),
             Endpoint(2, StandardProperties(2), RenderPath("[" + PinModule(kIntel142, 1) + "]"))})
            .c_str())));
    const WString second = EndpointIdW(2);
    ASSERT_HR(S_OK, DspController::Open(second.c_str()));
    EXPECT_EQ(3u, DspController::Driver().Modules().size()) << "every endpoint is discovered";
    EXPECT_EQ(2, DspController::GetModuleIndex(second.c_str(), 2001));
    const WString first = EndpointIdW(1);
    ASSERT_HR(S_OK, DspController::Open(first.c_str()));
    EXPECT_EQ(1, DspController::GetModuleIndex(first.c_str(), 2001))
        << "of the endpoint's two records, the later one";
    EXPECT_EQ(3u, DspController::Driver().Modules().size()) << "nothing appended again";
}

TEST_F(DspSessions, DriverSlotsReportTheInventory) {
    ASSERT_TRUE(vextest::SimLoaded(vexsim_LoadMachine("default")));
    CTembraDspDrova driver;
    EXPECT_HR(E_FAIL, driver.SelectModule(-1)) << "an empty list";
    EXPECT_HR(S_OK, driver.RefreshModules());
    ULONG count = 7;
    EXPECT_HR(S_OK, driver.GetModuleCount(&count));
    ASSERT_EQ(1u, count);

    ScopedBstr id;
    ScopedBstr name;
    ScopedBstr label;
    GUID guid{};
    ULONG formFactor = 0;
    ULONG channels = 0;
    ULONG type = 0;
    EXPECT_HR(E_FAIL, driver.GetModuleInfo(1, id.Receive(), &guid, &formFactor, name.Receive(),
                                           &channels, &type, label.Receive()));
    EXPECT_EQ(nullptr, id.Get()) << "nothing written past the list";
    ASSERT_HR(S_OK, driver.GetModuleInfo(0, id.Receive(), &guid, &formFactor, name.Receive(),
                                         &channels, &type, label.Receive()));
    EXPECT_EQ(vextest::Narrow(vextest::kSpeakers), vextest::Narrow(id.Get()));
    EXPECT_EQ("Speakers (Vex High Definition Audio)", vextest::Narrow(name.Get()));
    EXPECT_EQ("1.4.2", vextest::Narrow(label.Get()));

    EXPECT_HR(E_FAIL, driver.SelectModule(1));
    EXPECT_EQ(-1, driver.SelectedIndex());
    EXPECT_HR(E_FAIL, driver.SelectModule(-2));
    EXPECT_HR(S_OK, driver.SelectModule(0));
    EXPECT_EQ(0, driver.SelectedIndex());
}

TEST_F(DspSessions, ModuleEnable) {
    // Three endpoints, a module each: pin form, AMD-type, audio-module form.
    const std::string third = "{876CD395-4C0D-4DD7-A205-7F99FD78ED78}";
    ASSERT_TRUE(vextest::SimLoaded(vexsim_LoadMachineJson(
        Machine(
            {Endpoint(1, StandardProperties(1), RenderPath("[" + PinModule(kIntel131, 1) + "]")),
             Endpoint(
                 2, StandardProperties(2),
                 RenderPath(std::string("[{\"guid\": \"") + kAmd15 + "\", \"set\": \"amd\"}]")),
             Endpoint(3, StandardProperties(3),
                      RenderPath("[{\"guid\": \"" + third + "\", \"forms\": [\"audioModule\"]}]"))})
            .c_str())));
    CTembraDspDrova driver;
    EXPECT_HR(E_FAIL, driver.UnregisterCallbackEvent()) << "no module";
    ASSERT_HR(S_OK, driver.RefreshModules());
    ASSERT_EQ(3u, driver.Modules().size());

    EXPECT_HR(S_OK, driver.SetModuleEnable(5)) << "index -1: every module";
    EXPECT_EQ(1, vexsim_ModuleEnabled(WaveFilter(1).c_str(), kIntel131));
    EXPECT_TRUE(RequestsOfKind(WaveFilter(2), "moduleEnable").empty()) << "no AMD-type request";
    EXPECT_EQ(1u, RequestsOfKind(WaveFilter(3), "moduleEnable").size()) << "the wrapped form";

    EXPECT_HR(S_OK, driver.SelectModule(0));
    EXPECT_HR(S_OK, driver.SetModuleEnable(0));
    EXPECT_EQ(0, vexsim_ModuleEnabled(WaveFilter(1).c_str(), kIntel131));
    ULONG enabled = 7;
    EXPECT_HR(S_OK, driver.GetModuleEnable(&enabled));
    EXPECT_EQ(0u, enabled);

    EXPECT_HR(S_OK, driver.SelectModule(1));
    EXPECT_HR(S_FALSE, driver.SetModuleEnable(1)) << "AMD-type: nothing to send";
    EXPECT_HR(S_OK, driver.GetModuleEnable(&enabled));
    EXPECT_EQ(1u, enabled);

    EXPECT_HR(S_OK, driver.SelectModule(-1));
    ASSERT_EQ(0, vexsim_AddFaults(("[{\"method\": \"IKsControl::KsProperty\", \"endpoint\": \"" +
                                   WaveFilter(1) +
                                   "\", \"request\": \"moduleEnable\", \"result\": \"E_FAIL\"}]")
                                      .c_str()))
        << vexsim_LastError();
    vextest::TraceSession session(5);
    EXPECT_HR(E_FAIL, driver.SetModuleEnable(1)) << "the first module fails";
    if (vextest::HaveTraceController()) {
        EXPECT_TRUE(vextest::OneRecordAt(3, "Set module status failed")) << "a warning";
    }
    EXPECT_EQ(1u, RequestsOfKind(WaveFilter(3), "moduleEnable").size())
        << "the later modules are not touched";

    ScopedBstr guid;
    ASSERT_HR(S_OK, driver.GetModuleGuid(guid.Receive()));
    EXPECT_EQ("{9dc26903-a3a8-4a30-8839-a77b6f4e5964}", vextest::Narrow(guid.Get()));
}
