// Changes made while the code under test runs: an endpoint's state, and the KS controls it holds.
#include "KsTestSupport.h"

#include <ostream>
#include <string>

namespace {

using simtest::Loaded;

const char* const kSpeakersUtf8 = "{0.0.0.00000000}.{6f1f6a2e-3c1b-4d59-9a51-0b7e2d1c4a01}";

struct StateCase {
    const char* name;
    unsigned long state;
    const char* dumped;
    UINT activeRender;  // active render endpoints of the default machine afterwards
    UINT withState;     // render endpoints in the new state (the HDMI output is disabled)
    HRESULT defaultResult;
};

void PrintTo(const StateCase& c, std::ostream* os) {
    *os << c.name;
}

class SimEndpointState : public simtest::SimTest, public ::testing::WithParamInterface<StateCase> {
protected:
    void SetUp() override {
        SimTest::SetUp();
        ASSERT_TRUE(Loaded(vexsim_LoadMachine("default")));
    }

    UINT Count(EDataFlow flow, DWORD mask) {
        ComPtr<IMMDeviceCollection> devices;
        UINT count = 0;
        EXPECT_HR(S_OK, Enumerator()->EnumAudioEndpoints(flow, mask, devices.Receive()));
        if (devices) {
            EXPECT_HR(S_OK, devices->GetCount(&count));
        }
        return count;
    }
};

TEST_P(SimEndpointState, LaterEnumerationsSeeTheNewState) {
    const StateCase& c = GetParam();
    ASSERT_EQ(2u, Count(eRender, DEVICE_STATE_ACTIVE));
    ComPtr<IMMDevice> held = Device(simtest::kSpeakers);
    ASSERT_TRUE(held);
    ComPtr<IMMDeviceCollection> before;
    ASSERT_HR(S_OK,
              Enumerator()->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, before.Receive()));

    ASSERT_EQ(0, vexsim_SetEndpointState(kSpeakersUtf8, c.state)) << vexsim_LastError();
    EXPECT_EQ(c.activeRender, Count(eRender, DEVICE_STATE_ACTIVE));
    EXPECT_EQ(c.withState, Count(eRender, static_cast<DWORD>(c.state)));
    DWORD state = 0;
    EXPECT_HR(S_OK, held->GetState(&state));
    EXPECT_EQ(c.state, state);
    ComPtr<IMMDevice> defaultRender;
    EXPECT_HR(c.defaultResult,
              Enumerator()->GetDefaultAudioEndpoint(eRender, eConsole, defaultRender.Receive()));
    UINT listed = 0;
    EXPECT_HR(S_OK, before->GetCount(&listed));
    EXPECT_EQ(2u, listed) << "a collection handed out before keeps its devices";
    EXPECT_NE(std::string::npos,
              std::string(vexsim_DumpJson()).find(std::string("\"state\": \"") + c.dumped + "\""));
}

INSTANTIATE_TEST_SUITE_P(
    States, SimEndpointState,
    ::testing::Values(
        StateCase{"Active", DEVICE_STATE_ACTIVE, "active", 2, 2, S_OK},
        StateCase{"Disabled", DEVICE_STATE_DISABLED, "disabled", 1, 2, simtest::kNotFound},
        StateCase{"NotPresent", DEVICE_STATE_NOTPRESENT, "notpresent", 1, 1, simtest::kNotFound},
        StateCase{"Unplugged", DEVICE_STATE_UNPLUGGED, "unplugged", 1, 1, simtest::kNotFound}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimEndpointState, WrongStatesAndIdsAreRefused) {
    for (unsigned long state : {0ul, 3ul, 16ul, 0xFFFFFFFFul}) {
        EXPECT_EQ(-1, vexsim_SetEndpointState(kSpeakersUtf8, state)) << state;
    }
    EXPECT_EQ(-1, vexsim_SetEndpointState("no such endpoint", DEVICE_STATE_ACTIVE));
    EXPECT_EQ(-1, vexsim_SetEndpointState(nullptr, DEVICE_STATE_ACTIVE));
    EXPECT_EQ(2u, Count(eRender, DEVICE_STATE_ACTIVE));
}

// Every activation of IKsControl hands out an object of its own, counted by its kind until its
// last reference goes.
class SimKsControlCount : public simtest::KsTest {};

TEST_F(SimKsControlCount, CountsEveryControlHandedOutUntilItsLastRelease) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("default")));
    EXPECT_EQ(0, vexsim_LiveObjectCountOf("IKsControl"));
    ComPtr<IKsControl> first = Control(simtest::kWaveFilterUtf8);
    ComPtr<IKsControl> second = Control(simtest::kWaveFilterUtf8);
    ComPtr<IKsControl> topology = Control(simtest::kTopologyFilterUtf8);
    ASSERT_TRUE(first && second && topology);
    EXPECT_NE(first.Get(), second.Get());
    EXPECT_EQ(3, vexsim_LiveObjectCountOf("IKsControl"));
    EXPECT_EQ(0, vexsim_LiveObjectCountOf("IMMDevice")) << "the devices were released";

    ComPtr<IKsControl> same;
    ASSERT_HR(S_OK, first.QueryInterface(simtest::kIidKsControl, &same));
    EXPECT_EQ(3, vexsim_LiveObjectCountOf("IKsControl")) << "a query adds no object";
    first.Reset();
    EXPECT_EQ(3, vexsim_LiveObjectCountOf("IKsControl"));
    same.Reset();
    EXPECT_EQ(2, vexsim_LiveObjectCountOf("IKsControl"));
    second.Reset();
    topology.Reset();
    EXPECT_EQ(0, vexsim_LiveObjectCountOf("IKsControl"));
    EXPECT_EQ(0, vexsim_LiveObjectCountOf("IKsControlX")) << "an unknown kind counts nothing";
}

}  // namespace
