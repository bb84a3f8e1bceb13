// What vexctl does on the DSP route beyond get and set: module selection, the modules that
// serve an endpoint's two ranges (for info), and which parameters a dump on that route reads.
#pragma once

#include "CommandLine.h"
#include "ControlSession.h"
#include "ValueLayout.h"

#include <optional>
#include <string>
#include <vector>

namespace vexctl {

// A command's result in both output forms.
struct CommandOutput {
    Json json;
    std::string text;
};

// vexctl select main|low-latency|1003|2003: asks the library to select the DSP module that
// serves the range (SetVexParam with id 1003 or 2003 and an 8-byte buffer). Throws
// UsageFailure for an unknown range, Failure with the library's code.
CommandOutput SelectDspModule(const Options& options, const Json& endpoint);

// The DSP modules of the endpoint's two ranges, read through the DSP route. JSON: for each
// range ("main", "low_latency") null when the endpoint has no module for it, else the module's
// name, type, version label, version text (low-latency range only: the library has no id for
// the main one's) and GUID; a field that cannot be read is null and its code is listed under
// "errors". Text: the same as lines for info.
CommandOutput DspModules(const ControlSession& session);

// The parameters that dump reads on the routes: those of ParametersOnRoutes, without the
// range whose module the endpoint lacks when the DSP route is asked for; a note for each range
// left out goes to `notes`.
std::vector<ParameterInfo> DumpParameters(const ControlSession& session, ULONG routes,
                                          std::vector<std::string>* notes);
// The version label of the DSP module that serves the range of `id` on the endpoint; nullopt
// when the endpoint has no module for that range.
std::optional<std::string> ModuleLabel(const ControlSession& session, LONG id);
// Why the endpoint would refuse a write of the parameter on the routes, as far as the table
// and the endpoint's modules tell before anything is written: the endpoint effect does not keep
// it, the DSP route does not know it, the endpoint has no module for its range, or the module's
// version does not take it. nullopt when nothing speaks against the write.
std::optional<std::string> WriteRefusal(const ControlSession& session,
                                        const ParameterInfo& parameter, ULONG routes);
// An id that the library answers itself only one way: "it is read-only ..." for a set of an id
// it only gives, "it is set-only ..." for a get of one it only takes. nullopt otherwise.
std::optional<std::string> AccessRefusal(const ParameterInfo& parameter, ULONG routes, bool get);
// What a failed get or set (`hr`) means for the parameter on this endpoint, when the code alone
// says little; nullopt when the code says what there is to say.
std::optional<std::string> RefusalReason(const ControlSession& session,
                                         const ParameterInfo& parameter, ULONG routes, bool get,
                                         HRESULT hr);

// False for a value that a dump leaves out as not set: on the DSP route a module answers a
// single word for a structured parameter that it was never given.
bool HeldOnRoutes(const ParameterInfo& parameter, ULONG routes, const std::vector<BYTE>& bytes);

}  // namespace vexctl
