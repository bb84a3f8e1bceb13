// vexctl endpoints and vexctl info.
#include "VexctlFixture.h"

namespace vextest {
namespace {

const char kHeadphonesName[] = "Kopfh\xc3\xb6rer";

using VexctlEndpoints = VexctlTest;

TEST_F(VexctlEndpoints, ListsActiveRenderEndpointsAndMarksTheDefault) {
    const auto machine = WriteTestMachine();
    const ProgramResult run = RunOnMachine(machine, {"endpoints"});
    ASSERT_TRUE(Succeeded(run));
    EXPECT_TRUE(Contains(run.out, "* speakers-1\n")) << run.out;
    EXPECT_TRUE(Contains(run.out, "  headphones-2\n")) << run.out;
    EXPECT_TRUE(Contains(run.out, "Test Speakers")) << run.out;
    EXPECT_TRUE(Contains(run.out, kHeadphonesName)) << run.out;
    EXPECT_TRUE(Contains(run.out, "form factor: 1 (speakers)")) << run.out;
    EXPECT_TRUE(Contains(run.out, "form factor: 3 (headphones)")) << run.out;
    // Neither the disabled output nor the capture endpoint is a candidate.
    EXPECT_FALSE(Contains(run.out, "hdmi-3")) << run.out;
    EXPECT_FALSE(Contains(run.out, "mic-4")) << run.out;
}

TEST_F(VexctlEndpoints, JsonGivesIdNameFormFactorAndDefaultOfEach) {
    const auto machine = WriteTestMachine();
    const ProgramResult run = RunOnMachine(machine, {"endpoints", "--json"});
    ASSERT_TRUE(Succeeded(run));
    const nlohmann::json list = OutputJson(run).at("endpoints");
    ASSERT_EQ(2u, list.size()) << run.out;
    EXPECT_EQ("speakers-1", list[0].at("id"));
    EXPECT_EQ("Test Speakers", list[0].at("name"));
    EXPECT_EQ(1, list[0].at("form_factor"));
    EXPECT_EQ(true, list[0].at("default"));
    EXPECT_EQ("headphones-2", list[1].at("id"));
    EXPECT_EQ(kHeadphonesName, list[1].at("name"));
    EXPECT_EQ(3, list[1].at("form_factor"));
    EXPECT_EQ(false, list[1].at("default"));
}

TEST_F(VexctlEndpoints, ListingLeavesTheMachineFileAsItWas) {
    const auto machine = WriteTestMachine();
    const std::string before = ReadFile(machine);
    ASSERT_TRUE(Succeeded(RunOnMachine(machine, {"endpoints"})));
    ASSERT_TRUE(Succeeded(RunOnMachine(machine, {"info"})));
    EXPECT_EQ(before, ReadFile(machine)) << "a command that writes nothing rewrote the file";
}

using VexctlInfo = VexctlTest;

TEST_F(VexctlInfo, ShowsEffectVersionsAndFormFactor) {
    const auto machine = WriteTestMachine();
    const ProgramResult run = RunOnMachine(machine, {"info"});
    ASSERT_TRUE(Succeeded(run));
    EXPECT_TRUE(Contains(run.out, "endpoint: speakers-1\n")) << run.out;
    EXPECT_TRUE(Contains(run.out, "main effect version (1001): vex2.10-lite\n")) << run.out;
    EXPECT_TRUE(Contains(run.out, "low-latency effect version (2001): drova1.4\n")) << run.out;
    EXPECT_TRUE(Contains(run.out, "form factor (1004): 1 (speakers)\n")) << run.out;

    const ProgramResult json = RunOnMachine(machine, {"info", "--json"});
    ASSERT_TRUE(Succeeded(json));
    const nlohmann::json document = OutputJson(json);
    EXPECT_EQ("speakers-1", document.at("endpoint"));
    EXPECT_EQ("vex2.10-lite", document.at("main_version"));
    EXPECT_EQ("drova1.4", document.at("low_latency_version"));
    EXPECT_EQ(1, document.at("form_factor"));
}

TEST_F(VexctlInfo, EndpointWithoutEffectHasNoVersion) {
    const auto machine = WriteTestMachine();
    const ProgramResult run = RunOnMachine(machine, {"info", "--endpoint", kTestHeadphones});
    ASSERT_TRUE(Succeeded(run));
    EXPECT_TRUE(Contains(run.out, "main effect version (1001): none recognised\n")) << run.out;
    EXPECT_TRUE(Contains(run.out, "form factor (1004): 3 (headphones)\n")) << run.out;
}

TEST_F(VexctlInfo, SpecialIdsReadThroughGetToo) {
    const auto machine = WriteTestMachine();
    const ProgramResult version = RunOnMachine(machine, {"get", "1001"});
    ASSERT_TRUE(Succeeded(version));
    EXPECT_EQ("1001 = vex2.10-lite\n", version.out);
    const ProgramResult formFactor =
        RunOnMachine(machine, {"get", "1004", "--endpoint", kTestHeadphones, "--json"});
    ASSERT_TRUE(Succeeded(formFactor));
    EXPECT_EQ(3, OutputJson(formFactor).at("value"));
}

TEST_F(VexctlInfo, UnknownEndpointFailsWithTheCodeAndItsSystemText) {
    const auto machine = WriteTestMachine();
    const ProgramResult run = RunOnMachine(machine, {"info", "--endpoint", "no-such-endpoint"});
    ASSERT_TRUE(ExitedWith(1, run));
    const HRESULT notFound = static_cast<HRESULT>(0x80070490L);
    ASSERT_FALSE(SystemText(notFound).empty());
    EXPECT_TRUE(Contains(run.err, "0x80070490 " + SystemText(notFound))) << run.err;
    EXPECT_TRUE(Contains(run.err, "no-such-endpoint")) << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
}

}  // namespace
}  // namespace vextest
