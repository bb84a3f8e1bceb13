// A capture of every shipped machine, loaded again, gives the same answers (vexctl's and the
// kernel-streaming requests of discovery), and capturing it again gives the same file.
#include "Capture.h"

#include "support/LibraryLoader.h"
#include "support/TestSupport.h"
#include "vexctl/ProgramRun.h"

#include <nlohmann/json.hpp>
#include <vexsim.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

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

// A test's name from its machine's.
std::string MachineName(const ::testing::TestParamInfo<const char*>& info) {
    std::string name = info.param;
    for (char& c : name) {
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
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

    // Every kernel-streaming request the filters of the current machine received while the
    // library opened each active render endpoint and read its modules' versions on the DSP route.
    json DiscoveryRequests(const std::string& machineText) {
        EXPECT_EQ(0, vexsim_LoadMachineJson(machineText.c_str())) << vexsim_LastError();
        const json machine = json::parse(vexsim_DumpJson());
        {
            vextest::VexLibrary library;
            EXPECT_TRUE(library.Loaded());
            for (const json& endpoint : machine["endpoints"]) {
                if (endpoint.value("flow", "render") != "render" ||
                    endpoint.value("state", "active") != "active") {
                    continue;
                }
                const WString id = vextest::Widen(endpoint["id"].get<std::string>().c_str());
                ControlHandle handle = nullptr;
                if (SUCCEEDED(library.Open(&handle, id.c_str()))) {
                    for (LONG param : {1001L, 2001L}) {
                        WCHAR text[64] = {};
                        ULONG size = sizeof text;
                        library.Get(handle, param, text, &size, VEX_ROUTE_DSP);
                    }
                    library.Close(handle);
                }
            }
        }
        json log = json::object();
        for (const json& filter : machine.value("filters", json::array())) {
            const std::string id = filter["id"];
            json requests = json::array();
            for (int i = 0; i < vexsim_KsRequestCount(id.c_str()); ++i) {
                vexsim_KsRequestInfo info{};
                vexsim_KsRequest(id.c_str(), i, &info);
                requests.push_back(
                    {info.kind,
                     std::vector<unsigned char>(info.property, info.property + info.propertyLength),
                     info.dataLength,
                     std::vector<unsigned char>(info.answer, info.answer + info.answerLength),
                     info.bytesReturned, info.result});
            }
            log[id] = requests;
        }
        return log;
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

TEST_P(CaptureRoundTrip, VexctlAnswersTheSameOnTheCapture) {
    const json capture = CaptureOf(vextest::ReadText(m_original));
    const fs::path captured = Write("captured.json", capture);
    for (const std::vector<std::string>& question : Questions(capture)) {
        SCOPED_TRACE(question[0] + (question.size() > 2 ? " " + question.back() : ""));
        EXPECT_EQ(Text(Answer(m_original, question)), Text(Answer(captured, question)));
    }
}

// Discovery sends the same requests and gets the same answers; capturing the loaded capture
// gives the same file; an anonymized capture loads and names no id or name of the machine.
TEST_P(CaptureRoundTrip, TheCaptureStandsInForTheMachine) {
    const std::string text = vextest::ReadText(m_original);
    const json original = CaptureOf(text);
    const json anonymized = vexctl::CaptureMachine(true).machine;
    EXPECT_EQ(DiscoveryRequests(text).dump(), DiscoveryRequests(original.dump()).dump());
    EXPECT_EQ(original.dump(2), CaptureOf(original.dump()).dump(2));

    ASSERT_EQ(0, vexsim_LoadMachineJson(anonymized.dump().c_str())) << vexsim_LastError();
    const std::string dumped = anonymized.dump();
    for (const json& device : original["endpoints"]) {
        EXPECT_EQ(std::string::npos, dumped.find(device["id"].get<std::string>()));
        if (device.contains("name")) {
            EXPECT_EQ(std::string::npos, dumped.find(device["name"].get<std::string>()))
                << device["name"];
        }
    }
    for (const json& device : original.value("filters", json::array())) {
        EXPECT_EQ(std::string::npos, dumped.find(device["id"].get<std::string>()));
    }
    EXPECT_EQ(original["endpoints"].size(), anonymized["endpoints"].size());
}

INSTANTIATE_TEST_SUITE_P(ShippedMachines, CaptureRoundTrip, ::testing::ValuesIn(kMachines),
                         MachineName);

}  // namespace
