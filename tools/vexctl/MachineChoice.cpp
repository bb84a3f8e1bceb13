#include "MachineChoice.h"

#include "Failure.h"
#include "SimulatedMachine.h"
#include "Text.h"

namespace vexctl {

bool UsesSimulatedMachine(const Options& options) {
#ifdef _WIN32
    return options.machine.has_value();
#else
    (void)options;
    return true;
#endif
}

std::string MachineDescription(const Options& options) {
    if (!UsesSimulatedMachine(options)) {
        return "the system's own audio";
    }
    if (options.machine && *options.machine != kDefaultMachineName) {
        return "the simulated machine in " + *options.machine;
    }
    try {
        return "the default simulated machine (" + PathToUtf8(DefaultMachineStateFile()) + ")";
    } catch (const Failure&) {
        return "the default simulated machine";
    }
}

std::string ResetNote() {
#ifdef _WIN32
    return "Commands run on it with --machine default; without --machine vexctl uses the "
           "system's own audio, which reset does not touch.";
#else
    return "Commands without --machine run on it.";
#endif
}

}  // namespace vexctl
