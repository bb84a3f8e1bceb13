// vexctl's command line, one row a run on a fresh machine file: arguments, exit status, what
// standard output and error hold, and whether the machine file is left as it was.
#include "VexctlFixture.h"

#include <algorithm>
#include <sstream>

namespace vextest {
namespace {

enum Machine { None, Test, Dsp, Faulty, NoItems };
// Out/NotOut/Err: a fragment of a stream; Same: the machine file left as it was; Code: a code
// with its system text; JsonAt: "/pointer=json"; Preset: the preset file written before the run.
enum Kind { Out, NotOut, Err, Same, Code, JsonAt, Preset };
struct Check {
    Kind kind;
    std::string text;
};
struct Case {
    const char* name;
    Machine machine;
    std::string arguments;  // split at spaces; "$M" is the machine file, "$P" the preset file
    int exitCode;
    std::vector<Check> checks;
};

const std::string kBands =
    R"({"n":3,"a":[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20],)"
    R"("b":[-20,-19,-18,-17,-16,-15,-14,-13,-12,-11,-10,-9,-8,-7,-6,-5,-4,-3,-2,-1]})";
const Check kSame = {Same, ""};
const std::string kTwoModules =
    R"({"parameters": {"drova_system_gain": 1, "drova_sliding_bass_enable": 1}})";
const std::string kCurve = "set drova_sliding_bass_gain_curve 1 2 3";

// clang-format off
const Case kCases[] = {
    // Values, names and ids.
    {"scalar", Test, "set vex_pregain 0x10", 0, {{Out, "set vex_pregain (1104) = 16\n"}}},
    {"not_a_word", Test, "set vex_pregain 4294967296", 2, {{Err, "4294967296"}, kSame}},
    {"structured_JSON", Test, "set vex_ieq_bands " + kBands, 0, {{Out, "\"n\":3"}}},
    {"count_left_out", Test, R"(set drova_channel_gains {"v":[-3,0,7]})", 0,
     {{Out, R"({"n":3,"v":[-3,0,7]})"}}},
    {"raw_words", Test, kCurve + " 4 5", 0, {{Out, R"({"a":[1,2,3,4,5]})"}}},
    {"raw_words_left_over", Test, kCurve + " 4 5 6", 2,
     {{Err, "6 words given, but its layout takes 5"}, kSame}},
    {"more_than_read_back", Test, R"(set drova_channel_gains {"v":[1,2,3,4,5,6,7,8,9]})", 2,
     {{Err, "at most 8"}, kSame}},
    {"misspelt", Test, "get vex_sytem_gain", 2, {{Err, "did you mean vex_system_gain?"}, kSame}},
    {"not_set", Test, "get vex_postgain", 1,
     {{Err, "not set on this endpoint"}, {Code, "0x80004005"}, kSame}},
    {"unknown_id", Test, "set 9999 1", 1,
     {{Err, "not a parameter the library knows"}, {Code, "0x80004005"}, kSame}},
    {"read_only_id", Test, "set 1001 5", 2, {{Err, "set 1001: it is read-only"}, kSame}},
    {"set_only_id", Test, "get 1003", 2, {{Err, "set-only"}, {Err, "vexctl select main"}, kSame}},
    // Both routes: each route's outcome, and a failure although the store took the value.
    {"both_routes_module_refuses", Dsp, "set vex_system_gain -6 --route both", 1,
     {{Err, "written to the endpoint's store; the DSP module refused: no DSP module for main"},
      {Code, "0x80070057"}}},
    {"both_routes_json", Dsp, "set vex_system_gain -6 --route both --json", 1,
     {{JsonAt, "/error/routes/apo/written=true"},
      {JsonAt, "/error/routes/dsp/code=\"0x80070057\""}}},
    {"dsp_route_case_and_dashes", Dsp, "set DROVA_Limiter_gain 16 --route dsp", 0,
     {{Out, "drova-limiter-gain (2128) = 16"}}},
    {"module_version_refuses", Dsp,
     "set 2124 1 --route dsp --endpoint headphones-2", 1,
     {{Err, "module version \"1.4.1\" does not take this parameter"}, {Code, "0x80070057"}, kSame}},
    {"select", Dsp, "select Low-Latency", 0, {{Out, "selected the Low-Latency module (2003)"}}},
    {"select_without_module", Dsp, "select main", 1,
     {{Err, "no DSP module for main processing"}, {Code, "0x80070057"}, kSame}},
    {"select_vendor_set", Dsp, "select 2003 --endpoint headphones-2", 1,
     {{Code, "0x80004001"}, kSame}},
    {"info_modules", Dsp, "info", 0,
     {{Out, "DSP module for main processing: none\n"}, {Out, "  version label (2001): 1.5\n"},
      kSame}},
    // Endpoints as people type them ('~' is a space within an argument).
    {"endpoint_prefix", Test, "get 1004 --endpoint head", 0, {{Out, "1004 = 3\n"}}},
    {"endpoint_name", Test, "get 1004 --endpoint TEST~speakers", 0, {{Out, "1004 = 1\n"}}},
    {"endpoint_index", Test, "get 1004 --endpoint 1", 0, {{Out, "1004 = 3\n"}}},
    {"endpoint_ambiguous", Test, "get 1004 --endpoint h", 2,
     {{Err, "names several endpoints"}, {Err, "headphones-2"}, {Err, "hdmi-3"}, kSame}},
    {"endpoint_unknown", Test, "info --endpoint nowhere", 2,
     {{Err, "names no endpoint"}, {Err, "speakers-1"}, {Err, "mic-4"}, kSame}},
    {"write_to_a_capture_endpoint", Test, "set vex_bypass 1 --endpoint mic-4", 2,
     {{Err, "capture endpoint"}, {Err, "--force"}, kSame}},
    {"forced", Test, "set vex_bypass 1 --endpoint hdmi-3 --force", 0,
     {{Out, "set vex_bypass (1002) = 1"}}},
    {"endpoints", Test, "endpoints", 0,
     {{Out, "* speakers-1\n    index: 0\n"}, {Out, "Kopfh\xc3\xb6rer"}, {Out, "3 (headphones)"},
      {NotOut, "mic-4"}, {NotOut, "hdmi-3"}, kSame}},
    {"info", Test, "info --json", 0,
     {{JsonAt, "/endpoint=\"speakers-1\""}, {JsonAt, "/form_factor=1"}, kSame}},
    // Presets.
    {"dry_run", Dsp, "load $P --route dsp --endpoint headphones-2 --dry-run", 2,
     {{Preset, kTwoModules}, {Out, "would write drova_system_gain"},
      {Out, "refused drova_sliding_bass_enable: module version"}, kSame}},
    {"checked_before_writing", Dsp, "load $P --route dsp --endpoint head", 2,
     {{Preset, kTwoModules}, {Err, "nothing was written"},
      {Err, "drova_sliding_bass_enable (2129): module version"}, kSame}},
    {"name_and_id", Test, "load $P", 2,
     {{Preset, R"({"parameters": {"vex_system_gain": 1, "1101": 2}})"}, {Err, "given twice"},
      kSame}},
    {"unknown_in_preset", Test, "load $P", 2,
     {{Preset, R"({"parameters": {"vex_system_gain": 1, "1004": 2}})"},
      {Err, "unknown parameter \"1004\""}, kSame}},
    {"preset_not_JSON", Test, "load $P", 2,
     {{Preset, "{\"parameters\""}, {Err, "not JSON"}, kSame}},
    {"dump_onto_the_machine", Test, "dump --output $M", 2,
     {{Err, "would overwrite the machine file"}, kSame}},
    // Machines, state, files.
    {"machine_missing", None, "--machine $M info", 1, {{Err, "cannot read the machine file "}}},
    {"machine_unknown_by_name", None, "--machine nosuchmachine info", 2,
     {{Err, "vexctl machines lists them"}}},
    {"shipped_machine", None, "--machine single-speaker endpoints", 0,
     {{Out, "machine: the shipped machine single-speaker"}}},
    {"machines", None, "machines", 0,
     {{Out, "default\n"}, {Out, "dsp-modules\n"}, {NotOut, "broken-fault"}}},
    {"reset_no_save", None, "reset --no-save", 2, {{Err, "--no-save"}}},
    {"reset_a_machine_file", Test, "reset", 2, {kSame}},
    {"store_refuses", Faulty, "set vex_calibration_boost 1", 1,
     {{Err, "vex_calibration_boost (1102)"}, {Code, "0x80070005"}, kSame}},
    {"endpoint_list_fails", NoItems, "endpoints", 1,
     {{Err, "get render endpoint 0"}, {Code, "0x80004005"}, kSame}},
    {"trace", Test, "--trace verbose get 1001", 0, {{Out, "1001 = "}, {Err, "trace"}, kSame}},
    {"help", None, "help load", 0,
     {{Out, "Usage: vexctl load"}, {Out, "--dry-run"}, {Out, "--machine"}}},
    {"version", None, "--version", 0,
     {{Out, "vexctl "}, {Out, "\nlibrary: "}, {Out, "Orv3VexControl."},
      {Out, "\nlibrary file version: "}}},
    {"params", None, "params IEQ-bands", 0,
     {{Out, "1114  vex_ieq_bands  [apo, dsp]  {\"n\""}, {NotOut, "1101"}}},
    {"no_command", None, "", 2, {{Err, "no command"}}},
    {"unknown_option", None, "get 1101 --colour", 2, {{Err, "unknown option"}}},
    {"output_of_another_command", None, "show --output x", 2, {{Err, "show takes no --output"}}},
    {"too_few_for_set", None, "set vex_bypass", 2, {{Err, "missing argument"}}},
    {"bad_route", None, "get 1101 --route kernel", 2, {{Err, "--route"}}},
};
// clang-format on

class VexctlCommand : public VexctlTest, public ::testing::WithParamInterface<Case> {};

TEST_P(VexctlCommand, Runs) {
    const Case& c = GetParam();
    // The test machine with the faults of its kind.
    const std::string faults =
        c.machine == Faulty ? kRefusingStore
        : c.machine == NoItems
            ? R"("faults": [{"method": "IMMDeviceCollection::Item", "result": "E_FAIL"}])"
            : "";
    const auto machine = c.machine == None  ? Directory() / "machine.json"
                         : c.machine == Dsp ? WriteFile("machine.json", DspMachineJson())
                                            : WriteTestMachine(faults);
    std::string preset;
    for (const Check& check : c.checks) {
        preset = check.kind == Preset ? PathText(WriteFile("preset.json", check.text)) : preset;
    }
    std::vector<std::string> arguments;
    if (c.machine != None) {
        arguments = {"--machine", PathText(machine)};
    }
    std::istringstream words(c.arguments);
    for (std::string word; words >> word;) {
        std::replace(word.begin(), word.end(), '~', ' ');
        arguments.push_back(word == "$M" ? PathText(machine) : word == "$P" ? preset : word);
    }
    const std::string before = ReadText(machine);
    const ProgramResult run = Run(arguments);
    ASSERT_TRUE(ExitedWith(c.exitCode, run));
    for (const auto& [kind, text] : c.checks) {
        if (kind == Out || kind == NotOut) {
            EXPECT_EQ(kind == Out, Contains(run.out, text)) << text << "\n" << run.out;
        } else if (kind == Err) {
            EXPECT_TRUE(Contains(run.err, text)) << text << "\n" << run.err;
        } else if (kind == Same) {
            EXPECT_EQ(before, ReadText(machine)) << "the machine file was written";
        } else if (kind == Code) {
            const auto code = static_cast<HRESULT>(std::stoul(text, nullptr, 16));
            ASSERT_FALSE(SystemText(code).empty());
            EXPECT_TRUE(Contains(run.err, text + " " + SystemText(code))) << run.err;
        } else if (kind == JsonAt) {
            const size_t equals = text.find('=');
            EXPECT_EQ(nlohmann::json::parse(text.substr(equals + 1)),
                      OutputJson(run).value(nlohmann::json::json_pointer(text.substr(0, equals)),
                                            nlohmann::json()))
                << text << "\n"
                << run.out;
        }
    }
    // A machine file that cannot be used names itself once and leaves no lock file behind.
    if (c.arguments.starts_with("--machine $M")) {
        const std::string named = PathText(machine);
        EXPECT_EQ(run.err.find(named), run.err.rfind(named)) << run.err;
        EXPECT_FALSE(std::filesystem::exists(PathOf(named + ".lock")));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, VexctlCommand, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vextest
