// Which machine a command runs on, in words for its output: a simulated machine (the default
// one or a machine file) or, on Windows without --machine, the system's own audio.
#pragma once

#include "CommandLine.h"

#include <string>

namespace vexctl {

// True when the command runs on a simulated machine rather than the system's own audio.
bool UsesSimulatedMachine(const Options& options);
// "the default simulated machine (PATH)", "the simulated machine in FILE" or "the system's own
// audio".
std::string MachineDescription(const Options& options);
// What reset's restoring means for the commands that follow it.
std::string ResetNote();

}  // namespace vexctl
