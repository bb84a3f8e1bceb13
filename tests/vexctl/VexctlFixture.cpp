#include "VexctlFixture.h"

#include "support/MachineDump.h"

#include <fstream>
#include <thread>

namespace vextest {

namespace {

#ifdef _WIN32
const char* const kStateVariable = "LOCALAPPDATA";
#else
const char* const kStateVariable = "XDG_STATE_HOME";
#endif

std::string Describe(const ProgramResult& result) {
    return "exit code " + std::to_string(result.exitCode) + "\n--- stdout:\n" + result.out +
           "--- stderr:\n" + result.err;
}

}  // namespace

std::string TestMachineJson(const std::string& extra) {
    return R"({"name": "vexctl-test", "endpoints": [
  {"id": "speakers-1", "default": true, "name": "Test Speakers",
   "properties": {"{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},0": {"type": "VT_UI4", "value": 1}},
   "fx": {"{D04E05A6-594B-4FB6-A80D-01AF5EED7D1D},13": ["{1bedaecc-55f6-4149-95d9-a707a2fb4134}"],
          "{D04E05A6-594B-4FB6-A80D-01AF5EED7D1D},15": ["{97acd2ab-83ec-494b-9fe4-922bce1bd691}"]}},
  {"id": "headphones-2", "name": "Kopfh\u00f6rer",
   "properties": {"{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},0": {"type": "VT_UI4", "value": 3}}},
  {"id": "hdmi-3", "state": "disabled", "name": "Display Audio"},
  {"id": "mic-4", "flow": "capture", "default": true, "name": "Microphone"}])" +
           (extra.empty() ? std::string() : ",\n" + extra) + "}\n";
}

std::string DspMachineJson() {
    return R"({"name": "vexctl-dsp-test", "endpoints": [
  {"id": "speakers-1", "default": true, "name": "Test Speakers", "properties": {
     "{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},0": {"type": "VT_UI4", "value": 1},
     "{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},4": "{0A0B0C0D-0000-4000-8000-000000000001}"},
   "renderPath": {"waveFilter": "spk#wave", "modules": [{"guid":
     "{876CD395-4C0D-4DD7-A205-7F99FD78ED78}", "type": "EFX", "name": "drova-ll",
     "version": "1.5.0.3", "forms": ["pin", "audioModule"]}]}},
  {"id": "headphones-2", "name": "Test Headphones", "properties": {
     "{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},0": {"type": "VT_UI4", "value": 3},
     "{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},4": "{0A0B0C0D-0000-4000-8000-000000000002}"},
   "renderPath": {"waveFilter": "hp#wave", "modules": [{"guid":
     "{B5FCC815-1F49-4F4E-B04C-05F3A383EFFF}", "set": "amd", "version": "4.1.0"}]}}]})";
}

std::string MainKey(int pid) {
    return "{F112024A-FE30-42A8-80AB-8DD825A06F78}," + std::to_string(pid);
}

nlohmann::json StoredValue(const std::filesystem::path& machine, const std::string& endpointId,
                           const std::string& key) {
    return DumpedProperty(nlohmann::json::parse(ReadText(machine)), endpointId, key);
}

void VexctlTest::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_directory = std::filesystem::current_path() / "vexctl-runs" /
                  (std::string(info->test_suite_name()) + "." + info->name());
    std::filesystem::remove_all(m_directory);
    std::filesystem::create_directories(m_directory / "state");
    ASSERT_TRUE(std::filesystem::exists(VexctlProgram())) << "vexctl is not built";
}

void VexctlTest::TearDown() {
    if (!HasFailure()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_directory, ignored);
    }
}

ProgramResult VexctlTest::Run(const std::vector<std::string>& arguments) {
    return RunAtOnce({arguments})[0];
}

std::vector<ProgramResult> VexctlTest::RunAtOnce(
    const std::vector<std::vector<std::string>>& runs) {
    std::vector<ProgramResult> results(runs.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < runs.size(); ++i) {
        const std::filesystem::path scratch = m_directory / ("run" + std::to_string(++m_runs));
        threads.emplace_back([this, &runs, &results, i, scratch] {
            results[i] = RunProgram(VexctlProgram(), runs[i],
                                    {{kStateVariable, PathText(m_directory / "state")}}, scratch);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return results;
}

ProgramResult VexctlTest::RunOnMachine(const std::filesystem::path& machine,
                                       std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--machine", PathText(machine)});
    return Run(arguments);
}

std::filesystem::path VexctlTest::WriteFile(const std::string& name, const std::string& content) {
    const std::filesystem::path path = m_directory / name;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    return path;
}

std::filesystem::path VexctlTest::WriteTestMachine(const std::string& extra) {
    return WriteFile("machine.json", TestMachineJson(extra));
}

std::filesystem::path VexctlTest::StateFile() const {
    return m_directory / "state" / "vexctl" / "default-machine.json";
}

::testing::AssertionResult ExitedWith(int code, const ProgramResult& result) {
    if (result.exitCode == code) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "expected exit code " << code << ", got " << Describe(result);
}

nlohmann::json OutputJson(const ProgramResult& result) {
    try {
        return nlohmann::json::parse(result.out);
    } catch (const nlohmann::json::exception& error) {
        ADD_FAILURE() << "standard output is not JSON (" << error.what() << "):\n"
                      << Describe(result);
        return nullptr;
    }
}

}  // namespace vextest
