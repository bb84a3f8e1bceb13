// vexctl runs whose order matters: state kept between runs, presets dumped and loaded back,
// a load that fails part-way, a save that fails, show, get and unset, and runs at once.
#include "VexctlFixture.h"

#include "support/Layouts.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace vextest {
namespace {

using VexctlScenario = VexctlTest;

// On Windows, where the default is the real audio system, the simulated one is named.
TEST_F(VexctlScenario, DefaultMachineKeepsWhatIsSetUntilReset) {
    ASSERT_TRUE(Succeeded(RunOnMachine("default", {"set", "vex_bypass", "1", "--no-save"})));
    EXPECT_FALSE(std::filesystem::exists(StateFile()));
    ASSERT_TRUE(Succeeded(RunOnMachine("default", {"set", "vex_bypass", "1"})));
    EXPECT_EQ("vex_bypass (1002) = 1\n", RunOnMachine("default", {"get", "vex_bypass"}).out);
    ASSERT_TRUE(Succeeded(Run({"reset"})));
    EXPECT_TRUE(ExitedWith(1, RunOnMachine("default", {"get", "vex_bypass"})));
}

TEST_F(VexctlScenario, PresetRoundTripRestoresEveryLayout) {
    const nlohmann::json parameters = {
        {"vex_system_gain", -12},
        {"vex_ieq_bands", {{"n", 5}, {"a", Sequence(1, 20)}, {"b", Sequence(-40, 20)}}},
        {"vex_tuning_partial_output_mode", {{"w0", 6}, {"k", 3}, {"v", {9, 8, 7}}}},
        {"vex_drc_metadata", {{"bytes", Sequence(0, 72)}}},
        {"drova_filter_config", {{"n", 6}, {"bytes", {1, 2, 3, 250, 251, 252}}}},
        {"drova_mb_compressor_tuning", {{"n", 2}, {"r", {Sequence(11, 6), Sequence(17, 6)}}}},
        {"drova_channel_mutes", {{"n", 3}, {"v", {0, 1, 0}}}},
        {"ns_mode", 3},
    };
    const auto first = WriteFile("first.json", TestMachineJson());
    const auto second = WriteFile("second.json", TestMachineJson());
    const auto preset = WriteFile("preset.json", nlohmann::json{{"parameters", parameters}}.dump());
    ASSERT_TRUE(Succeeded(RunOnMachine(first, {"load", PathText(preset)})));
    const auto dumped = Directory() / "dumped.json";
    ASSERT_TRUE(Succeeded(RunOnMachine(first, {"dump", "--output", PathText(dumped)})));
    const nlohmann::json document = nlohmann::json::parse(ReadText(dumped));
    EXPECT_EQ(kTestSpeakers, document.at("endpoint"));
    EXPECT_EQ(parameters, document.at("parameters"));
    ASSERT_TRUE(Succeeded(RunOnMachine(second, {"load", PathText(dumped)})));
    EXPECT_EQ(nlohmann::json::parse(ReadText(first)), nlohmann::json::parse(ReadText(second)));
}

TEST_F(VexctlScenario, DspDumpLoadsBackOnTheSameModule) {
    // A "1.4.2" module reads parameters that it refuses to write: the dump leaves them out.
    const auto tenChannels = [this](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--machine", "ten-channels"});
        arguments.insert(arguments.end(), {"--route", "dsp"});
        return Run(arguments);
    };
    ASSERT_TRUE(Succeeded(tenChannels({"set", "drova_system_gain", "-7"})));
    const std::string preset = PathText(Directory() / "dsp.json");
    const ProgramResult dump = tenChannels({"dump", "--output", preset});
    ASSERT_TRUE(Succeeded(dump));
    EXPECT_TRUE(Contains(dump.err, "would not take them back")) << dump.err;
    ASSERT_TRUE(Succeeded(tenChannels({"load", preset})));
    EXPECT_EQ("drova_system_gain (2103) = -7\n", tenChannels({"get", "2103"}).out);
}

TEST_F(VexctlScenario, LoadFailingPartWayPutsBackWhatItWrote) {
    const auto machine = WriteTestMachine(kRefusingStore);
    ASSERT_TRUE(Succeeded(RunOnMachine(machine, {"set", "vex_volmax_boost", "9"})));
    const nlohmann::ordered_json parameters = {
        {"vex_system_gain", 5}, {"vex_volmax_boost", 7}, {"vex_calibration_boost", 6}};
    const auto preset =
        WriteFile("preset.json", nlohmann::ordered_json{{"parameters", parameters}}.dump());
    const ProgramResult run = RunOnMachine(machine, {"load", PathText(preset), "--json"});
    ASSERT_TRUE(ExitedWith(1, run));
    const nlohmann::json error = OutputJson(run).at("error");
    EXPECT_EQ(2, error.at("written_before"));
    EXPECT_EQ(nlohmann::json::array(), error.at("not_restored"));
    EXPECT_TRUE(Contains(error.at("message"), "vex_calibration_boost (1102)")) << run.out;
    // As they were before the load: unset, and 9.
    EXPECT_TRUE(StoredValue(machine, kTestSpeakers, MainKey(0)).is_null());
    EXPECT_EQ(9, StoredValue(machine, kTestSpeakers, MainKey(2)).value("value", 0));
}

TEST_F(VexctlScenario, ShowGetSeveralAndUnset) {
    const auto machine = WriteTestMachine();
#ifndef _WIN32
    ASSERT_EQ(0, chmod(PathText(machine).c_str(), 0640));  // the file keeps its mode
#endif
    ASSERT_TRUE(Succeeded(RunOnMachine(machine, {"set", "vex_system_gain", "-6"})));
    ASSERT_TRUE(Succeeded(RunOnMachine(machine, {"set", "drova_channel_gains", "2", "-3", "-4"})));
    EXPECT_EQ("vex_system_gain (1101) = -6\ndrova_channel_gains (2137) = {\"n\":2,\"v\":[-3,-4]}\n",
              RunOnMachine(machine, {"show"}).out);
    EXPECT_EQ(
        "id,name,value\n1101,vex_system_gain,-6\n"
        "2137,drova_channel_gains,\"{\"\"n\"\":2,\"\"v\"\":[-3,-4]}\"\n",
        RunOnMachine(machine, {"show", "--format", "csv"}).out);
    EXPECT_EQ(2u, OutputJson(RunOnMachine(machine, {"show", "--json"})).at("parameters").size());
    EXPECT_EQ("vex_system_gain (1101) = -6\n1004 = 1\n",
              RunOnMachine(machine, {"get", "vex_system_gain", "1004"}).out);
    ASSERT_TRUE(Succeeded(RunOnMachine(machine, {"unset", "vex_system_gain"})));
    EXPECT_TRUE(StoredValue(machine, kTestSpeakers, MainKey(0)).is_null());
    EXPECT_TRUE(ExitedWith(1, RunOnMachine(machine, {"unset", "vex_system_gain"})));
#ifndef _WIN32
    struct stat status {};
    ASSERT_EQ(0, stat(PathText(machine).c_str(), &status));
    EXPECT_EQ(0640u, status.st_mode & 07777);
#endif
}

TEST_F(VexctlScenario, NothingIsReportedDoneBeforeItIsSaved) {
    if (RunningUnderWine()) {
        GTEST_SKIP() << "a file name at the length limit is past MAX_PATH for Windows programs";
    }
    // Room for the lock file's name, none for the temporary file's: the save fails.
    const auto machine = WriteFile(std::string(245, 'm') + ".json", TestMachineJson());
    const ProgramResult text = RunOnMachine(machine, {"set", "vex_system_gain", "3"});
    ASSERT_TRUE(ExitedWith(1, text));
    EXPECT_EQ("", text.out);
    EXPECT_TRUE(Contains(text.err, "cannot write")) << text.err;
    EXPECT_FALSE(Contains(text.err, ".tmp")) << text.err;
    const ProgramResult json = RunOnMachine(machine, {"set", "vex_system_gain", "3", "--json"});
    ASSERT_TRUE(ExitedWith(1, json));
    EXPECT_TRUE(
        Contains(OutputJson(json).at("error").at("message"), "nothing of this run was kept"));
}

TEST_F(VexctlScenario, OverlappingSetsLoseNoAcknowledgedWrite) {
    const auto machine = WriteTestMachine();
    const char* const defaultSpeakers = "{0.0.0.00000000}.{6f1f6a2e-3c1b-4d59-9a51-0b7e2d1c4a01}";
    for (const bool defaultMachine : {false, true}) {
        SCOPED_TRACE(defaultMachine ? "default machine" : "machine file");
        // Ids 1101 to 1110 are the main-processing pids 0 to 9.
        std::vector<std::vector<std::string>> runs;
        for (int pid = 0; pid < 10; ++pid) {
            runs.push_back({"--machine", defaultMachine ? "default" : PathText(machine), "set",
                            std::to_string(1101 + pid), std::to_string(100 + pid)});
        }
        const std::vector<ProgramResult> results = RunAtOnce(runs);
        for (int pid = 0; pid < 10; ++pid) {
            ASSERT_TRUE(Succeeded(results[static_cast<size_t>(pid)])) << pid;
            EXPECT_EQ(100 + pid,
                      StoredValue(defaultMachine ? StateFile() : machine,
                                  defaultMachine ? defaultSpeakers : kTestSpeakers, MainKey(pid))
                          .value("value", -1))
                << "the write of " << 1101 + pid << " was lost";
        }
    }
}

}  // namespace
}  // namespace vextest
