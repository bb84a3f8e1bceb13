// Runs of vexctl at the same time on one machine: each run that says it wrote a parameter has
// it in the machine afterwards.
#include "VexctlFixture.h"

namespace vextest {
namespace {

using VexctlConcurrency = VexctlTest;

constexpr const char* kDefaultEndpoint = "{0.0.0.00000000}.{6f1f6a2e-3c1b-4d59-9a51-0b7e2d1c4a01}";

TEST_F(VexctlConcurrency, OverlappingSetsLoseNoAcknowledgedWrite) {
    const auto machine = WriteTestMachine();
    struct Case {
        const char* what;
        bool defaultMachine;
    };
    for (const Case& machineCase : {Case{"machine file", false}, Case{"default machine", true}}) {
        SCOPED_TRACE(machineCase.what);
        // Ten main-processing parameters, pids 0 to 9 (ids 1101 to 1110), written at once.
        std::vector<std::vector<std::string>> runs;
        for (int pid = 0; pid < 10; ++pid) {
            std::vector<std::string> arguments = {"set", std::to_string(1101 + pid),
                                                  std::to_string(100 + pid)};
            if (machineCase.defaultMachine) {
#ifdef _WIN32
                arguments.insert(arguments.begin(), {"--machine", "default"});
#endif
            } else {
                arguments.insert(arguments.begin(), {"--machine", PathText(machine)});
            }
            runs.push_back(arguments);
        }
        const std::vector<ProgramResult> results = RunAtOnce(runs);
        const std::string text = ReadFile(machineCase.defaultMachine ? StateFile() : machine);
        const std::string endpoint = machineCase.defaultMachine ? kDefaultEndpoint : kTestSpeakers;
        for (int pid = 0; pid < 10; ++pid) {
            ASSERT_TRUE(Succeeded(results[static_cast<size_t>(pid)])) << pid;
            EXPECT_EQ(100 + pid, StoredValue(text, endpoint, MainKey(pid)).value("value", -1))
                << "the write of " << 1101 + pid << " was lost";
        }
    }
}

}  // namespace
}  // namespace vextest
