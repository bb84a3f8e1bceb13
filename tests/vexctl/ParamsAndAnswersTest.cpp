// vexctl params, --version, suggestions for mistyped names, what a failed get or set means,
// which machine a command ran on, and values that a layout cannot give back whole.
#include "VexctlFixture.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vextest {
namespace {

using VexctlParams = VexctlTest;

TEST_F(VexctlParams, ListsEveryParameterOfTheLibrarysTables) {
    const ProgramResult all = Run({"params", "--json"});
    ASSERT_TRUE(Succeeded(all));
    const nlohmann::json list = OutputJson(all).at("parameters");
    size_t withKey = 0;
    size_t withModuleParameter = 0;
    for (const nlohmann::json& entry : list) {
        withKey += entry.at("property_key").is_null() ? 0 : 1;
        withModuleParameter += entry.at("module_parameter").is_null() ? 0 : 1;
    }
    // The endpoint catalogue has 104 ids, the DSP catalogue 78.
    EXPECT_EQ(104u, withKey);
    EXPECT_EQ(78u, withModuleParameter);

    struct Case {
        int id;
        nlohmann::json name;
        nlohmann::json routes;
        nlohmann::json key;
        nlohmann::json moduleParameter;
    };
    const std::vector<Case> cases = {
        {1101, "vex_system_gain", {"apo", "dsp"}, "{F112024A-FE30-42A8-80AB-8DD825A06F78},0", 123},
        {2101,
         "drova_max_channel_num",
         {"apo"},
         "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},1",
         nullptr},
        {3003, "ns_mode", {"apo"}, "{5B5E03CB-8070-420D-B794-8A28C89F6274},1", nullptr},
        {1141, "vex_cpdp-partial-output-mode", {"dsp"}, nullptr, 130},
        {2131,
         "drova_sliding_bass_attack_time",
         {"apo", "dsp"},
         "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},27",
         50},
        {1004, nullptr, {"apo", "dsp"}, nullptr, 127},
        {2003, nullptr, {"dsp"}, nullptr, nullptr},
    };
    for (const Case& expected : cases) {
        const auto found = std::find_if(list.begin(), list.end(), [&](const nlohmann::json& e) {
            return e.at("id") == expected.id;
        });
        ASSERT_NE(list.end(), found) << expected.id;
        EXPECT_EQ(expected.name, found->at("name")) << expected.id;
        EXPECT_EQ(expected.routes, found->at("routes")) << expected.id;
        EXPECT_EQ(expected.key, found->at("property_key")) << expected.id;
        EXPECT_EQ(expected.moduleParameter, found->at("module_parameter")) << expected.id;
    }

    const ProgramResult text = Run({"params", "ieq_bands"});
    ASSERT_TRUE(Succeeded(text));
    EXPECT_TRUE(Contains(text.out, "1114  vex_ieq_bands  [apo, dsp]  {\"n\"")) << text.out;
    EXPECT_FALSE(Contains(text.out, "1101")) << text.out;
}

TEST_F(VexctlParams, MistypedNamesGetASuggestion) {
    struct Case {
        const char* typed;
        const char* meant;  // null: too far from every name for a suggestion
    };
    const std::vector<Case> cases = {
        {"vex_sytem_gain", "vex_system_gain"},
        {"vex_systme_gain", "vex_system_gain"},
        {"drova_channel_gain", "drova_channel_gains"},
        {"vex_ieq_band", "vex_ieq_bands"},
        {"volume", nullptr},
    };
    const auto machine = WriteTestMachine();
    for (const Case& c : cases) {
        const ProgramResult run = RunOnMachine(machine, {"get", c.typed});
        EXPECT_TRUE(ExitedWith(2, run)) << c.typed;
        if (c.meant != nullptr) {
            EXPECT_TRUE(Contains(run.err, std::string("did you mean ") + c.meant + "?")) << run.err;
        } else {
            EXPECT_FALSE(Contains(run.err, "did you mean")) << run.err;
        }
    }
}

TEST_F(VexctlParams, VersionAndEveryOptionInTheOverview) {
    const ProgramResult version = Run({"--version"});
    ASSERT_TRUE(Succeeded(version));
    EXPECT_EQ(0u, version.out.rfind("vexctl ", 0)) << version.out;
    const ProgramResult overview = Run({"--help"});
    ASSERT_TRUE(Succeeded(overview));
    for (const char* option : {"--endpoint", "--route", "--machine", "--no-save", "--trace",
                               "--json", "--output", "--help", "--version", "\n  params"}) {
        EXPECT_TRUE(Contains(overview.out, option)) << option;
    }
}

using VexctlAnswers = VexctlTest;

TEST_F(VexctlAnswers, FailedGetsAndSetsSayWhatTheCodeMeans) {
    const auto machine = WriteTestMachine();
    const std::string unspecified = "0x80004005 " + SystemText(static_cast<HRESULT>(0x80004005L));
    struct Case {
        std::vector<std::string> arguments;
        const char* meaning;
    };
    const std::vector<Case> cases = {
        {{"get", "vex_bypass"}, "not set on this endpoint"},
        {{"get", "9999"}, "not a parameter the library knows"},
        {{"set", "9999", "1"}, "not a parameter the library knows"},
        {{"get", "1141"}, "dsp route only"},
    };
    for (const Case& c : cases) {
        const ProgramResult run = RunOnMachine(machine, c.arguments);
        EXPECT_TRUE(ExitedWith(1, run)) << c.arguments[1];
        EXPECT_TRUE(Contains(run.err, c.meaning)) << run.err;
        EXPECT_TRUE(Contains(run.err, unspecified)) << run.err;
    }
    std::vector<std::string> json = cases[0].arguments;
    json.push_back("--json");
    const ProgramResult run = RunOnMachine(machine, json);
    ASSERT_TRUE(ExitedWith(1, run));
    const nlohmann::json error = OutputJson(run).at("error");
    EXPECT_TRUE(Contains(error.at("message").get<std::string>(), "not set on this endpoint"));
    EXPECT_EQ("0x80004005", error.at("code"));
    EXPECT_EQ(SystemText(static_cast<HRESULT>(0x80004005L)), error.at("text"));
}

TEST_F(VexctlAnswers, FilesThatCannotBeReadNameTheSystemsReason) {
#ifdef _WIN32
    const std::string reason = SystemText(static_cast<HRESULT>(ERROR_FILE_NOT_FOUND));
#else
    const std::string reason = std::strerror(ENOENT);
#endif
    ASSERT_FALSE(reason.empty());
    const auto machine = WriteTestMachine();
    const std::string missing = PathText(Directory() / "missing.json");
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--machine", PathText(machine), "load", missing},
          std::vector<std::string>{"--machine", missing, "info"}}) {
        const ProgramResult run = Run(arguments);
        EXPECT_TRUE(ExitedWith(1, run)) << arguments[2];
        EXPECT_TRUE(Contains(run.err, "missing.json: " + reason)) << run.err;
    }
}

TEST_F(VexctlAnswers, OutputSaysWhichMachineACommandRanOn) {
    const auto machine = WriteTestMachine();
    const ProgramResult info = RunOnMachine(machine, {"info"});
    ASSERT_TRUE(Succeeded(info));
    EXPECT_TRUE(Contains(info.out, "machine: the simulated machine in " + PathText(machine)))
        << info.out;
    const ProgramResult reset = Run({"reset"});
    ASSERT_TRUE(Succeeded(reset));
    EXPECT_TRUE(Contains(reset.out, PathText(StateFile()))) << reset.out;
#ifdef _WIN32
    // Without --machine the system's own audio is used (under Wine there is none): said
    // whether the command works or not, and reset says it does not touch it.
    EXPECT_TRUE(Contains(reset.out, "--machine default")) << reset.out;
    const ProgramResult own = Run({"info"});
    EXPECT_TRUE(Contains(own.out + own.err, "the system's own audio")) << own.out << own.err;
#else
    EXPECT_TRUE(Contains(reset.out, "without --machine run on it")) << reset.out;
#endif
}

using VexctlLayoutLimits = VexctlTest;

// A value with more items than its layout gives back is refused at set, with the message that
// load gives for it, and nothing is written.
TEST_F(VexctlLayoutLimits, SetRefusesWhatCannotBeReadBackAsLoadDoes) {
    const auto machine = WriteTestMachine();
    const auto list = [](size_t count, int first) {
        nlohmann::json values = nlohmann::json::array();
        for (size_t i = 0; i < count; ++i) {
            values.push_back(first + static_cast<int>(i % 200));
        }
        return values;
    };
    nlohmann::json records = nlohmann::json::array();
    for (int r = 0; r < 5; ++r) {
        records.push_back(list(6, r));
    }
    struct Case {
        const char* name;
        nlohmann::json value;
        const char* complaint;
    };
    const std::vector<Case> cases = {
        {"drova_channel_gains", {{"v", list(9, 1)}}, "\"v\" has 9 items, but at most 8"},
        {"drova_channel_mutes",
         {{"n", 10}, {"v", list(10, 0)}},
         "\"v\" has 10 items, but at most 8"},
        {"drova_audio_optimizer_gains", {{"v", list(161, 0)}}, "at most 160"},
        {"drova_mb_compressor_tuning", {{"r", records}}, "at most 4"},
        {"drova_filter_config", {{"bytes", list(2045, 0)}}, "at most 2044"},
    };
    const std::string before = ReadFile(machine);
    for (const Case& c : cases) {
        const ProgramResult set = RunOnMachine(machine, {"set", c.name, c.value.dump()});
        EXPECT_TRUE(ExitedWith(2, set)) << c.name;
        EXPECT_TRUE(Contains(set.err, c.complaint)) << set.err;
        const auto preset =
            WriteFile("preset.json", nlohmann::json{{"parameters", {{c.name, c.value}}}}.dump());
        const ProgramResult load = RunOnMachine(machine, {"load", PathText(preset)});
        EXPECT_TRUE(ExitedWith(2, load)) << c.name;
        EXPECT_TRUE(Contains(load.err, c.complaint)) << load.err;
        EXPECT_EQ(before, ReadFile(machine)) << c.name;
    }
    // The raw words of the layout are held to the same limit.
    std::vector<std::string> raw = {"set", "drova_channel_gains", "9"};
    for (int i = 0; i < 9; ++i) {
        raw.push_back(std::to_string(i));
    }
    const ProgramResult words = RunOnMachine(machine, raw);
    EXPECT_TRUE(ExitedWith(2, words));
    EXPECT_TRUE(Contains(words.err, "at most 8")) << words.err;
    EXPECT_EQ(before, ReadFile(machine));

    // At the limit the value comes back whole.
    ASSERT_TRUE(Succeeded(RunOnMachine(
        machine, {"set", "drova_channel_gains", nlohmann::json{{"v", list(8, 1)}}.dump()})));
    const ProgramResult get = RunOnMachine(machine, {"get", "drova_channel_gains", "--json"});
    ASSERT_TRUE(Succeeded(get));
    EXPECT_EQ(list(8, 1), OutputJson(get).at("value").at("v"));
}

}  // namespace
}  // namespace vextest
