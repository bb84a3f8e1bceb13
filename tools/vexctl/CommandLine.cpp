#include "CommandLine.h"

#include "Failure.h"
#include "Text.h"

#include "Orv3VexControl.h"

#include <filesystem>
#include <map>
#include <vector>

#ifndef _WIN32
#include <dlfcn.h>
#endif

namespace vexctl {

namespace {

enum OptionBit : unsigned {
    kEndpoint = 1u << 0,
    kRoute = 1u << 1,
    kOutput = 1u << 2,
    kForce = 1u << 3,
    kDryRun = 1u << 4,
    kFormat = 1u << 5,
};

struct CommandSyntax {
    Command command;
    const char* name;
    unsigned options;
    size_t minArguments;
    size_t maxArguments;
};

const CommandSyntax kCommands[] = {
    {Command::Help, "help", 0, 0, 1},
    {Command::Endpoints, "endpoints", 0, 0, 0},
    {Command::Get, "get", kEndpoint | kRoute, 1, SIZE_MAX},
    {Command::Set, "set", kEndpoint | kRoute | kForce, 2, SIZE_MAX},
    {Command::Unset, "unset", kEndpoint | kForce, 1, 1},
    {Command::Show, "show", kEndpoint | kRoute | kFormat, 0, 0},
    {Command::Info, "info", kEndpoint, 0, 0},
    {Command::Dump, "dump", kEndpoint | kRoute | kOutput, 0, 0},
    {Command::Load, "load", kEndpoint | kRoute | kForce | kDryRun, 1, 1},
    {Command::Reset, "reset", 0, 0, 0},
    {Command::Params, "params", 0, 0, 1},
    {Command::Select, "select", kEndpoint | kRoute | kForce, 1, 1},
    {Command::Machines, "machines", 0, 0, 0},
    {Command::Capture, "capture", kOutput, 0, 0},
};

const CommandSyntax* FindCommand(const std::string& name) {
    for (const CommandSyntax& syntax : kCommands) {
        if (name == syntax.name) {
            return &syntax;
        }
    }
    return nullptr;
}

const CommandSyntax& SyntaxOf(Command command) {
    for (const CommandSyntax& syntax : kCommands) {
        if (syntax.command == command) {
            return syntax;
        }
    }
    return kCommands[0];
}

int ParseTraceLevel(const std::string& text) {
    static const std::map<std::string, int> kLevels = {
        {"1", 1},    {"2", 2},           {"3", 3},       {"4", 4},
        {"5", 5},    {"critical", 1},    {"error", 2},   {"warning", 3},
        {"info", 4}, {"information", 4}, {"verbose", 5},
    };
    const auto it = kLevels.find(text);
    if (it == kLevels.end()) {
        throw UsageFailure(
            "--trace takes a level from 1 to 5 or critical, error, warning, "
            "info, verbose; not \"" +
            text + "\"");
    }
    return it->second;
}

ULONG ParseRoute(const std::string& text) {
    if (text == "apo") {
        return VEX_ROUTE_APO;
    }
    if (text == "dsp") {
        return VEX_ROUTE_DSP;
    }
    if (text == "both") {
        return VEX_ROUTE_APO | VEX_ROUTE_DSP;
    }
    throw UsageFailure("--route takes apo, dsp or both; not \"" + text + "\"");
}

// A word that is a negative number is an argument (a value to set), not an option.
bool LooksLikeOption(const std::string& word) {
    if (word.size() < 2 || word[0] != '-') {
        return false;
    }
    return !(word[1] >= '0' && word[1] <= '9');
}

}  // namespace

std::optional<Command> CommandNamed(const std::string& name) {
    const CommandSyntax* syntax = FindCommand(name);
    return syntax != nullptr ? std::optional<Command>(syntax->command) : std::nullopt;
}

Options ParseCommandLine(const std::vector<std::string>& arguments) {
    Options options;
    unsigned given = 0;
    bool optionsEnded = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (optionsEnded || !LooksLikeOption(word)) {
            if (options.command == Command::None) {
                const CommandSyntax* syntax = FindCommand(word);
                if (syntax == nullptr) {
                    throw UsageFailure("unknown command \"" + word +
                                       "\" (vexctl --help lists the commands)");
                }
                options.command = syntax->command;
            } else {
                options.arguments.push_back(word);
            }
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = word;
        std::optional<std::string> inlineValue;
        if (const size_t equals = word.find('='); equals != std::string::npos) {
            name = word.substr(0, equals);
            inlineValue = word.substr(equals + 1);
        }
        const auto value = [&]() -> std::string {
            if (inlineValue) {
                return *inlineValue;
            }
            if (i + 1 >= arguments.size()) {
                throw UsageFailure(name + " needs a value");
            }
            return arguments[++i];
        };
        const auto flag = [&]() {
            if (inlineValue) {
                throw UsageFailure(name + " takes no value");
            }
        };
        if (name == "--help" || name == "-h") {
            flag();
            options.help = true;
        } else if (name == "--version") {
            flag();
            options.version = true;
        } else if (name == "--json") {
            flag();
            options.json = true;
        } else if (name == "--anonymize") {
            flag();
            options.anonymize = true;
        } else if (name == "--no-save") {
            flag();
            options.noSave = true;
        } else if (name == "--force") {
            flag();
            options.force = true;
            given |= kForce;
        } else if (name == "--dry-run") {
            flag();
            options.dryRun = true;
            given |= kDryRun;
        } else if (name == "--format") {
            const std::string format = value();
            if (format != "csv" && format != "text") {
                throw UsageFailure("--format takes csv or text; not \"" + format + "\"");
            }
            options.csv = format == "csv";
            given |= kFormat;
        } else if (name == "--endpoint") {
            options.endpoint = value();
            given |= kEndpoint;
        } else if (name == "--route") {
            options.routes = ParseRoute(value());
            given |= kRoute;
        } else if (name == "--output") {
            options.output = value();
            given |= kOutput;
        } else if (name == "--machine") {
            options.machine = value();
            if (options.machine->empty()) {
                throw UsageFailure("--machine needs a file or a machine's name");
            }
        } else if (name == "--trace") {
            options.traceLevel = ParseTraceLevel(value());
        } else {
            throw UsageFailure("unknown option " + name + " (vexctl --help lists the options)");
        }
    }
    if (options.help || options.version) {
        return options;
    }
    if (options.command == Command::None) {
        throw UsageFailure("no command given (vexctl --help lists the commands)");
    }
    const CommandSyntax& syntax = SyntaxOf(options.command);
    if (options.command == Command::Select && (given & kRoute) == 0) {
        options.routes = VEX_ROUTE_DSP;  // selection is a request of the DSP route
    }
    const unsigned refused = given & ~syntax.options;
    const std::string command = syntax.name;
    if ((refused & kEndpoint) != 0) {
        throw UsageFailure(command + " takes no --endpoint");
    }
    if ((refused & kRoute) != 0) {
        throw UsageFailure(command + " takes no --route");
    }
    if ((refused & kOutput) != 0) {
        throw UsageFailure(command + " takes no --output");
    }
    for (const auto& [bit, option] : {std::pair{kForce, "--force"}, std::pair{kDryRun, "--dry-run"},
                                      std::pair{kFormat, "--format"}}) {
        if ((refused & bit) != 0) {
            throw UsageFailure(command + " takes no " + option);
        }
    }
    if (options.command == Command::Reset && options.noSave) {
        throw UsageFailure(
            "reset writes the default machine's state file; with --no-save it "
            "would do nothing");
    }
    if (options.anonymize && options.command != Command::Capture) {
        throw UsageFailure(command + " takes no --anonymize");
    }
    if (options.arguments.size() < syntax.minArguments) {
        throw UsageFailure(command + ": missing argument (vexctl " + syntax.name +
                           " --help shows how to use it)");
    }
    if (options.arguments.size() > syntax.maxArguments) {
        throw UsageFailure(command + ": unexpected argument \"" +
                           options.arguments[syntax.maxArguments] + "\"");
    }
    if (options.command == Command::Help && !options.arguments.empty() &&
        FindCommand(options.arguments[0]) == nullptr) {
        throw UsageFailure("unknown command \"" + options.arguments[0] + "\"");
    }
    return options;
}

namespace {

const char kCommonOptions[] =
    "Options of every command:\n"
    "  --machine FILE   run on the simulated machine in FILE, which keeps what is written\n"
    "                   unless --no-save is given; --machine NAME runs on a shipped\n"
    "                   machine (vexctl machines lists them; default is the default\n"
    "                   simulated machine). Without --machine: the default simulated\n"
    "                   machine, or on Windows the system's own audio (the real audio\n"
    "                   system; under Wine, none).\n"
    "  --no-save        do not write the simulated machine back after the command\n"
    "  --trace LEVEL    print the library's trace records up to LEVEL (1 to 5, or\n"
    "                   critical, error, warning, info, verbose) to standard error\n"
    "  --json           machine-readable output (JSON) on standard output\n"
    "  --help, -h       show the help of the command\n";

const char kEndpointOption[] =
    "  --endpoint E     the endpoint: its id, a unique beginning of it, its friendly\n"
    "                   name, its index in vexctl endpoints, or default (the default\n"
    "                   render endpoint, also without --endpoint)\n";

const char kForceOption[] =
    "  --force          write to an endpoint that is not an active render endpoint\n";

const char kRouteOption[] =
    "  --route R        apo (the endpoint effect, the default), dsp (the DSP module in\n"
    "                   the driver) or both\n";

}  // namespace

std::string HelpText(Command command) {
    std::string text;
    switch (command) {
        case Command::None:
        case Command::Help:
            return std::string(
                       "Usage: vexctl [OPTIONS] COMMAND [ARGUMENTS]\n"
                       "\n"
                       "Reads and writes the parameters of the audio processing on a render\n"
                       "endpoint through the Orv3VexControl library.\n"
                       "\n"
                       "Commands:\n"
                       "  endpoints          list the active render endpoints\n"
                       "  get NAME|ID...     read parameters\n"
                       "  set NAME|ID VALUE  write a parameter\n"
                       "  unset NAME|ID      remove a parameter from a simulated store\n"
                       "  show               every parameter that is set, with its value\n"
                       "  info               effect versions, form factor and DSP modules\n"
                       "  dump               write every parameter that is set as a preset\n"
                       "  load FILE          write a preset back\n"
                       "  reset              restore the default simulated machine\n"
                       "  params [TEXT]      list the parameters (those whose name contains TEXT)\n"
                       "  select RANGE       select the DSP module of main or low-latency\n"
                       "  machines           list the shipped simulated machines\n"
                       "  capture            write the audio system as a machine file\n"
                       "  help [COMMAND]     show this help or a command's help\n"
                       "\n") +
                   kCommonOptions +
                   "  --version        show the version of vexctl and of its library\n"
                   "\n"
                   "Options of some commands:\n" +
                   kEndpointOption + kRouteOption + kForceOption +
                   "  --output FILE    dump: write the preset to FILE; capture: the machine file\n"
                   "  --dry-run        load: say what would be written and refused, write nothing\n"
                   "  --format csv     show: comma-separated values\n"
                   "  --anonymize      capture: replace friendly names and device ids\n"
                   "\n"
                   "Exit status: 0 success, 1 failure (the result code and its text are "
                   "printed),\n"
                   "2 a mistake on the command line.\n";
        case Command::Endpoints:
            text =
                "Usage: vexctl endpoints [OPTIONS]\n"
                "\n"
                "Lists the active render endpoints with their id, friendly name and form\n"
                "factor; the default render endpoint is marked with *.\n";
            break;
        case Command::Get:
            text =
                "Usage: vexctl get NAME|ID... [OPTIONS]\n"
                "\n"
                "Reads parameters by catalogue name (vex_system_gain; case and - or _ do not\n"
                "matter) or id (1101). A scalar\n"
                "value is printed as an integer, a structured value as JSON with one member\n"
                "per part of its layout, e.g. vex_ieq_bands as\n"
                "  {\"n\": 3, \"a\": [20 integers], \"b\": [20 integers]}\n"
                "Ids 1001 and 2001 give the effect versions, 1004 the form factor; with\n"
                "--route dsp 1001 and 2001 give the modules' version labels.\n"
                "\n" +
                std::string(kEndpointOption) + kRouteOption;
            break;
        case Command::Set:
            text =
                "Usage: vexctl set NAME|ID VALUE... [OPTIONS]\n"
                "\n"
                "Writes a parameter. A scalar takes one integer (decimal, or 0x and hex\n"
                "digits); a structured parameter takes its JSON form, as get shows it, e.g.\n"
                "  vexctl set vex_ieq_bands '{\"n\": 2, \"a\": [...20...], \"b\": [...20...]}'\n"
                "or the raw words of its layout as integers, or {\"words\": [...]}. A count\n"
                "member (\"n\", \"k\") may be left out; it is the length of its list.\n"
                "With --route both the store is written first, then the module; the outcome\n"
                "of each is reported.\n"
                "\n" +
                std::string(kEndpointOption) + kRouteOption + kForceOption;
            break;
        case Command::Unset:
            text =
                "Usage: vexctl unset NAME|ID [OPTIONS]\n"
                "\n"
                "Removes a parameter from the endpoint effect's store of a simulated machine\n"
                "(the library has no call for it); a get then finds it not set.\n"
                "\n" +
                std::string(kEndpointOption) + kForceOption;
            break;
        case Command::Show:
            text =
                "Usage: vexctl show [OPTIONS]\n"
                "\n"
                "Shows every parameter that is set on the endpoint, with its value, one a\n"
                "line (NAME (ID) = VALUE); --json as a list, --format csv as id,name,value.\n"
                "\n"
                "  --format csv     comma-separated values\n" +
                std::string(kEndpointOption) + kRouteOption;
            break;
        case Command::Machines:
            text =
                "Usage: vexctl machines [OPTIONS]\n"
                "\n"
                "Lists the shipped simulated machines that --machine NAME runs on, with their\n"
                "description.\n";
            break;
        case Command::Info:
            text =
                "Usage: vexctl info [OPTIONS]\n"
                "\n"
                "Shows the installed effect versions (1001 main processing, 2001 low-latency\n"
                "processing) and the form factor (1004) of the endpoint, and for each of the\n"
                "two ranges its DSP module, read on the DSP route: name (1007, 2005), type\n"
                "(1008, 2006), version label (1001, 2001), version text (2007) and GUID\n"
                "(1006, 2004), or none.\n"
                "\n" +
                std::string(kEndpointOption);
            break;
        case Command::Dump:
            text =
                "Usage: vexctl dump [--output FILE] [OPTIONS]\n"
                "\n"
                "Reads every catalogued parameter and writes those that are set on the\n"
                "endpoint as a JSON preset, to FILE or to standard output. A parameter that\n"
                "cannot be read is reported, and the dump then fails after writing the rest.\n"
                "On the DSP route only what the module's version takes back is written.\n"
                "\n"
                "  --output FILE    write the preset to FILE\n" +
                std::string(kEndpointOption) + kRouteOption;
            break;
        case Command::Load:
            text =
                "Usage: vexctl load FILE [OPTIONS]\n"
                "\n"
                "Writes the parameters of a preset (as dump writes it) in the order of the\n"
                "file. The whole preset is checked first: an unknown or repeated name, a\n"
                "malformed value, or a parameter that the endpoint's routes or module would\n"
                "not take refuses it before anything is written. When a write fails part-way,\n"
                "the values written before it are put back as they were.\n"
                "\n"
                "  --dry-run        say what would be written and what refused; write nothing\n" +
                std::string(kEndpointOption) + kRouteOption + kForceOption;
            break;
        case Command::Select:
            text =
                "Usage: vexctl select main|low-latency|1003|2003 [OPTIONS]\n"
                "\n"
                "Asks the library to select the DSP module that serves the main (1003) or the\n"
                "low-latency (2003) processing of the endpoint and to cancel its notification\n"
                "registration. The selection lasts for this run only; every DSP get and set\n"
                "selects its module itself.\n"
                "\n" +
                std::string(kEndpointOption) +
                "  --route R        dsp (the default) or both; apo is passed on, and the library\n"
                "                   refuses it\n" +
                kForceOption;
            break;
        case Command::Reset:
            text =
                "Usage: vexctl reset [OPTIONS]\n"
                "\n"
                "Restores the default simulated machine: its state file is replaced by the\n"
                "built-in default machine. A machine file given with --machine is not\n"
                "touched; reset refuses it. On Windows the default simulated machine is the\n"
                "one of --machine default; without --machine vexctl uses the system's own\n"
                "audio, which reset does not touch.\n";
            break;
        case Command::Capture:
            text =
                "Usage: vexctl capture --output FILE [--anonymize] [OPTIONS]\n"
                "\n"
                "Reads the audio system through the Windows audio APIs (endpoints, property\n"
                "stores, effect configuration, the wrapper registry key, device topology and\n"
                "the filters' module answers) and writes a machine file that --machine loads.\n"
                "What this system does not offer is left out and said once. --anonymize\n"
                "replaces friendly names and device ids consistently (docs/capture.md).\n";
            break;
        case Command::Params:
            text =
                "Usage: vexctl params [TEXT] [OPTIONS]\n"
                "\n"
                "Lists every parameter that the library takes, from its own tables: id, name,\n"
                "route(s) and the value form that get shows and set takes. With TEXT, only the\n"
                "parameters whose name contains TEXT or whose id is TEXT. --json adds the\n"
                "property key, the module parameter and the raw layout of each.\n";
            break;
    }
    return text + "\n" + kCommonOptions;
}

namespace {

// The file of the loaded library.
std::string LibraryPath() {
#ifdef _WIN32
    // The import's address is a stub in vexctl itself: the DLL is found by its name.
    const HMODULE module = GetModuleHandleW(L"Orv3VexControl.dll");
    if (module == nullptr) {
        return "unknown";
    }
    WCHAR path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    return length > 0 ? ToUtf8(path, length) : "unknown";
#else
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OpenVexControl), &info) == 0 || info.dli_fname == nullptr) {
        return "unknown";
    }
    std::error_code error;
    const std::filesystem::path path = std::filesystem::canonical(info.dli_fname, error);
    return error ? std::string(info.dli_fname) : PathToUtf8(path);
#endif
}

// The library's file version: on Windows from the DLL's version resource; a shared object
// carries none, so natively the version of the package that vexctl and the library were built
// as.
std::string LibraryFileVersion(const std::string& path) {
#ifdef _WIN32
    const WString wide = ToUtf16(path);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(wide.c_str(), &ignored);
    std::vector<BYTE> block(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (size == 0 || !GetFileVersionInfoW(wide.c_str(), 0, size, block.data()) ||
        !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) ||
        fixed == nullptr) {
        return "none (the file has no version resource)";
    }
    return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
           std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
           std::to_string(LOWORD(fixed->dwFileVersionLS));
#else
    (void)path;
    return std::string("none recorded in a shared object; built as package version ") +
           VEXCTL_VERSION;
#endif
}

}  // namespace

std::string VersionText() {
    const std::string path = LibraryPath();
    return std::string("vexctl ") + VEXCTL_VERSION + "\nlibrary: " + path +
           "\nlibrary file version: " + LibraryFileVersion(path) + "\n";
}

}  // namespace vexctl
