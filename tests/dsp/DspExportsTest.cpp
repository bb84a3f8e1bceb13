// No failure of discovery fails an open.
#include "support/Machines.h"

using vextest::kSpeakers;

using DspExports = vextest::LibraryTest;

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
