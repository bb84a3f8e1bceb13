// A capture of every shipped machine, loaded again, gives the same answers as the machine.
#include "Capture.h"

#include "support/TestSupport.h"
#include "vexctl/ProgramRun.h"

#include <nlohmann/json.hpp>
#include <vexsim.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const char* const kMachines[] = {
    "default",        "single-speaker", "read-only-store",   "no-default-render",
    "wrapper-effect", "dsp-modules",    "module-1.0.0",      "module-1.3.1",
    "two-records",    "ten-channels",   "empty-module-list",
};

// A document as text; bytes that are not UTF-8 (a child's stray output) are replaced.
std::string Text(const json& document) {
    return document.dump(2, ' ', false, json::error_handler_t::replace);
}

class CaptureRoundTrip : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(m_com.Result()));
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_dir = fs::temp_directory_path() /
                ("vexcapture-" + test.substr(0, test.find('/')) + "-" + GetParam());
        std::error_code error;
        fs::remove_all(m_dir, error);
        ASSERT_TRUE(fs::create_directories(m_dir / "state", error)) << error.message();
        m_original = fs::path(vextest::PathOf(vexsim_MachinesDirectory())) /
                     (std::string(GetParam()) + ".json");
    }
    void TearDown() override {
        vexsim_Reset();
        vexsim_Unregister();
        std::error_code error;
        fs::remove_all(m_dir, error);  // a child that Wine has not ended yet may hold a file
    }

    // The capture of a machine file, as vexctl writes it.
    json CaptureOf(const std::string& machineText) {
        EXPECT_EQ(0, vexsim_LoadMachineJson(machineText.c_str())) << vexsim_LastError();
        return vexctl::CaptureMachine(false).machine;
    }
    fs::path Write(const std::string& name, const json& machine) {
        const fs::path file = m_dir / name;
        std::ofstream(file, std::ios::binary) << machine.dump(2);
        return file;
    }

    // vexctl's JSON answer on a machine file, without the line that names the machine.
    json Answer(const fs::path& machine, std::vector<std::string> arguments) {
        arguments.insert(arguments.end(),
                         {"--machine", vextest::PathText(machine), "--no-save", "--json"});
        const vextest::ProgramResult run =
            vextest::RunProgram(vextest::VexctlProgram(), arguments,
                                {{"XDG_STATE_HOME", vextest::PathText(m_dir / "state")},
                                 {"LOCALAPPDATA", vextest::PathText(m_dir / "state")}},
                                m_dir);
        json answer = json::parse(run.out, nullptr, false);
        if (answer.is_object()) {
            answer.erase("machine");
            if (answer.contains("error")) {
                answer["error"].erase("machine");
            }
        }
        return json{{"exit", run.exitCode}, {"answer", answer}, {"err", run.err}};
    }

    std::vector<std::vector<std::string>> Questions(const json& machine) {
        std::vector<std::vector<std::string>> questions = {{"endpoints"}};
        for (const json& endpoint : machine["endpoints"]) {
            if (endpoint.value("flow", "render") == "render" &&
                endpoint.value("state", "active") == "active") {
                const std::string id = endpoint["id"];
                questions.push_back({"info", "--endpoint", id});
                questions.push_back({"dump", "--route", "apo", "--endpoint", id});
                questions.push_back({"dump", "--route", "dsp", "--endpoint", id});
            }
        }
        return questions;
    }

    vextest::ComApartment m_com;
    fs::path m_dir;
    fs::path m_original;
};

// vexctl answers the same on the capture as on the machine, and an anonymized capture loads and
// names no id or name of the machine.
TEST_P(CaptureRoundTrip, TheCaptureStandsInForTheMachine) {
    const json capture = CaptureOf(vextest::ReadText(m_original));
    const json anonymized = vexctl::CaptureMachine(true).machine;
    const fs::path captured = Write("captured.json", capture);
    for (const std::vector<std::string>& question : Questions(capture)) {
        SCOPED_TRACE(question[0] + (question.size() > 2 ? " " + question.back() : ""));
        EXPECT_EQ(Text(Answer(m_original, question)), Text(Answer(captured, question)));
    }

    ASSERT_EQ(0, vexsim_LoadMachineJson(anonymized.dump().c_str())) << vexsim_LastError();
    const std::string dumped = anonymized.dump();
    for (const json& device : capture["endpoints"]) {
        EXPECT_EQ(std::string::npos, dumped.find(device["id"].get<std::string>()));
        if (device.contains("name")) {
            EXPECT_EQ(std::string::npos, dumped.find(device["name"].get<std::string>()))
                << device["name"];
        }
    }
    for (const json& device : capture.value("filters", json::array())) {
        EXPECT_EQ(std::string::npos, dumped.find(device["id"].get<std::string>()));
    }
    EXPECT_EQ(capture["endpoints"].size(), anonymized["endpoints"].size());
}

INSTANTIATE_TEST_SUITE_P(ShippedMachines, CaptureRoundTrip, ::testing::ValuesIn(kMachines),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::replace_if(
                                 name.begin(), name.end(),
                                 [](char c) { return c == '-' || c == '.'; }, '_');
                             return name;
                         });

}  // namespace
