// The shipped machines with DSP modules, walked as discovery walks them: each endpoint leads to
// the modules its machine promises, on the pins and in the forms it says, with the channel
// count of its engine device format.
#include "DiscoverySupport.h"

#include <ostream>
#include <string>
#include <vector>

namespace {

using simtest::FoundModule;

struct Expected {
    ULONG pin;
    const char* guid;
    const char* form;
};

struct ShippedCase {
    const char* name;
    const char* machine;
    const WCHAR* endpoint;
    unsigned channels;
    std::vector<Expected> modules;
};

void PrintTo(const ShippedCase& c, std::ostream* os) {
    *os << c.name;
}

class SimShippedMachine : public simtest::SimTest,
                          public ::testing::WithParamInterface<ShippedCase> {};

TEST_P(SimShippedMachine, DiscoveryFindsTheModulesItPromises) {
    const ShippedCase& c = GetParam();
    ASSERT_TRUE(simtest::Loaded(vexsim_LoadMachine(c.machine)));
    ComPtr<IMMDeviceEnumerator> enumerator = Enumerator();
    ASSERT_TRUE(enumerator);
    const std::vector<FoundModule> found = simtest::Discovery(enumerator.Get()).Modules(c.endpoint);
    ASSERT_EQ(c.modules.size(), found.size());
    for (size_t i = 0; i < found.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(c.modules[i].pin, found[i].pin);
        EXPECT_EQ(c.modules[i].guid, found[i].guid);
        EXPECT_EQ(c.modules[i].form, found[i].form);
    }
    ComPtr<IMMDevice> device = Device(c.endpoint);
    ASSERT_TRUE(device);
    EXPECT_EQ(c.channels, simtest::Discovery::Channels(device.Get()));
}

const char* const k142 = "{CBDD3DB0-85AE-4466-B18D-504FD8E7082B}";
const char* const k15 = "{876CD395-4C0D-4DD7-A205-7F99FD78ED78}";

INSTANTIATE_TEST_SUITE_P(
    Machines, SimShippedMachine,
    ::testing::Values(
        ShippedCase{"Default", "default", simtest::kSpeakers, 2, {{1, k142, "audioModule"}}},
        ShippedCase{"DefaultHeadphones", "default", simtest::kHeadphones, 2, {}},
        ShippedCase{"DspModulesSpeakers",
                    "dsp-modules",
                    TEXT("{0.0.0.00000000}.{7a2b3c4d-0000-4000-8000-000000000001}"),
                    2,
                    {{1, k15, "audioModule"},
                     {2, "{F5151CC1-D8AA-4F79-8A05-7AB55D8B7A39}", "audioModule"}}},
        ShippedCase{"DspModulesHeadphones",
                    "dsp-modules",
                    TEXT("{0.0.0.00000000}.{7a2b3c4d-0000-4000-8000-000000000002}"),
                    2,
                    {{0, "{B5FCC815-1F49-4F4E-B04C-05F3A383EFFF}", "vendorSet"}}},
        ShippedCase{"Module100",
                    "module-1.0.0",
                    TEXT("{0.0.0.00000000}.{7b3c4d5e-0000-4000-8000-000000000001}"),
                    2,
                    {{1, "{849F0D73-1678-4D57-8C78-61C548253993}", "pin"}}},
        ShippedCase{"Module131",
                    "module-1.3.1",
                    TEXT("{0.0.0.00000000}.{7b3c4d5e-0000-4000-8000-000000000002}"),
                    2,
                    {{1, "{9DC26903-A3A8-4A30-8839-A77B6F4E5964}", "audioModule"}}},
        ShippedCase{"TwoRecords",
                    "two-records",
                    TEXT("{0.0.0.00000000}.{7b3c4d5e-0000-4000-8000-000000000003}"),
                    2,
                    {{1, k142, "audioModule"}, {2, k15, "audioModule"}}},
        ShippedCase{"TenChannels",
                    "ten-channels",
                    TEXT("{0.0.0.00000000}.{7b3c4d5e-0000-4000-8000-000000000004}"),
                    10,
                    {{1, k142, "audioModule"}}},
        ShippedCase{"EmptyModuleList",
                    "empty-module-list",
                    TEXT("{0.0.0.00000000}.{7b3c4d5e-0000-4000-8000-000000000005}"),
                    2,
                    {}}),
    [](const auto& info) { return std::string(info.param.name); });

// The empty list is a vendor set that answers, not one that is missing: the module list comes
// back with success, a header of 8 bytes and a count of 0.
TEST_F(SimShippedMachine, EmptyModuleListAnswersAHeaderWithCountZero) {
    ASSERT_TRUE(simtest::Loaded(vexsim_LoadMachine("empty-module-list")));
    ComPtr<IMMDevice> wave = Device(TEXT("spk#wave"));
    ASSERT_TRUE(wave);
    ComPtr<IKsControl> control;
    ASSERT_HR(S_OK,
              wave->Activate(simtest::kIidKsControl, CLSCTX_ALL, nullptr, control.ReceiveVoid()));
    simtest::Request list;
    list.Guid(simtest::kVendorSet).U32(1).U32(1).U32(1).U32(0).Guid(simtest::kModuleAddress);
    ULONG size = 0;
    ASSERT_HR(S_OK, control->KsProperty(reinterpret_cast<PKSPROPERTY>(list.Get().data()), 48,
                                        nullptr, 0, &size));
    ASSERT_EQ(8u, size);
    simtest::Bytes header(8, 0xCC);
    ULONG returned = 0;
    ASSERT_HR(S_OK, control->KsProperty(reinterpret_cast<PKSPROPERTY>(list.Get().data()), 48,
                                        header.data(), 8, &returned));
    EXPECT_EQ(8u, returned);
    EXPECT_EQ(simtest::Le32({8, 0}), header);
}

}  // namespace
