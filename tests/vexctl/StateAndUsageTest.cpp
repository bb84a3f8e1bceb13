// The default machine's state file and reset, machine files that cannot be used, trace
// records, help for every command and mistakes on the command line.
#include "VexctlFixture.h"

#include <algorithm>

namespace vextest {
namespace {

using VexctlState = VexctlTest;

TEST_F(VexctlState, ResetRestoresTheDefaultMachine) {
    ASSERT_TRUE(Succeeded(RunOnDefaultMachine({"set", "vex_bypass", "1"})));
    ASSERT_TRUE(Succeeded(RunOnDefaultMachine({"get", "vex_bypass"})));

    const ProgramResult reset = Run({"reset", "--json"});
    ASSERT_TRUE(Succeeded(reset));
    EXPECT_EQ(PathText(StateFile()), OutputJson(reset).at("state_file"));
    // The value is gone: the endpoint is as the built-in machine has it.
    EXPECT_TRUE(ExitedWith(1, RunOnDefaultMachine({"get", "vex_bypass"})));
    const ProgramResult info = RunOnDefaultMachine({"info", "--json"});
    ASSERT_TRUE(Succeeded(info));
    EXPECT_EQ(1, OutputJson(info).at("form_factor"));
}

TEST_F(VexctlState, NoSaveOnTheDefaultMachineKeepsNothing) {
    ASSERT_TRUE(Succeeded(RunOnDefaultMachine({"set", "vex_bypass", "1", "--no-save"})));
    EXPECT_FALSE(std::filesystem::exists(StateFile()));
    EXPECT_TRUE(ExitedWith(1, RunOnDefaultMachine({"get", "vex_bypass"})));
}

TEST_F(VexctlState, ResetLeavesAMachineFileAlone) {
    const auto machine = WriteTestMachine();
    const std::string before = ReadFile(machine);
    const ProgramResult run = RunOnMachine(machine, {"reset"});
    ASSERT_TRUE(ExitedWith(2, run));
    EXPECT_EQ(before, ReadFile(machine));
    EXPECT_FALSE(std::filesystem::exists(StateFile()));
}

TEST_F(VexctlState, UnusableMachinesAreReported) {
    const ProgramResult missing = RunOnMachine(Directory() / "missing.json", {"endpoints"});
    ASSERT_TRUE(ExitedWith(1, missing));
    EXPECT_TRUE(Contains(missing.err, "missing.json")) << missing.err;

    const auto broken = WriteFile("broken.json", R"({"endpoints": [{"id": "x", "flow": "up"}]})");
    const ProgramResult wrong = RunOnMachine(broken, {"endpoints"});
    ASSERT_TRUE(ExitedWith(1, wrong));
    EXPECT_TRUE(Contains(wrong.err, "broken.json")) << wrong.err;
    EXPECT_TRUE(Contains(wrong.err, "flow")) << wrong.err;

    // A damaged state file is reported with the way out.
    std::filesystem::create_directories(StateFile().parent_path());
    WriteFile("state/vexctl/default-machine.json", "{\"endpoints\": ");
    const ProgramResult damaged = RunOnDefaultMachine({"info"});
    ASSERT_TRUE(ExitedWith(1, damaged));
    EXPECT_TRUE(Contains(damaged.err, "vexctl reset")) << damaged.err;
    ASSERT_TRUE(Succeeded(Run({"reset"})));
    EXPECT_TRUE(Succeeded(RunOnDefaultMachine({"info"})));
}

using VexctlTrace = VexctlTest;

TEST_F(VexctlTrace, TraceRecordsGoToStandardErrorWhereCaptureExists) {
    const auto machine = WriteTestMachine();
    ASSERT_TRUE(Succeeded(RunOnMachine(machine, {"set", "vex_system_gain", "9"})));
    const ProgramResult run =
        RunOnMachine(machine, {"--trace", "verbose", "get", "vex_system_gain"});
    ASSERT_TRUE(Succeeded(run));
    EXPECT_EQ("vex_system_gain (1101) = 9\n", run.out);
    if (HaveTraceController()) {
        EXPECT_TRUE(Contains(run.err, "ApoController::GetParameter")) << run.err;
        EXPECT_TRUE(Contains(run.err, "trace 4: ")) << run.err;
        // Up to warnings, the successful get leaves no record of its own (the machine's endpoint
        // has no DSP module, which the open warns about).
        const ProgramResult quiet = RunOnMachine(machine, {"--trace", "3", "get", "1101"});
        ASSERT_TRUE(Succeeded(quiet));
        EXPECT_FALSE(Contains(quiet.err, "ApoController")) << quiet.err;
        EXPECT_FALSE(Contains(quiet.err, "trace 4: ")) << quiet.err;
    } else {
        // No trace session can be started under Windows or Wine: said once, and the command
        // still does its work.
        EXPECT_TRUE(Contains(run.err, "--trace")) << run.err;
        EXPECT_TRUE(Contains(run.err, "not available")) << run.err;
    }
    const ProgramResult bad = RunOnMachine(machine, {"--trace", "loud", "get", "1101"});
    EXPECT_TRUE(ExitedWith(2, bad));
}

using VexctlUsage = VexctlTest;

TEST_F(VexctlUsage, EveryCommandHasHelp) {
    const ProgramResult overview = Run({"--help"});
    ASSERT_TRUE(Succeeded(overview));
    const std::vector<std::string> commands = {"endpoints", "get",  "set",  "info",
                                               "dump",      "load", "reset"};
    const std::vector<std::string> routed = {"get", "set", "dump", "load"};
    for (const std::string& command : commands) {
        EXPECT_TRUE(Contains(overview.out, "\n  " + command)) << command;
        const ProgramResult help = Run({command, "--help"});
        ASSERT_TRUE(Succeeded(help)) << command;
        EXPECT_EQ(0u, help.out.rfind("Usage: vexctl " + command, 0)) << help.out;
        EXPECT_TRUE(Contains(help.out, "--machine")) << command;
        const bool takesRoute = std::find(routed.begin(), routed.end(), command) != routed.end();
        EXPECT_EQ(takesRoute, Contains(help.out, "--route")) << command;
        EXPECT_EQ(command == "dump", Contains(help.out, "--output")) << command;
    }
    const std::string getHelp = Run({"get", "--help"}).out;
    EXPECT_EQ(getHelp, Run({"help", "get"}).out);
    EXPECT_EQ(getHelp, Run({"-h", "get", "1101"}).out);
    // Help does not run the command: nothing is created.
    EXPECT_FALSE(std::filesystem::exists(StateFile()));
}

TEST_F(VexctlUsage, MistakesOnTheCommandLineExitWithTwo) {
    const std::vector<std::vector<std::string>> mistakes = {
        {},
        {"frobnicate"},
        {"get"},
        {"get", "1101", "1102"},
        {"set", "vex_bypass"},
        {"get", "1101", "--colour"},
        {"get", "1101", "--endpoint"},
        {"endpoints", "--route", "apo"},
        {"info", "--output", "x.json"},
        {"help", "frobnicate"},
    };
    for (const std::vector<std::string>& arguments : mistakes) {
        const ProgramResult run = Run(arguments);
        std::string line;
        for (const std::string& argument : arguments) {
            line += argument + " ";
        }
        EXPECT_TRUE(ExitedWith(2, run)) << line;
        EXPECT_TRUE(Contains(run.err, "vexctl: ")) << line;
    }
    EXPECT_FALSE(std::filesystem::exists(StateFile()));
}

TEST_F(VexctlUsage, NegativeValuesAreNotOptions) {
    const auto machine = WriteTestMachine();
    ASSERT_TRUE(Succeeded(RunOnMachine(machine, {"set", "drova_regulator_stress_amount", "-1", "-2",
                                                 "-3", "-4", "-5", "-6", "-7", "-8", "--json"})));
    const ProgramResult get = RunOnMachine(machine, {"get", "2122", "--json"});
    ASSERT_TRUE(Succeeded(get));
    EXPECT_EQ((nlohmann::json{{"a", {-1, -2, -3, -4, -5, -6, -7, -8}}}),
              OutputJson(get).at("value"));
}

}  // namespace
}  // namespace vextest
