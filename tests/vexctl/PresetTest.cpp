// vexctl dump and vexctl load: presets written and read back, and presets refused whole.
#include "VexctlFixture.h"

#include <numeric>

namespace vextest {
namespace {

nlohmann::json Range(int first, int count) {
    std::vector<int> values(static_cast<size_t>(count));
    std::iota(values.begin(), values.end(), first);
    return values;
}

nlohmann::json Rows(int rows, int width, int first) {
    nlohmann::json list = nlohmann::json::array();
    for (int r = 0; r < rows; ++r) {
        list.push_back(Range(first + r * width, width));
    }
    return list;
}

// A value for every structured layout and a few scalars, as dump writes them back.
nlohmann::json EveryLayout() {
    nlohmann::json bytes72 = nlohmann::json::array();
    for (int i = 0; i < 72; ++i) {
        bytes72.push_back((i * 7) % 256);
    }
    return {
        {"vex_system_gain", -12},
        {"vex_ieq_bands", {{"n", 5}, {"a", Range(1, 20)}, {"b", Range(-40, 20)}}},
        {"vex_audio_optimizer_bands", {{"n", 9}, {"f", Range(50, 20)}, {"g", Rows(10, 20, 0)}}},
        {"vex_graphic_equalizer_bands", {{"n", 2}, {"a", Range(7, 20)}, {"b", Range(8, 20)}}},
        {"vex_regulator_tuning",
         {{"n", 4},
          {"a", Range(0, 20)},
          {"b", Range(20, 20)},
          {"c", Range(40, 20)},
          {"d", Range(60, 20)}}},
        {"vex_tuning_partial_output_mode", {{"w0", 6}, {"k", 3}, {"v", {9, 8, 7}}}},
        {"vex_init_info", {{"w", Range(-21, 42)}}},
        {"vex_drc_metadata", {{"bytes", bytes72}}},
        {"vex_woofer_regulator_tuning",
         {{"n", 1},
          {"a", Range(1, 20)},
          {"b", Range(2, 20)},
          {"c", Range(3, 20)},
          {"d", Range(4, 20)}}},
        {"drova_bypass", 1},
        {"drova_filter_config", {{"n", 6}, {"bytes", {1, 2, 3, 250, 251, 252}}}},
        {"drova_audio_optimizer_gains", {{"n", 4}, {"v", {-1, -2, -3, -4}}}},
        {"drova_regulator_thresholds", {{"a", Range(100, 20)}, {"b", Range(200, 20)}}},
        {"drova_regulator_isolated_bands", {{"a", Range(0, 20)}}},
        {"drova_mb_compressor_tuning", {{"n", 2}, {"r", Rows(2, 6, 11)}}},
        {"drova_regulator_stress_amount", {{"a", Range(-4, 8)}}},
        {"drova_sliding_bass_gain_curve", {{"a", Range(10, 5)}}},
        {"drova_channel_gains", {{"n", 2}, {"v", {-6, -7}}}},
        {"drova_channel_mutes", {{"n", 8}, {"v", {0, 1, 0, 1, 0, 1, 0, 1}}}},
        {"ns_mode", 3},
    };
}

nlohmann::json Preset(const nlohmann::json& parameters) {
    return {{"format", "vexctl-preset"}, {"version", 1}, {"parameters", parameters}};
}

// The endpoints' property stores of a machine file, for comparing two machines.
nlohmann::json Stores(const std::string& machineText) {
    const nlohmann::json machine = nlohmann::json::parse(machineText);
    nlohmann::json stores = nlohmann::json::object();
    for (const auto& endpoint : machine.at("endpoints")) {
        stores[endpoint.at("id").get<std::string>()] =
            endpoint.value("properties", nlohmann::json());
    }
    return stores;
}

using VexctlPreset = VexctlTest;

TEST_F(VexctlPreset, RoundTripRestoresEveryValue) {
    const auto first = WriteFile("first.json", TestMachineJson());
    const auto second = WriteFile("second.json", TestMachineJson());
    const auto preset = WriteFile("preset.json", Preset(EveryLayout()).dump(2));

    const ProgramResult load = RunOnMachine(first, {"load", PathText(preset)});
    ASSERT_TRUE(Succeeded(load));
    EXPECT_TRUE(Contains(load.out, "wrote 20 parameters")) << load.out;

    const auto dumped = Directory() / "dumped.json";
    const ProgramResult dump = RunOnMachine(first, {"dump", "--output", PathText(dumped)});
    ASSERT_TRUE(Succeeded(dump));
    const nlohmann::json document = nlohmann::json::parse(ReadFile(dumped));
    EXPECT_EQ("vexctl-preset", document.at("format"));
    EXPECT_EQ(kTestSpeakers, document.at("endpoint"));
    EXPECT_EQ(EveryLayout(), document.at("parameters"));

    // The dump loads into another machine and gives it the same stores.
    ASSERT_TRUE(Succeeded(RunOnMachine(second, {"load", PathText(dumped)})));
    EXPECT_EQ(Stores(ReadFile(first)), Stores(ReadFile(second)));
    // Parameters are dumped in the order of their ids, whatever order they were loaded in.
    std::vector<std::string> names;
    const nlohmann::ordered_json ordered = nlohmann::ordered_json::parse(ReadFile(dumped));
    for (const auto& [name, value] : ordered.at("parameters").items()) {
        names.push_back(name);
    }
    ASSERT_EQ(20u, names.size());
    EXPECT_EQ("vex_system_gain", names.front());
    EXPECT_EQ("ns_mode", names.back());
}

TEST_F(VexctlPreset, DumpWithoutOutputPrintsThePreset) {
    const auto machine = WriteTestMachine();
    const ProgramResult empty = RunOnMachine(machine, {"dump"});
    ASSERT_TRUE(Succeeded(empty));
    EXPECT_EQ(nlohmann::json::object(), OutputJson(empty).at("parameters"));

    ASSERT_TRUE(Succeeded(RunOnMachine(machine, {"set", "drova_system_gain", "-3"})));
    ASSERT_TRUE(Succeeded(
        RunOnMachine(machine, {"set", "drova_sliding_bass_gain_curve", "1", "2", "3", "4", "5"})));
    const ProgramResult printed = RunOnMachine(machine, {"dump"});
    ASSERT_TRUE(Succeeded(printed));
    const nlohmann::json expected = {{"drova_system_gain", -3},
                                     {"drova_sliding_bass_gain_curve", {{"a", {1, 2, 3, 4, 5}}}}};
    EXPECT_EQ(expected, OutputJson(printed).at("parameters"));

    const auto file = Directory() / "out.json";
    ASSERT_TRUE(Succeeded(RunOnMachine(machine, {"dump", "--output", PathText(file)})));
    EXPECT_EQ(printed.out, ReadFile(file));
}

TEST_F(VexctlPreset, LoadTakesIdsAndLeavesOutCounts) {
    const auto machine = WriteTestMachine();
    const auto preset = WriteFile(
        "preset.json", R"({"parameters": {"1101": 4, "drova_channel_mutes": {"v": [1, 0, 1]}}})");
    const ProgramResult load = RunOnMachine(machine, {"load", PathText(preset), "--json"});
    ASSERT_TRUE(Succeeded(load));
    EXPECT_EQ(2, OutputJson(load).at("parameters"));
    EXPECT_EQ("vex_system_gain (1101) = 4\n", RunOnMachine(machine, {"get", "1101"}).out);
    EXPECT_EQ("drova_channel_mutes (2138) = {\"n\":3,\"v\":[1,0,1]}\n",
              RunOnMachine(machine, {"get", "2138"}).out);
}

TEST_F(VexctlPreset, BadPresetIsRefusedWithNothingWritten) {
    const auto machine = WriteTestMachine();
    const std::string before = ReadFile(machine);
    const nlohmann::json good = {{"vex_system_gain", 1}, {"drova_bypass", 1}};
    struct Case {
        std::string text;
        const char* complaint;
    };
    nlohmann::json unknownLast = good;
    unknownLast["vex_no_such_parameter"] = 1;
    nlohmann::json malformedLast = good;
    malformedLast["vex_ieq_bands"] = {{"n", 1}, {"a", Range(0, 20)}, {"b", Range(0, 21)}};
    nlohmann::json specialId = good;
    specialId["1004"] = 1;
    nlohmann::json textValue = good;
    textValue["ns_mode"] = "3";
    nlohmann::json unknownMember = Preset(good);
    unknownMember["parametres"] = nlohmann::json::object();
    const std::vector<Case> cases = {
        {Preset(unknownLast).dump(), "unknown parameter \"vex_no_such_parameter\""},
        {Preset(malformedLast).dump(), "\"b\" has 21 items"},
        {Preset(specialId).dump(), "unknown parameter \"1004\""},
        {Preset(textValue).dump(), "not an integer"},
        {unknownMember.dump(), "unknown member \"parametres\""},
        {Preset(good).dump().substr(0, 40), "not JSON"},
        {"[1, 2]", "not a JSON object"},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto preset = WriteFile("bad" + std::to_string(i) + ".json", cases[i].text);
        const ProgramResult run = RunOnMachine(machine, {"load", PathText(preset)});
        EXPECT_TRUE(ExitedWith(2, run)) << cases[i].text;
        EXPECT_TRUE(Contains(run.err, "nothing was written")) << run.err;
        EXPECT_TRUE(Contains(run.err, cases[i].complaint)) << run.err;
        EXPECT_EQ(before, ReadFile(machine)) << "written despite: " << cases[i].text;
    }
    const ProgramResult missing = RunOnMachine(machine, {"load", PathText(Directory() / "none")});
    EXPECT_TRUE(ExitedWith(1, missing));
    EXPECT_EQ(before, ReadFile(machine));
}

TEST_F(VexctlPreset, WriteFailingMidwayIsReportedAndWhatWasWrittenKept) {
    // The endpoint effect's store refuses vex_calibration_boost (pid 1).
    const auto machine =
        WriteTestMachine(R"("faults": [{"method": "IPropertyStore::SetValue", "key": ")" +
                         MainKey(1) + R"(", "result": "E_ACCESSDENIED"}])");
    // Written in the order of the file.
    const nlohmann::ordered_json parameters = {
        {"vex_system_gain", 5}, {"vex_calibration_boost", 6}, {"vex_volmax_boost", 7}};
    const auto preset =
        WriteFile("preset.json", nlohmann::ordered_json{{"parameters", parameters}}.dump());
    const ProgramResult run = RunOnMachine(machine, {"load", PathText(preset)});
    ASSERT_TRUE(ExitedWith(1, run));
    const HRESULT accessDenied = static_cast<HRESULT>(0x80070005L);
    ASSERT_FALSE(SystemText(accessDenied).empty());
    EXPECT_TRUE(Contains(run.err, "0x80070005 " + SystemText(accessDenied))) << run.err;
    EXPECT_TRUE(Contains(run.err, "vex_calibration_boost (1102)")) << run.err;
    EXPECT_TRUE(Contains(run.err, "1 of 3")) << run.err;
    const std::string after = ReadFile(machine);
    EXPECT_EQ(5, StoredValue(after, kTestSpeakers, MainKey(0)).value("value", 0));
    EXPECT_TRUE(StoredValue(after, kTestSpeakers, MainKey(2)).is_null());
}

}  // namespace
}  // namespace vextest
