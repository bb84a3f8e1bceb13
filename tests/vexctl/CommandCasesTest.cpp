// vexctl's command line, one row a run: the arguments, the machine it runs on (a fresh copy per
// row), the exit status, what standard output and error hold, and whether the machine file is
// left as it was.
#include "VexctlFixture.h"

#include <numeric>

namespace vextest {
namespace {

enum class Machine { None, Test, Dsp, Faulty };

// What a run must show: a fragment of standard output or error (or one that output must not
// hold), the machine file left as it was, a code named with its system text, a JSON value at a
// pointer ("/error/code=\"0x80004005\""), or the preset file written before the run.
enum Kind { Out, NotOut, Err, Untouched, Code, JsonAt, Preset };
struct Check {
    Kind kind;
    std::string text;
};

struct Case {
    const char* what;
    Machine machine;
    std::vector<std::string> arguments;  // "$M" is the machine file, "$P" the preset file
    int exitCode;
    std::vector<Check> checks;
};

std::ostream& operator<<(std::ostream& stream, const Case& c) {
    return stream << c.what;
}

std::string Words(int first, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += (i == 0 ? "" : ", ") + std::to_string(first + i);
    }
    return text;
}

const std::string kBands =
    R"({"n": 3, "a": [)" + Words(1, 20) + R"(], "b": [)" + Words(-20, 20) + "]}";
const Check kSame = {Untouched, ""};
const std::string kTwoModules =
    R"({"parameters": {"drova_system_gain": 1, "drova_sliding_bass_enable": 1}})";

const Case kCases[] = {
    // Values, names and ids.
    {"scalar",
     Machine::Test,
     {"set", "vex_pregain", "0x10"},
     0,
     {{Out, "set vex_pregain (1104) = 16\n"}}},
    {"unsigned range", Machine::Test, {"set", "vex_pregain", "4294967295"}, 0, {{Out, "= -1\n"}}},
    {"not a word",
     Machine::Test,
     {"set", "vex_pregain", "4294967296"},
     2,
     {{Err, "4294967296"}, kSame}},
    {"structured JSON", Machine::Test, {"set", "vex_ieq_bands", kBands}, 0, {{Out, "\"n\":3"}}},
    {"JSON list too short",
     Machine::Test,
     {"set", "vex_ieq_bands", R"({"n": 1, "a": [1], "b": [2]})"},
     2,
     {{Err, "\"a\" has 1"}, kSame}},
    {"count left out",
     Machine::Test,
     {"set", "drova_channel_gains", R"({"v": [-3, 0, 7]})"},
     0,
     {{Out, R"({"n":3,"v":[-3,0,7]})"}}},
    {"raw words",
     Machine::Test,
     {"set", "drova_sliding_bass_gain_curve", "1", "2", "3", "4", "5"},
     0,
     {{Out, R"({"a":[1,2,3,4,5]})"}}},
    {"raw words left over",
     Machine::Test,
     {"set", "drova_sliding_bass_gain_curve", "1", "2", "3", "4", "5", "6"},
     2,
     {{Err, "6 words given, but its layout takes 5"}, kSame}},
    {"raw words too few",
     Machine::Test,
     {"set", "drova_sliding_bass_gain_curve", "1", "2", "3"},
     2,
     {{Err, "3 words given"}, kSame}},
    {"negative words",
     Machine::Test,
     {"set", "drova_regulator_stress_amount", "-1", "-2", "-3", "-4", "-5", "-6", "-7", "-8"},
     0,
     {{Out, "[-1,-2,-3,-4,-5,-6,-7,-8]"}}},
    {"more than read back",
     Machine::Test,
     {"set", "drova_channel_gains", R"({"v": [1,2,3,4,5,6,7,8,9]})"},
     2,
     {{Err, "at most 8"}, kSame}},
    {"case and dashes",
     Machine::Test,
     {"set", "VEX-System-Gain", "3"},
     0,
     {{Out, "set vex_system_gain (1101) = 3"}}},
    {"misspelt",
     Machine::Test,
     {"get", "vex_sytem_gain"},
     2,
     {{Err, "did you mean vex_system_gain?"}, kSame}},
    {"not set",
     Machine::Test,
     {"get", "vex_postgain"},
     1,
     {{Err, "not set on this endpoint"}, {Code, "0x80004005"}, kSame}},
    {"unknown id",
     Machine::Test,
     {"set", "9999", "1"},
     1,
     {{Err, "not a parameter the library knows"}, {Code, "0x80004005"}, kSame}},
    {"effect version", Machine::Test, {"get", "1001"}, 0, {{Out, "1001 = vex2.10-lite\n"}, kSame}},
    {"read-only id",
     Machine::Test,
     {"set", "1001", "5"},
     2,
     {{Err, "set 1001: it is read-only"}, kSame}},
    {"form factor read-only on apo",
     Machine::Test,
     {"set", "1004", "3"},
     2,
     {{Err, "read-only on the apo route"}, kSame}},
    {"set-only id",
     Machine::Test,
     {"get", "1003"},
     2,
     {{Err, "set-only"}, {Err, "vexctl select main"}, kSame}},
    {"several names",
     Machine::Test,
     {"get", "1001", "2001", "--json"},
     0,
     {{JsonAt, "/values/1/value=\"drova1.4\""}}},
    {"json error",
     Machine::Test,
     {"get", "vex_postgain", "--json"},
     1,
     {{JsonAt, "/error/code=\"0x80004005\""}}},
    {"route apo by =", Machine::Test, {"set", "vex_bypass", "0", "--route=apo"}, 0, {}},
    // Both routes: each route's outcome, and a failure although the store took the value.
    {"both routes, module refuses",
     Machine::Dsp,
     {"set", "vex_system_gain", "-6", "--route", "both"},
     1,
     {{Err, "written to the endpoint's store; the DSP module refused: no DSP module for main"},
      {Code, "0x80070057"}}},
    {"both routes json",
     Machine::Dsp,
     {"set", "vex_system_gain", "-6", "--route", "both", "--json"},
     1,
     {{JsonAt, "/error/routes/apo/written=true"},
      {JsonAt, "/error/routes/dsp/code=\"0x80070057\""}}},
    {"both routes",
     Machine::Dsp,
     {"set", "drova_post_gain", "9", "--route", "both"},
     0,
     {{Out, "set drova_post_gain (2104) = 9\n"}}},
    {"dsp route",
     Machine::Dsp,
     {"set", "drova-limiter-gain", "16", "--route", "dsp"},
     0,
     {{Out, "drova-limiter-gain (2128) = 16"}}},
    {"no module on the endpoint",
     Machine::Dsp,
     {"set", "drova_system_gain", "1", "--route", "dsp", "--endpoint", "line-3"},
     1,
     {{Err, "no DSP module for low-latency processing on this endpoint"},
      {Code, "0x80070057"},
      kSame}},
    {"module version refuses",
     Machine::Dsp,
     {"set", "drova_sliding_bass_enable", "1", "--route", "dsp", "--endpoint", "headphones-2"},
     1,
     {{Err, "module version \"1.4.1\" does not take this parameter"}, {Code, "0x80070057"}, kSame}},
    {"select",
     Machine::Dsp,
     {"select", "Low-Latency"},
     0,
     {{Out, "selected the Low-Latency module (2003)"}}},
    {"select without module",
     Machine::Dsp,
     {"select", "main"},
     1,
     {{Err, "no DSP module for main processing"}, {Code, "0x80070057"}, kSame}},
    {"select vendor set",
     Machine::Dsp,
     {"select", "2003", "--endpoint", "headphones-2"},
     1,
     {{Code, "0x80004001"}, kSame}},
    {"info modules",
     Machine::Dsp,
     {"info"},
     0,
     {{Out, "DSP module for main processing: none\n"},
      {Out, "  version label (2001): 1.5\n"},
      kSame}},
    // Endpoints as people type them.
    {"endpoint prefix",
     Machine::Test,
     {"get", "1004", "--endpoint", "head"},
     0,
     {{Out, "1004 = 3\n"}}},
    {"endpoint name",
     Machine::Test,
     {"get", "1004", "--endpoint", "TEST speakers"},
     0,
     {{Out, "1004 = 1\n"}}},
    {"endpoint index", Machine::Test, {"get", "1004", "--endpoint", "1"}, 0, {{Out, "1004 = 3\n"}}},
    {"endpoint default",
     Machine::Test,
     {"get", "1004", "--endpoint", "default"},
     0,
     {{Out, "1004 = 1\n"}}},
    {"endpoint ambiguous",
     Machine::Test,
     {"get", "1004", "--endpoint", "h"},
     2,
     {{Err, "names several endpoints"}, {Err, "headphones-2"}, {Err, "hdmi-3"}, kSame}},
    {"endpoint unknown",
     Machine::Test,
     {"info", "--endpoint", "nowhere"},
     2,
     {{Err, "names no endpoint"}, {Err, "speakers-1"}, {Err, "mic-4"}, kSame}},
    {"write to a capture endpoint",
     Machine::Test,
     {"set", "vex_bypass", "1", "--endpoint", "mic-4"},
     2,
     {{Err, "capture endpoint"}, {Err, "--force"}, kSame}},
    {"write to a disabled one",
     Machine::Test,
     {"set", "vex_bypass", "1", "--endpoint", "Display"},
     2,
     {{Err, "not active"}, {Err, "--force"}, kSame}},
    {"forced",
     Machine::Test,
     {"set", "vex_bypass", "1", "--endpoint", "hdmi-3", "--force"},
     0,
     {{Out, "set vex_bypass (1002) = 1"}}},
    {"read a capture endpoint",
     Machine::Test,
     {"get", "1004", "--endpoint", "mic-4"},
     0,
     {{Out, "1004 = "}}},
    {"endpoints",
     Machine::Test,
     {"endpoints"},
     0,
     {{Out, "* speakers-1\n    index: 0\n"},
      {Out, "Kopfh\xc3\xb6rer"},
      {Out, "3 (headphones)"},
      {NotOut, "mic-4"},
      {NotOut, "hdmi-3"},
      kSame}},
    {"info",
     Machine::Test,
     {"info", "--json"},
     0,
     {{JsonAt, "/endpoint=\"speakers-1\""}, {JsonAt, "/form_factor=1"}, kSame}},
    // Presets.
    {"dry run",
     Machine::Dsp,
     {"load", "$P", "--route", "dsp", "--endpoint", "headphones-2", "--dry-run"},
     2,
     {{Preset, kTwoModules},
      {Out, "would write drova_system_gain"},
      {Out, "refused drova_sliding_bass_enable: module version"},
      kSame}},
    {"checked before writing",
     Machine::Dsp,
     {"load", "$P", "--route", "dsp", "--endpoint", "head"},
     2,
     {{Preset, kTwoModules},
      {Err, "nothing was written"},
      {Err, "drova_sliding_bass_enable (2129): module version"},
      kSame}},
    {"name twice",
     Machine::Test,
     {"load", "$P"},
     2,
     {{Preset, R"({"parameters": {"vex_system_gain": 1, "vex_system_gain": 2}})"},
      {Err, "\"vex_system_gain\" is given twice"},
      kSame}},
    {"name and id",
     Machine::Test,
     {"load", "$P"},
     2,
     {{Preset, R"({"parameters": {"vex_system_gain": 1, "1101": 2}})"},
      {Err, "given twice"},
      kSame}},
    {"unknown in preset",
     Machine::Test,
     {"load", "$P"},
     2,
     {{Preset, R"({"parameters": {"vex_system_gain": 1, "1004": 2}})"},
      {Err, "unknown parameter \"1004\""},
      kSame}},
    {"preset not JSON",
     Machine::Test,
     {"load", "$P"},
     2,
     {{Preset, "{\"parameters\""}, {Err, "not JSON"}, kSame}},
    {"dump onto the machine",
     Machine::Test,
     {"dump", "--output", "$M"},
     2,
     {{Err, "would overwrite the machine file"}, kSame}},
    // Machines, state, files.
    {"machine missing",
     Machine::None,
     {"--machine", "$M", "info"},
     1,
     {{Err, "cannot read the machine file "}}},
    {"machine unknown by name",
     Machine::None,
     {"--machine", "nosuchmachine", "info"},
     2,
     {{Err, "vexctl machines lists them"}}},
    {"shipped machine",
     Machine::None,
     {"--machine", "single-speaker", "endpoints"},
     0,
     {{Out, "machine: the shipped machine single-speaker"}}},
    {"machines",
     Machine::None,
     {"machines"},
     0,
     {{Out, "default\n"}, {Out, "dsp-modules\n"}, {NotOut, "broken-fault"}}},
    {"reset no-save", Machine::None, {"reset", "--no-save"}, 2, {{Err, "--no-save"}}},
    {"reset a machine file", Machine::Test, {"reset"}, 2, {kSame}},
    {"store refuses",
     Machine::Faulty,
     {"set", "vex_calibration_boost", "1"},
     1,
     {{Err, "vex_calibration_boost (1102)"}, {Code, "0x80070005"}, kSame}},
    {"trace",
     Machine::Test,
     {"--trace", "verbose", "get", "1001"},
     0,
     {{Out, "1001 = "}, {Err, "trace"}, kSame}},
    {"help",
     Machine::None,
     {"help", "load"},
     0,
     {{Out, "Usage: vexctl load"}, {Out, "--dry-run"}, {Out, "--machine"}}},
    {"version",
     Machine::None,
     {"--version"},
     0,
     {{Out, "vexctl "},
      {Out, "\nlibrary: "},
      {Out, "Orv3VexControl."},
      {Out, "\nlibrary file version: "}}},
    {"params",
     Machine::None,
     {"params", "IEQ-bands"},
     0,
     {{Out, "1114  vex_ieq_bands  [apo, dsp]  {\"n\""}, {NotOut, "1101"}}},
    {"no command", Machine::None, {}, 2, {{Err, "no command"}}},
    {"unknown option", Machine::None, {"get", "1101", "--colour"}, 2, {{Err, "unknown option"}}},
    {"option of another command",
     Machine::None,
     {"info", "--dry-run"},
     2,
     {{Err, "takes no --dry-run"}}},
    {"too few for set", Machine::None, {"set", "vex_bypass"}, 2, {{Err, "missing argument"}}},
    {"bad route", Machine::None, {"get", "1101", "--route", "kernel"}, 2, {{Err, "--route"}}},
};

class VexctlCommand : public VexctlTest, public ::testing::WithParamInterface<Case> {};

TEST_P(VexctlCommand, Runs) {
    const Case& c = GetParam();
    std::filesystem::path machine = Directory() / "machine.json";
    if (c.machine == Machine::Test || c.machine == Machine::Faulty) {
        machine =
            WriteTestMachine(c.machine == Machine::Test
                                 ? ""
                                 : R"("faults": [{"method": "IPropertyStore::SetValue", "key": ")" +
                                       MainKey(1) + R"(", "result": "E_ACCESSDENIED"}])");
    } else if (c.machine == Machine::Dsp) {
        machine = WriteFile("machine.json", DspMachineJson());
    }
    std::filesystem::path preset = Directory() / "preset.json";
    for (const Check& check : c.checks) {
        preset = check.kind == Preset ? WriteFile("preset.json", check.text) : preset;
    }
    std::vector<std::string> arguments;
    if (c.machine != Machine::None) {
        arguments = {"--machine", PathText(machine)};
    }
    for (const std::string& argument : c.arguments) {
        arguments.push_back(argument == "$M"   ? PathText(machine)
                            : argument == "$P" ? PathText(preset)
                                               : argument);
    }
    const std::string before = ReadFile(machine);
    const ProgramResult run = Run(arguments);
    ASSERT_TRUE(ExitedWith(c.exitCode, run));
    for (const Check& check : c.checks) {
        const std::string& text = check.text;
        if (check.kind == Out || check.kind == NotOut) {
            EXPECT_EQ(check.kind == Out, Contains(run.out, text)) << text << "\n" << run.out;
        } else if (check.kind == Err) {
            EXPECT_TRUE(Contains(run.err, text)) << text << "\n" << run.err;
        } else if (check.kind == Untouched) {
            EXPECT_EQ(before, ReadFile(machine)) << "the machine file was written";
        } else if (check.kind == Code) {
            const auto code = static_cast<HRESULT>(std::stoul(text, nullptr, 16));
            ASSERT_FALSE(SystemText(code).empty());
            EXPECT_TRUE(Contains(run.err, text + " " + SystemText(code))) << run.err;
        } else if (check.kind == JsonAt) {
            const size_t equals = text.find('=');
            const nlohmann::json::json_pointer pointer(text.substr(0, equals));
            EXPECT_EQ(nlohmann::json::parse(text.substr(equals + 1)),
                      OutputJson(run).value(pointer, nlohmann::json()))
                << text << "\n"
                << run.out;
        }
    }
    // A machine file that cannot be used names itself once and leaves no lock file behind.
    if (c.machine == Machine::None && c.arguments.size() > 1 && c.arguments[1] == "$M") {
        const std::string named = PathText(machine);
        EXPECT_EQ(run.err.find(named), run.err.rfind(named)) << run.err;
        EXPECT_FALSE(std::filesystem::exists(PathOf(named + ".lock")));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, VexctlCommand, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name = info.param.what;
                             for (char& ch : name) {
                                 ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             }
                             return name;
                         });

}  // namespace
}  // namespace vextest
