// The DSP session in the exports: an open discovers the modules and keeps one control per
// module until the library is unloaded, and no DSP failure fails an open.
#include "support/Machines.h"

using vextest::kHeadphones;
using vextest::kSpeakers;

using DspExports = vextest::LibraryTest;

TEST_F(DspExports, OpenDiscoversAndUnloadReleases) {
    Load("default");
    ControlHandle speakers = OpenOrFail(kSpeakers);
    EXPECT_EQ(1, vexsim_LiveObjectCountOf("IKsControl")) << "one record, one control";
    ControlHandle headphones = OpenOrFail(kHeadphones);
    ControlHandle again = OpenOrFail(kSpeakers);
    EXPECT_EQ(1, vexsim_LiveObjectCountOf("IKsControl")) << "discovery appends nothing new";
    EXPECT_HR(S_OK, m_library.Close(again));
    EXPECT_HR(S_OK, m_library.Close(headphones));
    EXPECT_HR(S_OK, m_library.Close(speakers));
    EXPECT_EQ(1, vexsim_LiveObjectCountOf("IKsControl")) << "records live until unload";
    // The fixture checks that unloading the library gives the control back.
}

TEST_F(DspExports, DiscoveryFailuresNeverFailTheOpen) {
    const char* const faults[] = {"IMMDeviceEnumerator::EnumAudioEndpoints",
                                  "IMMDeviceCollection::Item", "IDeviceTopology::GetConnector",
                                  "IKsControl::KsProperty"};
    for (const char* method : faults) {
        SCOPED_TRACE(method);
        Load("default");
        const std::string fault =
            std::string(R"([{"method": ")") + method + R"(", "result": "E_FAIL"}])";
        ASSERT_EQ(0, vexsim_AddFaults(fault.c_str())) << vexsim_LastError();
        ControlHandle handle = OpenOrFail(kSpeakers);
        EXPECT_EQ(0, vexsim_LiveObjectCountOf("IKsControl")) << "no module was found";
        EXPECT_HR(S_OK, m_library.Close(handle));
        vexsim_Reset();
    }
}
