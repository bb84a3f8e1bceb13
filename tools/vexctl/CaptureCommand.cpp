// vexctl capture: the audio system it runs on, written as a machine file.
#include "Capture.h"

#include "Failure.h"
#include "JsonText.h"
#include "Text.h"

namespace vexctl {

std::string CaptureCommand(const Options& options) {
    if (!options.output) {
        throw UsageFailure("capture needs --output FILE");
    }
    const CaptureResult result = CaptureMachine(options.anonymize);
    WriteFileReplacing(PathFromUtf8(*options.output), PrettyJson(result.machine));
    const size_t endpoints = result.machine["endpoints"].size();
    const size_t filters =
        result.machine.contains("filters") ? result.machine["filters"].size() : 0;
    if (options.json) {
        Json document = Json::object();
        document["output"] = *options.output;
        document["endpoints"] = endpoints;
        document["filters"] = filters;
        document["notes"] = result.notes;
        return PrettyJson(document);
    }
    std::string text = "captured " + std::to_string(endpoints) + " endpoints and " +
                       std::to_string(filters) + " filters to " + *options.output + "\n";
    for (const std::string& note : result.notes) {
        text += "note: " + note + "\n";
    }
    return text;
}

}  // namespace vexctl
