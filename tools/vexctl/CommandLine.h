// The command line of vexctl: a command, its arguments and the options, which may stand
// before or after the command.
#pragma once

#include "Platform.h"

#include <optional>
#include <string>
#include <vector>

namespace vexctl {

enum class Command {
    None,
    Help,
    Endpoints,
    Get,
    Set,
    Unset,
    Show,
    Info,
    Dump,
    Load,
    Reset,
    Params,
    Select,
    Machines,
    Capture
};

struct Options {
    Command command = Command::None;
    std::vector<std::string> arguments;  // the command's own arguments, in order
    bool help = false;                   // --help: show the command's help and do nothing else
    bool version = false;                // --version: show vexctl's version and do nothing else
    std::optional<std::string> endpoint;
    ULONG routes = 0x1;  // the endpoint effect
    // The machine: nullopt for the platform's choice (the default simulated machine; the real
    // audio system on Windows), "default" for the default machine, otherwise a machine file.
    std::optional<std::string> machine;
    bool noSave = false;
    std::optional<int> traceLevel;
    bool json = false;
    std::optional<std::string> output;
    bool force = false;      // --force: write to an endpoint that is not an active render endpoint
    bool dryRun = false;     // --dry-run: load says what it would write and writes nothing
    bool csv = false;        // --format csv: show prints comma-separated values
    bool anonymize = false;  // capture: neutral names and ids
};

// The word that names the default simulated machine after --machine.
inline constexpr const char* kDefaultMachineName = "default";

// Throws UsageFailure for anything it does not understand.
Options ParseCommandLine(const std::vector<std::string>& arguments);

// The help of a command, or the overview for Command::None and Command::Help.
std::string HelpText(Command command);
// "vexctl 1.0.0\n" and the library that vexctl runs on: its path and file version.
std::string VersionText();
// The command with that name.
std::optional<Command> CommandNamed(const std::string& name);

}  // namespace vexctl
