// vexctl get and vexctl set: names and ids, scalar and structured values, routes, endpoints,
// and the state that a simulated machine keeps between runs.
#include "VexctlFixture.h"

#include <numeric>

namespace vextest {
namespace {

nlohmann::json Range(int first, int count) {
    std::vector<int> values(static_cast<size_t>(count));
    std::iota(values.begin(), values.end(), first);
    return values;
}

// The words a structured value is stored as, from a machine file.
std::vector<long long> StoredWords(const std::string& machineText, const std::string& endpoint,
                                   const std::string& key) {
    const nlohmann::json value = StoredValue(machineText, endpoint, key);
    if (value.is_null() || value.at("type") != "VT_BLOB" || !value.contains("words")) {
        ADD_FAILURE() << "no word blob under " << key << ": " << value.dump();
        return {};
    }
    return value.at("words").get<std::vector<long long>>();
}

using VexctlGetSet = VexctlTest;

TEST_F(VexctlGetSet, SetThenGetInTwoRunsReadsBackOnTheDefaultMachine) {
    ASSERT_FALSE(std::filesystem::exists(StateFile()));
    const ProgramResult set = RunOnDefaultMachine({"set", "vex_system_gain", "-6"});
    ASSERT_TRUE(Succeeded(set));
    EXPECT_EQ("set vex_system_gain (1101) = -6\n", set.out);
    ASSERT_TRUE(std::filesystem::exists(StateFile())) << "the default machine was not kept";

    const ProgramResult byName = RunOnDefaultMachine({"get", "vex_system_gain"});
    ASSERT_TRUE(Succeeded(byName));
    EXPECT_EQ("vex_system_gain (1101) = -6\n", byName.out);
    const ProgramResult byId = RunOnDefaultMachine({"get", "1101", "--json"});
    ASSERT_TRUE(Succeeded(byId));
    const nlohmann::json document = OutputJson(byId);
    EXPECT_EQ(-6, document.at("value"));
    EXPECT_EQ(1101, document.at("id"));
    EXPECT_EQ("vex_system_gain", document.at("name"));
    EXPECT_EQ(-6, StoredValue(ReadFile(StateFile()),
                              "{0.0.0.00000000}.{6f1f6a2e-3c1b-4d59-9a51-0b7e2d1c4a01}", MainKey(0))
                      .value("value", 0));
}

TEST_F(VexctlGetSet, MachineFileKeepsWhatWasSetUnlessNoSave) {
    const auto machine = WriteTestMachine();
    ASSERT_TRUE(Succeeded(RunOnMachine(machine, {"set", "drova_post_gain", "0x7fffffff"})));
    const nlohmann::json stored = StoredValue(ReadFile(machine), kTestSpeakers, LowLatencyKey(4));
    EXPECT_EQ("VT_I4", stored.value("type", ""));
    EXPECT_EQ(0x7fffffff, stored.value("value", 0));
    const ProgramResult get = RunOnMachine(machine, {"get", "drova_post_gain"});
    ASSERT_TRUE(Succeeded(get));
    EXPECT_EQ("drova_post_gain (2104) = 2147483647\n", get.out);

    const std::string before = ReadFile(machine);
    ASSERT_TRUE(Succeeded(RunOnMachine(machine, {"set", "drova_post_gain", "3", "--no-save"})));
    EXPECT_EQ(before, ReadFile(machine));
    const ProgramResult after = RunOnMachine(machine, {"get", "2104"});
    ASSERT_TRUE(Succeeded(after));
    EXPECT_EQ("drova_post_gain (2104) = 2147483647\n", after.out);
}

TEST_F(VexctlGetSet, ScalarValuesTakeDecimalHexAndTheUnsignedRange) {
    const auto machine = WriteTestMachine();
    ASSERT_TRUE(Succeeded(RunOnMachine(machine, {"set", "vex_pregain", "0x10"})));
    EXPECT_EQ("vex_pregain (1104) = 16\n", RunOnMachine(machine, {"get", "vex_pregain"}).out);
    ASSERT_TRUE(Succeeded(RunOnMachine(machine, {"set", "vex_pregain", "4294967295"})));
    EXPECT_EQ("vex_pregain (1104) = -1\n", RunOnMachine(machine, {"get", "vex_pregain"}).out);

    const std::string before = ReadFile(machine);
    for (const char* bad : {"12abc", "4294967296", "-2147483649", "1.5"}) {
        const ProgramResult run = RunOnMachine(machine, {"set", "vex_pregain", bad});
        EXPECT_TRUE(ExitedWith(2, run)) << bad;
        EXPECT_TRUE(Contains(run.err, bad)) << run.err;
    }
    const ProgramResult two = RunOnMachine(machine, {"set", "vex_pregain", "1", "2"});
    EXPECT_TRUE(ExitedWith(2, two));
    EXPECT_EQ(before, ReadFile(machine));
}

TEST_F(VexctlGetSet, StructuredValueTravelsAsNamedJsonInTheCallersLayout) {
    const auto machine = WriteTestMachine();
    nlohmann::json bands = {{"n", 3}, {"a", Range(1, 20)}, {"b", Range(-20, 20)}};
    const ProgramResult set = RunOnMachine(machine, {"set", "vex_ieq_bands", bands.dump()});
    ASSERT_TRUE(Succeeded(set));

    // Stored as the endpoint effect keeps it: n, then each list behind its marker 20.
    std::vector<long long> expected = {3, 20};
    for (int i = 1; i <= 20; ++i) {
        expected.push_back(i);
    }
    expected.push_back(20);
    for (int i = -20; i < 0; ++i) {
        expected.push_back(i);
    }
    EXPECT_EQ(expected, StoredWords(ReadFile(machine), kTestSpeakers, MainKey(13)));

    const ProgramResult get = RunOnMachine(machine, {"get", "vex_ieq_bands", "--json"});
    ASSERT_TRUE(Succeeded(get));
    EXPECT_EQ(bands, OutputJson(get).at("value"));
}

TEST_F(VexctlGetSet, RawWordsAndCountsLeftOutAreAccepted) {
    const auto machine = WriteTestMachine();
    // drova_regulator_thresholds as the 40 raw words of its layout a[20] b[20].
    std::vector<std::string> arguments = {"set", "drova_regulator_thresholds"};
    for (int i = 0; i < 40; ++i) {
        arguments.push_back(std::to_string(100 + i));
    }
    ASSERT_TRUE(Succeeded(RunOnMachine(machine, arguments)));
    const ProgramResult thresholds =
        RunOnMachine(machine, {"get", "drova_regulator_thresholds", "--json"});
    ASSERT_TRUE(Succeeded(thresholds));
    EXPECT_EQ((nlohmann::json{{"a", Range(100, 20)}, {"b", Range(120, 20)}}),
              OutputJson(thresholds).at("value"));

    // A count member left out is the length of its list.
    ASSERT_TRUE(
        Succeeded(RunOnMachine(machine, {"set", "drova_channel_gains", R"({"v": [-3, 0, 7]})"})));
    EXPECT_EQ((std::vector<long long>{3, -3, 0, 7}),
              StoredWords(ReadFile(machine), kTestSpeakers, LowLatencyKey(32)));
    const ProgramResult gains = RunOnMachine(machine, {"get", "drova_channel_gains"});
    ASSERT_TRUE(Succeeded(gains));
    EXPECT_EQ("drova_channel_gains (2137) = {\"n\":3,\"v\":[-3,0,7]}\n", gains.out);
}

TEST_F(VexctlGetSet, MalformedStructuredValuesAreRefusedBeforeAnythingIsWritten) {
    const auto machine = WriteTestMachine();
    const std::string before = ReadFile(machine);
    struct Case {
        const char* name;
        nlohmann::json value;
        const char* complaint;
    };
    const std::vector<Case> cases = {
        {"vex_ieq_bands", {{"n", 1}, {"a", Range(0, 19)}, {"b", Range(0, 20)}}, "\"a\" has 19"},
        {"vex_ieq_bands", {{"n", 1}, {"a", Range(0, 20)}}, "\"b\" is missing"},
        {"drova_channel_gains", {{"n", 3}, {"v", Range(0, 2)}}, "\"n\" is 3"},
        {"drova_regulator_isolated_bands", {{"a", Range(0, 20)}, {"x", 1}}, "unknown member"},
        {"vex_drc_metadata", {{"bytes", nlohmann::json::array({256})}}, "\"bytes\""},
    };
    for (const Case& bad : cases) {
        const ProgramResult run = RunOnMachine(machine, {"set", bad.name, bad.value.dump()});
        EXPECT_TRUE(ExitedWith(2, run)) << bad.value.dump();
        EXPECT_TRUE(Contains(run.err, bad.complaint)) << run.err;
    }
    const ProgramResult notJson = RunOnMachine(machine, {"set", "vex_ieq_bands", "{\"n\": 1,"});
    EXPECT_TRUE(ExitedWith(2, notJson));
    EXPECT_EQ(before, ReadFile(machine));
}

TEST_F(VexctlGetSet, UnknownParameterNameIsRefused) {
    const auto machine = WriteTestMachine();
    const std::string before = ReadFile(machine);
    const ProgramResult get = RunOnMachine(machine, {"get", "vex_sytem_gain"});
    ASSERT_TRUE(ExitedWith(2, get));
    EXPECT_TRUE(Contains(get.err, "unknown parameter \"vex_sytem_gain\"")) << get.err;
    EXPECT_TRUE(get.out.empty());

    const ProgramResult set = RunOnMachine(machine, {"set", "system_gain", "1"});
    ASSERT_TRUE(ExitedWith(2, set));
    // Names that hold what was typed are suggested.
    EXPECT_TRUE(Contains(set.err, "vex_system_gain")) << set.err;
    EXPECT_TRUE(Contains(set.err, "drova_system_gain")) << set.err;
    EXPECT_EQ(before, ReadFile(machine));

    const ProgramResult json = RunOnMachine(machine, {"get", "nonsense", "--json"});
    ASSERT_TRUE(ExitedWith(2, json));
    EXPECT_TRUE(Contains(OutputJson(json).at("error").at("message").get<std::string>(),
                         "unknown parameter"));
}

TEST_F(VexctlGetSet, LibraryFailuresShowTheCodeWithItsSystemText) {
    const auto machine = WriteTestMachine();
    // Never written on this endpoint: the library answers E_FAIL.
    const ProgramResult unset = RunOnMachine(machine, {"get", "vex_postgain"});
    ASSERT_TRUE(ExitedWith(1, unset));
    ASSERT_FALSE(SystemText(E_FAIL).empty());
    EXPECT_TRUE(Contains(unset.err, "0x80004005 " + SystemText(E_FAIL))) << unset.err;
    EXPECT_TRUE(Contains(unset.err, "vex_postgain (1105)")) << unset.err;

    // An id outside the catalogue goes to the library, which refuses it.
    const ProgramResult uncatalogued = RunOnMachine(machine, {"set", "9999", "1"});
    ASSERT_TRUE(ExitedWith(1, uncatalogued));
    EXPECT_TRUE(Contains(uncatalogued.err, "0x80004005")) << uncatalogued.err;

    const ProgramResult json = RunOnMachine(machine, {"get", "vex_postgain", "--json"});
    ASSERT_TRUE(ExitedWith(1, json));
    const nlohmann::json error = OutputJson(json).at("error");
    EXPECT_EQ("0x80004005", error.at("code"));
    EXPECT_EQ(SystemText(E_FAIL), error.at("text"));
}

TEST_F(VexctlGetSet, RouteFlagsArePassedToTheLibrary) {
    const auto machine = WriteTestMachine();
    // Without bit 0 the endpoint effect's store is not written, whatever the DSP route says.
    RunOnMachine(machine, {"set", "vex_bypass", "1", "--route", "dsp"});
    EXPECT_TRUE(
        StoredValue(ReadFile(machine), kTestSpeakers, "{0C5E4949-7A67-4B9E-9069-1D6259682436},3201")
            .is_null());
    // With both routes the store is written first.
    RunOnMachine(machine, {"set", "vex_bypass", "1", "--route", "both"});
    EXPECT_EQ(1, StoredValue(ReadFile(machine), kTestSpeakers,
                             "{0C5E4949-7A67-4B9E-9069-1D6259682436},3201")
                     .value("value", 0));
    ASSERT_TRUE(Succeeded(RunOnMachine(machine, {"set", "vex_bypass", "0", "--route=apo"})));
    EXPECT_EQ(0, StoredValue(ReadFile(machine), kTestSpeakers,
                             "{0C5E4949-7A67-4B9E-9069-1D6259682436},3201")
                     .value("value", -1));

    const ProgramResult bad = RunOnMachine(machine, {"get", "vex_bypass", "--route", "kernel"});
    ASSERT_TRUE(ExitedWith(2, bad));
    EXPECT_TRUE(Contains(bad.err, "--route")) << bad.err;
}

TEST_F(VexctlGetSet, EndpointOptionChoosesTheEndpoint) {
    const auto machine = WriteTestMachine();
    ASSERT_TRUE(
        Succeeded(RunOnMachine(machine, {"--endpoint", kTestHeadphones, "set", "ns_mode", "2"})));
    EXPECT_EQ(2, StoredValue(ReadFile(machine), kTestHeadphones,
                             "{5B5E03CB-8070-420D-B794-8A28C89F6274},1")
                     .value("value", 0));
    EXPECT_TRUE(
        StoredValue(ReadFile(machine), kTestSpeakers, "{5B5E03CB-8070-420D-B794-8A28C89F6274},1")
            .is_null());
    // The default endpoint does not have it; the headphones do.
    EXPECT_TRUE(ExitedWith(1, RunOnMachine(machine, {"get", "ns_mode"})));
    const ProgramResult get =
        RunOnMachine(machine, {"get", "ns_mode", "--endpoint", kTestHeadphones, "--json"});
    ASSERT_TRUE(Succeeded(get));
    EXPECT_EQ(2, OutputJson(get).at("value"));
    EXPECT_EQ(kTestHeadphones, OutputJson(get).at("endpoint"));
}

}  // namespace
}  // namespace vextest
