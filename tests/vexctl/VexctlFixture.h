// Tests of vexctl drive the built program: each run is a process of its own, natively the
// native program and under Wine vexctl.exe beside the test. A test works in a directory of its
// own with its own state directory (XDG_STATE_HOME, or LOCALAPPDATA on Windows) and its own
// machine files.
#pragma once

#include "ProgramRun.h"

#include "support/TestSupport.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace vextest {

// Endpoint ids of the test machine (TestMachineJson).
inline constexpr const char* kTestSpeakers = "speakers-1";
inline constexpr const char* kTestHeadphones = "headphones-2";

// A machine with two active render endpoints (speakers, the default, with an installed effect;
// headphones without one, with a name that is not ASCII), a disabled HDMI output and a
// microphone, with `extra` added as members of the top-level object (e.g. faults).
std::string TestMachineJson(const std::string& extra = "");

// Speakers with a low-latency module labelled "1.5", headphones with a vendor-set module
// ("1.4.1"), and a line output ("line-3") without any module; no main-processing module.
std::string DspMachineJson();

// The property key under which the endpoint effect keeps a main-processing parameter, as the
// simulator's dump writes it.
std::string MainKey(int pid);
std::string LowLatencyKey(int pid);

// A value stored on an endpoint of a machine file, or null when it is not set.
nlohmann::json StoredValue(const std::string& machineText, const std::string& endpointId,
                           const std::string& key);

class VexctlTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs vexctl with the arguments.
    ProgramResult Run(const std::vector<std::string>& arguments);
    // Runs vexctl on the default simulated machine kept in this test's state directory (on
    // Windows, where the real audio system is the default, with --machine default).
    ProgramResult RunOnDefaultMachine(std::vector<std::string> arguments);
    // Runs vexctl on a machine file.
    ProgramResult RunOnMachine(const std::filesystem::path& machine,
                               std::vector<std::string> arguments);
    // Starts one vexctl run per argument list at the same time and waits for all of them.
    std::vector<ProgramResult> RunAtOnce(const std::vector<std::vector<std::string>>& runs);

    // Writes a file into this test's directory and gives its path.
    std::filesystem::path WriteFile(const std::string& name, const std::string& content);
    std::string ReadFile(const std::filesystem::path& path) const { return ReadText(path); }
    // A machine file holding TestMachineJson(extra).
    std::filesystem::path WriteTestMachine(const std::string& extra = "");

    std::filesystem::path StateFile() const;
    const std::filesystem::path& Directory() const { return m_directory; }

private:
    std::filesystem::path m_directory;
    std::filesystem::path m_program;
    int m_runs = 0;
};

// Output assertions that show the whole run when they fail.
::testing::AssertionResult Succeeded(const ProgramResult& result);
::testing::AssertionResult ExitedWith(int code, const ProgramResult& result);
bool Contains(const std::string& text, const std::string& fragment);

// The JSON document that a run printed on standard output.
nlohmann::json OutputJson(const ProgramResult& result);

}  // namespace vextest
