// Which machine a command runs on, in words for its output: a simulated machine (the default
// one or a machine file) or, on Windows without --machine, the system's own audio.
#pragma once

#include "CommandLine.h"

#include <filesystem>
#include <optional>
#include <string>

namespace vexctl {

// True when the command runs on a simulated machine rather than the system's own audio.
bool UsesSimulatedMachine(const Options& options);
// "the default simulated machine (PATH)", "the simulated machine in FILE" or "the system's own
// audio".
std::string MachineDescription(const Options& options);
// The machine that --machine names, for SimulatedMachine: a machine file, or a state file with
// the text it starts as (the default machine without --machine or with "default", a shipped
// machine by name: a word that is no file but the name of a shipped machine).
struct MachineSource {
    std::optional<std::filesystem::path> file;
    std::optional<std::string> initial;
};
MachineSource MachineSourceOf(const Options& options);

// What reset's restoring means for the commands that follow it.
std::string ResetNote();

}  // namespace vexctl
