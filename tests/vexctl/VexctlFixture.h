// vexctl tests run the built program, each run a process of its own, in a directory of the
// test's own with its own state directory (XDG_STATE_HOME, or LOCALAPPDATA on Windows).
#pragma once

#include "ProgramRun.h"

#include "support/TestSupport.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>
#include <vector>

namespace vextest {

inline constexpr const char* kTestSpeakers = "speakers-1";

// Speakers (the default, with an installed effect), headphones named in German, a disabled HDMI
// output and a microphone, with `extra` added to the top-level object (e.g. faults).
std::string TestMachineJson(const std::string& extra = "");
// Speakers with a low-latency module labelled "1.5" and headphones with a vendor-set module
// ("1.4.1"); no main-processing module.
std::string DspMachineJson();
// The key of a main-processing parameter in an endpoint's store.
std::string MainKey(int pid);
// A fault of TestMachineJson: the store refuses vex_calibration_boost (pid 1).
inline const std::string kRefusingStore =
    R"("faults": [{"method": "IPropertyStore::SetValue", "key": ")" + MainKey(1) +
    R"(", "result": "E_ACCESSDENIED"}])";
// A value stored on an endpoint of a machine file, or null.
nlohmann::json StoredValue(const std::filesystem::path& machine, const std::string& endpointId,
                           const std::string& key);

class VexctlTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    ProgramResult Run(const std::vector<std::string>& arguments);
    ProgramResult RunOnMachine(const std::filesystem::path& machine,
                               std::vector<std::string> arguments);
    // One run per argument list, all at the same time.
    std::vector<ProgramResult> RunAtOnce(const std::vector<std::vector<std::string>>& runs);

    std::filesystem::path WriteFile(const std::string& name, const std::string& content);
    std::filesystem::path WriteTestMachine(const std::string& extra = "");
    std::filesystem::path StateFile() const;
    const std::filesystem::path& Directory() const { return m_directory; }

private:
    std::filesystem::path m_directory;
    int m_runs = 0;
};

// Exit code assertions that show the whole run when they fail.
::testing::AssertionResult ExitedWith(int code, const ProgramResult& result);
inline ::testing::AssertionResult Succeeded(const ProgramResult& result) {
    return ExitedWith(0, result);
}
inline bool Contains(const std::string& text, const std::string& fragment) {
    return text.find(fragment) != std::string::npos;
}
// The JSON document a run printed on standard output.
nlohmann::json OutputJson(const ProgramResult& result);

}  // namespace vextest
