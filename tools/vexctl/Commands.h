// The commands of vexctl, run after the command line was read.
#pragma once

#include "CommandLine.h"

namespace vexctl {

// Runs the command: initialises COM on this thread, picks the audio system (a simulated
// machine or the real one), runs the command, prints the trace records, saves the machine
// and reports the outcome. Gives the exit status.
int RunCommand(const Options& options);

}  // namespace vexctl
