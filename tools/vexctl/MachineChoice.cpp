#include "MachineChoice.h"

#include "Failure.h"
#include "FileAccess.h"
#include "SimulatedMachine.h"
#include "Text.h"

namespace vexctl {

namespace {

// A word after --machine that is no file names a shipped machine.
bool IsShippedMachineName(const std::string& text) {
    std::error_code error;
    return text.find_first_of("/\\.") == std::string::npos &&
           !std::filesystem::exists(PathFromUtf8(text), error);
}

}  // namespace

bool UsesSimulatedMachine(const Options& options) {
#ifdef _WIN32
    return options.machine.has_value();
#else
    (void)options;
    return true;
#endif
}

MachineSource MachineSourceOf(const Options& options) {
    MachineSource source;
    if (!options.machine || *options.machine == kDefaultMachineName) {
        return source;
    }
    const std::string& text = *options.machine;
    if (IsShippedMachineName(text)) {
        for (const ShippedMachine& machine : ShippedMachines()) {
            if (machine.name == text) {
                source.file = ShippedMachineStateFile(text);
                source.initial = ReadFileOrFail(machine.file, "shipped machine");
                return source;
            }
        }
        throw UsageFailure("--machine " + text +
                           ": no such file, nor a shipped machine (vexctl machines lists them)");
    }
    source.file = PathFromUtf8(text);
    return source;
}

std::string MachineDescription(const Options& options) {
    if (!UsesSimulatedMachine(options)) {
        return "the system's own audio";
    }
    if (options.machine && *options.machine != kDefaultMachineName &&
        IsShippedMachineName(*options.machine)) {
        try {
            return "the shipped machine " + *options.machine + " (" +
                   PathToUtf8(ShippedMachineStateFile(*options.machine)) + ")";
        } catch (const Failure&) {
            return "the shipped machine " + *options.machine;
        }
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
