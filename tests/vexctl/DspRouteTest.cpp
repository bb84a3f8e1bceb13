// vexctl on the DSP route: get and set with --route dsp and both against simulated modules,
// module selection, the modules that info shows, dump and load, and the state file.
#include "VexctlFixture.h"

#include "support/MachineDump.h"

#include <numeric>

namespace vextest {
namespace {

constexpr const char* kLineOut = "line-3";
constexpr const char* kSpeakerWave = "spk#wave";
constexpr const char* kLowLatencyModule = "{876CD395-4C0D-4DD7-A205-7F99FD78ED78}";

// Speakers with a low-latency module labelled "1.5" on the wave filter's offload pin,
// headphones with a vendor-set module ("1.4.1"), and a line output without any module. No
// module is labelled for the main processing.
std::string DspMachineJson() {
    return R"({
  "name": "vexctl-dsp-test",
  "endpoints": [
    {
      "id": "speakers-1", "default": true, "name": "Test Speakers",
      "properties": {
        "{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},0": {"type": "VT_UI4", "value": 1},
        "{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},4": "{0A0B0C0D-0000-4000-8000-000000000001}"
      },
      "renderPath": {
        "waveFilter": "spk#wave",
        "modules": [{"guid": "{876CD395-4C0D-4DD7-A205-7F99FD78ED78}", "type": "EFX",
                     "name": "drova-ll", "version": "1.5.0.3", "forms": ["pin", "audioModule"]}]
      }
    },
    {
      "id": "headphones-2", "name": "Test Headphones",
      "properties": {
        "{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},0": {"type": "VT_UI4", "value": 3},
        "{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},4": "{0A0B0C0D-0000-4000-8000-000000000002}"
      },
      "renderPath": {
        "waveFilter": "hp#wave",
        "modules": [{"guid": "{B5FCC815-1F49-4F4E-B04C-05F3A383EFFF}", "set": "amd",
                     "version": "4.1.0"}]
      }
    },
    {
      "id": "line-3", "name": "Line Out",
      "properties": {
        "{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},0": {"type": "VT_UI4", "value": 2},
        "{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},4": "{0A0B0C0D-0000-4000-8000-000000000003}"
      }
    }
  ]
}
)";
}

// The words a module holds for a module parameter, from a machine file; empty when none.
std::vector<long long> ModuleWords(const std::string& machineText, const std::string& filter,
                                   const std::string& module, int parameter) {
    const nlohmann::json machine = nlohmann::json::parse(machineText);
    for (const auto& device : machine.value("filters", nlohmann::json::array())) {
        if (device.at("id") != filter) {
            continue;
        }
        for (const auto& entry : device.value("modules", nlohmann::json::array())) {
            const auto params = entry.value("params", nlohmann::json::object());
            const std::string id = std::to_string(parameter);
            if (Upper(entry.at("guid")) == Upper(module) && params.contains(id) &&
                params.at(id).contains("words")) {
                return params.at(id).at("words").get<std::vector<long long>>();
            }
        }
    }
    return {};
}

std::vector<long long> Range(long long first, int count) {
    std::vector<long long> values(static_cast<size_t>(count));
    std::iota(values.begin(), values.end(), first);
    return values;
}

std::string Words(const std::vector<long long>& words) {
    std::string text;
    for (const long long word : words) {
        text += (text.empty() ? "" : ",") + std::to_string(word);
    }
    return text;
}

class VexctlDspRoute : public VexctlTest {
protected:
    std::filesystem::path WriteDspMachine() { return WriteFile("dsp.json", DspMachineJson()); }
};

TEST_F(VexctlDspRoute, SetThenGetReachesTheModuleOnBothRoutes) {
    const auto machine = WriteDspMachine();
    const std::vector<long long> thresholds = Range(1, 40);
    const std::vector<long long> bands = Range(-10, 20);
    struct Case {
        const char* route;
        const char* name;
        std::vector<std::string> value;
        int moduleParameter;
        std::vector<long long> held;
        std::string shown;  // as set and get print it
    };
    const std::vector<Case> cases = {
        {"dsp", "drova_system_gain", {"-6"}, 20, {-6}, "drova_system_gain (2103) = -6"},
        {"dsp", "drova_bypass", {"1"}, 1000, {1}, "drova_bypass (2002) = 1"},
        {"dsp",
         "drova_regulator_thresholds",
         {R"({"a": [)" + Words(Range(1, 20)) + R"(], "b": [)" + Words(Range(21, 20)) + "]}"},
         26,
         thresholds,
         R"(drova_regulator_thresholds (2108) = {"a":[)" + Words(Range(1, 20)) + R"(],"b":[)" +
             Words(Range(21, 20)) + "]}"},
        {"dsp",
         "drova_channel_gains",
         {R"({"v": [-3, -4]})"},
         55,
         {-4},
         R"(drova_channel_gains (2137) = {"n":2,"v":[-3,-4]})"},
        // Only the module route knows these two; the structured one goes out whole.
        {"dsp", "drova-limiter-gain", {"0x10"}, 42, {16}, "drova-limiter-gain (2128) = 16"},
        {"dsp",
         "2126",
         {R"({"a": [)" + Words(bands) + "]}"},
         31,
         bands,
         R"(drova-vis-bands (2126) = {"a":[)" + Words(bands) + "]}"},
        {"both", "drova_post_gain", {"9"}, 21, {9}, "drova_post_gain (2104) = 9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " on " + c.route);
        std::vector<std::string> set = {"set", c.name};
        set.insert(set.end(), c.value.begin(), c.value.end());
        set.insert(set.end(), {"--route", c.route});
        const ProgramResult written = RunOnMachine(machine, set);
        ASSERT_TRUE(Succeeded(written));
        EXPECT_EQ("set " + c.shown + "\n", written.out);
        EXPECT_EQ(c.held, ModuleWords(ReadFile(machine), kSpeakerWave, kLowLatencyModule,
                                      c.moduleParameter));
        const ProgramResult read = RunOnMachine(machine, {"get", c.name, "--route", c.route});
        ASSERT_TRUE(Succeeded(read));
        EXPECT_EQ(c.shown + "\n", read.out);
    }
    // With both routes the endpoint effect's store was written first.
    EXPECT_EQ(9, StoredValue(ReadFile(machine), kTestSpeakers, LowLatencyKey(4)).value("value", 0));
    // The DSP route alone leaves the store alone.
    EXPECT_TRUE(StoredValue(ReadFile(machine), kTestSpeakers, LowLatencyKey(3)).is_null());
}

TEST_F(VexctlDspRoute, RangesWithoutModuleAndModuleRefusalsGiveTheLibrarysCode) {
    const auto machine = WriteDspMachine();
    const std::string before = ReadFile(machine);
    ASSERT_FALSE(SystemText(E_INVALIDARG).empty());
    const std::vector<std::vector<std::string>> cases = {
        {"set", "vex_system_gain", "1", "--route", "dsp"},  // no main-processing module
        {"get", "vex_system_gain", "--route", "dsp"},
        {"set", "drova_system_gain", "1", "--route", "dsp", "--endpoint", kLineOut},
        {"get", "2001", "--route", "dsp", "--endpoint", kLineOut},
        // A module accepts only the parameters of its version's list (20 to 45 for "1.4.1").
        {"set", "drova_sliding_bass_enable", "1", "--route", "dsp", "--endpoint", kTestHeadphones},
    };
    for (const auto& arguments : cases) {
        const ProgramResult run = RunOnMachine(machine, arguments);
        EXPECT_TRUE(ExitedWith(1, run)) << arguments[1];
        EXPECT_TRUE(Contains(run.err, "0x80070057 " + SystemText(E_INVALIDARG))) << run.err;
    }
    EXPECT_EQ(before, ReadFile(machine));
}

TEST_F(VexctlDspRoute, SelectAsksForTheModuleOfARange) {
    const auto machine = WriteDspMachine();
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        HRESULT code;  // for exit code 1
        const char* out;
    };
    const std::vector<Case> cases = {
        {{"select", "low-latency"}, 0, S_OK, "selected the low-latency module (2003)\n"},
        {{"select", "2003", "--route", "both"},
         0,
         S_OK,
         "selected the low-latency module (2003)\n"},
        {{"select", "main"}, 1, E_INVALIDARG, ""},
        {{"select", "2003", "--route", "apo"}, 1, E_INVALIDARG, ""},
        // The vendor-set module has no notification registration to cancel.
        {{"select", "2003", "--endpoint", kTestHeadphones}, 1, E_NOTIMPL, ""},
        {{"select", "1003", "--endpoint", kLineOut}, 1, E_FAIL, ""},
        {{"select", "sideways"}, 2, S_OK, ""},
    };
    for (const Case& c : cases) {
        const ProgramResult run = RunOnMachine(machine, c.arguments);
        EXPECT_TRUE(ExitedWith(c.exitCode, run)) << c.arguments[1];
        EXPECT_EQ(c.out, run.out);
        if (c.exitCode == 1) {
            ASSERT_FALSE(SystemText(c.code).empty());
            EXPECT_TRUE(Contains(run.err, SystemText(c.code))) << run.err;
        }
    }
    const ProgramResult json = RunOnMachine(machine, {"select", "low-latency", "--json"});
    ASSERT_TRUE(Succeeded(json));
    EXPECT_EQ("low_latency", OutputJson(json).at("selected"));
    EXPECT_EQ(2003, OutputJson(json).at("id"));
}

TEST_F(VexctlDspRoute, InfoShowsTheModuleOfEachRange) {
    const auto machine = WriteDspMachine();
    const std::string before = ReadFile(machine);
    const ProgramResult text = RunOnMachine(machine, {"info"});
    ASSERT_TRUE(Succeeded(text));
    EXPECT_TRUE(Contains(text.out,
                         "DSP module for main processing: none\n"
                         "DSP module for low-latency processing:\n"
                         "  name (2005): drova-ll\n"
                         "  type (2006): 2 (EFX)\n"
                         "  version label (2001): 1.5\n"
                         "  version text (2007): 1.5.0.3\n"
                         "  GUID (2004): {876cd395-4c0d-4dd7-a205-7f99fd78ed78}\n"))
        << text.out;

    const ProgramResult json =
        RunOnMachine(machine, {"info", "--json", "--endpoint", kTestHeadphones});
    ASSERT_TRUE(Succeeded(json));
    const nlohmann::json modules = OutputJson(json).at("dsp_modules");
    EXPECT_TRUE(modules.at("main").is_null());
    EXPECT_EQ((nlohmann::json{{"name", "drova-amd"},
                              {"type", 2},
                              {"type_name", "EFX"},
                              {"version_label", "1.4.1"},
                              {"version_text", "4.1.0"},
                              {"guid", "{b5fcc815-1f49-4f4e-b04c-05f3a383efff}"}}),
              modules.at("low_latency"));

    const ProgramResult none = RunOnMachine(machine, {"info", "--endpoint", kLineOut});
    ASSERT_TRUE(Succeeded(none));
    EXPECT_TRUE(Contains(none.out,
                         "DSP module for main processing: none\n"
                         "DSP module for low-latency processing: none\n"))
        << none.out;
    EXPECT_EQ(before, ReadFile(machine)) << "info wrote the machine file";
}

TEST_F(VexctlDspRoute, DumpAndLoadCarryTheModulesValues) {
    const auto source = WriteDspMachine();
    ASSERT_TRUE(
        Succeeded(RunOnMachine(source, {"set", "drova_system_gain", "-7", "--route", "dsp"})));
    ASSERT_TRUE(Succeeded(RunOnMachine(
        source,
        {"set", "drova-vis-bands", R"({"a": [)" + Words(Range(5, 20)) + "]}", "--route", "dsp"})));
    const std::string preset = PathText(Directory() / "preset.json");
    const ProgramResult dump = RunOnMachine(source, {"dump", "--route", "dsp", "--output", preset});
    ASSERT_TRUE(Succeeded(dump));
    EXPECT_TRUE(Contains(dump.err, "no DSP module for main processing")) << dump.err;
    const nlohmann::json parameters =
        nlohmann::json::parse(ReadFile(Directory() / "preset.json")).at("parameters");
    EXPECT_EQ(-7, parameters.at("drova_system_gain"));
    EXPECT_EQ(Range(5, 20), parameters.at("drova-vis-bands").at("a"));
    // The main range has no module; structured values the module was never given are left out.
    EXPECT_FALSE(parameters.contains("vex_system_gain")) << parameters.dump();
    EXPECT_FALSE(parameters.contains("drova_regulator_thresholds")) << parameters.dump();

    const auto target = WriteFile("target.json", DspMachineJson());
    ASSERT_TRUE(Succeeded(RunOnMachine(target, {"load", preset, "--route", "dsp"})));
    const std::string loaded = ReadFile(target);
    EXPECT_EQ((std::vector<long long>{-7}),
              ModuleWords(loaded, kSpeakerWave, kLowLatencyModule, 20));
    EXPECT_EQ(Range(5, 20), ModuleWords(loaded, kSpeakerWave, kLowLatencyModule, 31));
}

TEST_F(VexctlDspRoute, StateFileDoesNotGrowWithRepeatedSets) {
    std::uintmax_t size = 0;
    for (int i = 10; i < 18; ++i) {
        ASSERT_TRUE(Succeeded(RunOnDefaultMachine(
            {"set", "drova_system_gain", std::to_string(i), "--route", "dsp"})));
        if (i == 10) {
            size = std::filesystem::file_size(StateFile());
        }
        EXPECT_EQ(size, std::filesystem::file_size(StateFile())) << "after set " << i;
    }
    const std::string state = ReadFile(StateFile());
    EXPECT_FALSE(Contains(state, "\"requests\"")) << "request logs were saved";
    EXPECT_FALSE(Contains(state, "\"requestLogging\"")) << "the logging setting was changed";
    EXPECT_EQ("drova_system_gain (2103) = 17\n",
              RunOnDefaultMachine({"get", "drova_system_gain", "--route", "dsp"}).out);
}

}  // namespace
}  // namespace vextest
