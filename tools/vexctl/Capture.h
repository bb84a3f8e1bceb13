// Capturing the audio system that vexctl runs on into a machine file that the simulator loads:
// the endpoints with their property stores and effect configuration, the wrapper registry key,
// the device topology and the filters' answers to the kernel-streaming requests that the library
// sends, all read through the public Windows APIs. What an API does not offer is left out, and
// said once in the notes.
#pragma once

#include "CommandLine.h"
#include "ValueLayout.h"

#include <string>
#include <vector>

namespace vexctl {

struct CaptureResult {
    Json machine;                    // in the machine-file format
    std::vector<std::string> notes;  // what was left out, once each
};

// Reads the audio system reached through CoCreateInstance on this thread (which has initialised
// COM). With `anonymize` friendly names and device ids are replaced consistently by neutral
// ones. Throws Failure when there is no device enumerator.
CaptureResult CaptureMachine(bool anonymize);

// vexctl capture --output FILE [--anonymize]: writes the file and gives what the command
// prints.
std::string CaptureCommand(const Options& options);

}  // namespace vexctl
