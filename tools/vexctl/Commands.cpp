#include "Commands.h"

#include "Capture.h"
#include "ControlSession.h"
#include "DspCommands.h"
#include "EndpointList.h"
#include "FileAccess.h"
#include "JsonText.h"
#include "Failure.h"
#include "MachineChoice.h"
#include "NameSuggestion.h"
#include "ParameterListing.h"
#include "ParameterTable.h"
#include "Preset.h"
#include "SimulatedMachine.h"
#include "Text.h"
#include "ValueLayout.h"

#include "Orv3VexControl.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace vexctl {

namespace {

// Standard output waits until the machine is saved: nothing is reported as done before it is,
// and a run prints one document.
std::string g_pendingOut;

void PrintOut(const std::string& text) {
    g_pendingOut += text;
}

void FlushOut() {
    std::fwrite(g_pendingOut.data(), 1, g_pendingOut.size(), stdout);
    std::fflush(stdout);
    g_pendingOut.clear();
}

void PrintError(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

void PrintJson(const Json& document) {
    PrintOut(PrettyJson(document));
}

// What a command needs besides its options.
struct Context {
    const Options& options;
    SimulatedMachine* machine;  // null on the system's own audio
    // The endpoint that the command works on, for the output: the one asked for, or the
    // default render endpoint as the enumerator names it.
    Json EndpointForOutput() const {
        if (options.endpoint) {
            return *options.endpoint;
        }
        const std::optional<std::string> id = DefaultRenderEndpointId();
        return id ? Json(*id) : Json(nullptr);
    }
};

ParameterInfo ParameterNamed(const std::string& nameOrId) {
    if (std::optional<ParameterInfo> parameter = FindParameter(nameOrId)) {
        return *parameter;
    }
    std::string message = "unknown parameter \"" + nameOrId + "\"";
    if (const std::optional<std::string> meant = ClosestName(nameOrId, ListedNames())) {
        throw UsageFailure(message + "; did you mean " + *meant + "?");
    }
    const std::vector<std::string> similar = NamesContaining(nameOrId);
    if (!similar.empty() && similar.size() <= 8) {
        message += "; parameters with that in their name:";
        for (const std::string& name : similar) {
            message += " " + name;
        }
    }
    throw UsageFailure(message);
}

// Refuses before the library is asked what the table already says it refuses: a write of an id
// that the library only gives, a read of one that it only takes.
void CheckAccess(const ParameterInfo& parameter, ULONG routes, bool get) {
    if (const std::optional<std::string> refusal = AccessRefusal(parameter, routes, get)) {
        throw UsageFailure(std::string(get ? "get " : "set ") + DisplayName(parameter) + ": " +
                           *refusal);
    }
}

std::string ValueText(const Json& value) {
    return value.is_string() ? value.get<std::string>() : value.dump();
}

// The outcome of a write on each route. With both routes the store is written first and then
// the module, as the library does, but in two calls, so that each route's outcome is known; a
// module that is not reached because the store refused is not tried.
struct RouteOutcome {
    ULONG route;
    HRESULT hr;
};

// The routes that one write goes to, one by one (both routes: the store, then the module).
std::vector<ULONG> SingleRoutes(ULONG routes) {
    if (routes == (VEX_ROUTE_APO | VEX_ROUTE_DSP)) {
        return {VEX_ROUTE_APO, VEX_ROUTE_DSP};
    }
    return {routes};
}

std::vector<RouteOutcome> WriteOnRoutes(const ControlSession& session,
                                        const ParameterInfo& parameter,
                                        const std::vector<BYTE>& bytes, ULONG routes) {
    std::vector<RouteOutcome> outcomes;
    for (const ULONG route : SingleRoutes(routes)) {
        outcomes.push_back({route, session.TrySet(parameter, bytes, route)});
        if (FAILED(outcomes.back().hr)) {
            break;
        }
    }
    return outcomes;
}

bool AllWritten(const std::vector<RouteOutcome>& outcomes) {
    return std::all_of(outcomes.begin(), outcomes.end(),
                       [](const RouteOutcome& o) { return SUCCEEDED(o.hr); });
}

const char* RouteName(ULONG route) {
    return route == VEX_ROUTE_APO ? "apo" : route == VEX_ROUTE_DSP ? "dsp" : "both";
}

Json RouteResult(HRESULT hr) {
    if (SUCCEEDED(hr)) {
        return Json{{"written", true}};
    }
    return Json{{"written", false}, {"code", HexCode(hr)}, {"text", SystemText(hr)}};
}

// The failure of a write that a route refused. With both routes it says what the store did and
// what the module did, and --json gives each route's result under "routes".
Failure WriteFailure(const ControlSession& session, const ParameterInfo& parameter,
                     const std::vector<RouteOutcome>& outcomes, ULONG routes) {
    const RouteOutcome& failed = outcomes.back();
    Failure failure = session.AccessFailure("set", parameter, failed.route, failed.hr);
    if (routes != (VEX_ROUTE_APO | VEX_ROUTE_DSP)) {
        return failure;
    }
    const std::string prefix = "set " + DisplayName(parameter);
    const std::string reason = std::string(failure.what()).substr(prefix.size());
    const bool storeWritten = outcomes.size() == 2;
    Json results = Json::object();
    results["apo"] = RouteResult(outcomes[0].hr);
    results["dsp"] = storeWritten ? RouteResult(outcomes[1].hr) : Json{{"written", false}};
    Failure both(prefix +
                     (storeWritten ? ": written to the endpoint's store; the DSP module refused"
                                   : ": the endpoint's store refused; the DSP module was not "
                                     "tried") +
                     reason,
                 failed.hr);
    both.WithDetails({{"routes", results}});
    return both;
}

void Endpoints(const Context& context) {
    const std::vector<RenderEndpoint> endpoints = ActiveRenderEndpoints();
    Json list = Json::array();
    std::string text;
    for (size_t index = 0; index < endpoints.size(); ++index) {
        const RenderEndpoint& endpoint = endpoints[index];
        Json entry = Json::object();
        entry["index"] = index;
        entry["id"] = endpoint.id;
        entry["name"] = endpoint.name;
        entry["default"] = endpoint.isDefault;
        std::string formFactorText;
        try {
            ControlSession session(endpoint.id);
            const ParameterInfo formFactor = *FindParameter("1004");
            const uint32_t value = DecodeValue(formFactor, session.Get(formFactor, VEX_ROUTE_APO));
            entry["form_factor"] = value;
            entry["form_factor_name"] = FormFactorName(value);
            formFactorText = std::to_string(value) + " (" + FormFactorName(value) + ")";
        } catch (const Failure& failure) {
            const HRESULT code = failure.Code().value_or(E_FAIL);
            entry["form_factor"] = nullptr;
            entry["form_factor_error"] = HexCode(code);
            formFactorText = "unknown: " + DescribeCode(code);
        }
        list.push_back(std::move(entry));
        text += (endpoint.isDefault ? "* " : "  ") + endpoint.id + "\n";
        text += "    index: " + std::to_string(index) + "\n";
        text += "    name: " + (endpoint.name.empty() ? "(none)" : endpoint.name) + "\n";
        text += "    form factor: " + formFactorText + "\n";
    }
    if (context.options.json) {
        Json document = Json::object();
        document["machine"] = MachineDescription(context.options);
        document["endpoints"] = std::move(list);
        PrintJson(document);
        return;
    }
    if (endpoints.empty()) {
        text = "No active render endpoints on " + MachineDescription(context.options) + ".\n";
    } else {
        text = "machine: " + MachineDescription(context.options) + "\n" + text;
        text += "(* the default render endpoint)\n";
    }
    PrintOut(text);
}

// The value of a get or a set: the JSON document, or "<prefix>name (id) = value".
void PrintValue(const Context& context, const ParameterInfo& parameter, const Json& value,
                const std::string& prefix) {
    if (context.options.json) {
        Json document = Json::object();
        document["endpoint"] = context.EndpointForOutput();
        document["id"] = parameter.id;
        document["name"] = !parameter.name.empty() ? Json(parameter.name) : Json(nullptr);
        document["value"] = value;
        PrintJson(document);
        return;
    }
    PrintOut(prefix + DisplayName(parameter) + " = " + ValueText(value) + "\n");
}

void Get(const Context& context) {
    std::vector<ParameterInfo> parameters;
    for (const std::string& name : context.options.arguments) {
        parameters.push_back(ParameterNamed(name));
        CheckAccess(parameters.back(), context.options.routes, true);
    }
    ControlSession session(context.options.endpoint);
    if (parameters.size() == 1) {
        PrintValue(context, parameters[0],
                   DecodeValue(parameters[0], session.Get(parameters[0], context.options.routes)),
                   "");
        return;
    }
    // Several: every one is read; the first failure is the run's, after the others are shown.
    Json values = Json::array();
    std::optional<Failure> failed;
    for (const ParameterInfo& parameter : parameters) {
        Json entry = {{"id", parameter.id},
                      {"name", parameter.name.empty() ? Json(nullptr) : Json(parameter.name)}};
        std::vector<BYTE> bytes;
        const HRESULT hr = session.TryGet(parameter, context.options.routes, &bytes);
        if (FAILED(hr)) {
            const Failure failure =
                session.AccessFailure("get", parameter, context.options.routes, hr);
            entry["error"] = {
                {"message", failure.what()}, {"code", HexCode(hr)}, {"text", SystemText(hr)}};
            if (!context.options.json) {
                PrintError("vexctl: " + std::string(failure.what()) + ": " + DescribeCode(hr) +
                           "\n");
            }
            failed = failed ? failed : failure;
        } else {
            entry["value"] = DecodeValue(parameter, bytes);
            if (!context.options.json) {
                PrintOut(DisplayName(parameter) + " = " + ValueText(entry["value"]) + "\n");
            }
        }
        values.push_back(std::move(entry));
    }
    if (context.options.json && !failed) {
        PrintJson(Json{{"endpoint", context.EndpointForOutput()}, {"values", values}});
    }
    if (failed) {
        throw Failure(
            std::to_string(std::count_if(values.begin(), values.end(),
                                         [](const Json& v) { return v.contains("error"); })) +
            " of " + std::to_string(values.size()) + " parameters could not be read")
            .WithDetails({{"values", values}});
    }
}

void Set(const Context& context) {
    const ParameterInfo parameter = ParameterNamed(context.options.arguments[0]);
    CheckAccess(parameter, context.options.routes, false);
    const std::vector<std::string> words(context.options.arguments.begin() + 1,
                                         context.options.arguments.end());
    const std::vector<BYTE> bytes = EncodeArguments(parameter, words);
    ControlSession session(context.options.endpoint);
    const std::vector<RouteOutcome> outcomes =
        WriteOnRoutes(session, parameter, bytes, context.options.routes);
    if (!AllWritten(outcomes)) {
        throw WriteFailure(session, parameter, outcomes, context.options.routes);
    }
    session.Close();
    PrintValue(context, parameter, DecodeValue(parameter, bytes, Reading::AsWritten), "set ");
}

// The endpoint's id for the simulator: the one asked for or the default render endpoint.
std::string EndpointId(const Context& context) {
    const Json endpoint = context.EndpointForOutput();
    if (!endpoint.is_string()) {
        throw Failure("there is no default render endpoint");
    }
    return endpoint.get<std::string>();
}

void Unset(const Context& context) {
    const ParameterInfo parameter = ParameterNamed(context.options.arguments[0]);
    const ListedParameter* listed = ListedParameterWithId(parameter.id);
    if (listed == nullptr || listed->propertyKey.empty()) {
        throw UsageFailure("unset " + DisplayName(parameter) +
                           ": the endpoint effect does not keep it (unset works on the store "
                           "route)");
    }
    if (context.machine == nullptr) {
        throw UsageFailure("unset works on a simulated machine only (--machine)");
    }
    try {
        context.machine->RemoveStoreValue(EndpointId(context), listed->propertyKey);
    } catch (const Failure& failure) {
        throw Failure("unset " + DisplayName(parameter) + ": " + failure.what());
    }
    if (context.options.json) {
        PrintJson(Json{{"endpoint", context.EndpointForOutput()},
                       {"id", parameter.id},
                       {"name", parameter.name},
                       {"unset", true}});
        return;
    }
    PrintOut("unset " + DisplayName(parameter) + "\n");
}

void Info(const Context& context) {
    ControlSession session(context.options.endpoint);
    const ParameterInfo mainVersion = *FindParameter("1001");
    const ParameterInfo lowLatencyVersion = *FindParameter("2001");
    const ParameterInfo formFactor = *FindParameter("1004");
    const std::string main = DecodeValue(mainVersion, session.Get(mainVersion, VEX_ROUTE_APO));
    const std::string lowLatency =
        DecodeValue(lowLatencyVersion, session.Get(lowLatencyVersion, VEX_ROUTE_APO));
    const uint32_t form = DecodeValue(formFactor, session.Get(formFactor, VEX_ROUTE_APO));
    const CommandOutput modules = DspModules(session);
    session.Close();
    const Json endpoint = context.EndpointForOutput();
    if (context.options.json) {
        Json document = Json::object();
        document["machine"] = MachineDescription(context.options);
        document["endpoint"] = endpoint;
        document["main_version"] = main;
        document["low_latency_version"] = lowLatency;
        document["form_factor"] = form;
        document["form_factor_name"] = FormFactorName(form);
        document["dsp_modules"] = modules.json;
        PrintJson(document);
        return;
    }
    const auto version = [](const std::string& text) {
        return text.empty() ? std::string("none recognised") : text;
    };
    PrintOut("machine: " + MachineDescription(context.options) + "\n" +
             "endpoint: " + (endpoint.is_string() ? endpoint.get<std::string>() : "default") +
             "\n" + "main effect version (1001): " + version(main) + "\n" +
             "low-latency effect version (2001): " + version(lowLatency) + "\n" +
             "form factor (1004): " + std::to_string(form) + " (" + FormFactorName(form) + ")\n" +
             modules.text);
}

// The parameters that are set on the endpoint on the routes, with their values, in the order
// of their ids; a parameter that cannot be read is reported and counted in `unreadable`.
std::vector<PresetValue> ReadSetValues(const ControlSession& session, ULONG routes,
                                       size_t* unreadable, bool forPreset) {
    std::vector<std::string> notes;
    const std::vector<ParameterInfo> parameters = DumpParameters(session, routes, &notes);
    for (const std::string& note : notes) {
        PrintError("vexctl: " + note + "\n");
    }
    std::vector<PresetValue> values;
    for (const ParameterInfo& parameter : parameters) {
        std::vector<BYTE> bytes;
        const HRESULT hr = session.TryGet(parameter, routes, &bytes);
        if (hr == E_FAIL || (SUCCEEDED(hr) && !HeldOnRoutes(parameter, routes, bytes))) {
            continue;  // not set on the endpoint or the module
        }
        if (FAILED(hr)) {
            ++*unreadable;
            PrintError("vexctl: get " + DisplayName(parameter) + ": " + DescribeCode(hr) + "\n");
            continue;
        }
        Json value = DecodeValue(parameter, bytes);
        try {
            EncodeValue(parameter, value);
        } catch (const UsageFailure& failure) {
            if (forPreset) {
                PrintError("vexctl: warning: " + DisplayName(parameter) +
                           " as read back cannot be loaded again: " + failure.what() + "\n");
            }
        }
        values.push_back({parameter, std::move(value)});
    }
    return values;
}

void Dump(const Context& context) {
    if (context.options.output && context.machine != nullptr) {
        std::error_code error;
        if (std::filesystem::equivalent(PathFromUtf8(*context.options.output),
                                        context.machine->File(), error)) {
            throw UsageFailure("dump --output " + *context.options.output +
                               " would overwrite the machine file that the command runs on");
        }
    }
    ControlSession session(context.options.endpoint);
    size_t unreadable = 0;
    const std::vector<PresetValue> values =
        ReadSetValues(session, context.options.routes, &unreadable, true);
    session.Close();
    const Json endpoint = context.EndpointForOutput();
    const Json preset =
        MakePreset(endpoint.is_string() ? std::optional<std::string>(endpoint.get<std::string>())
                                        : std::nullopt,
                   values);
    if (context.options.output) {
        WriteFileReplacing(PathFromUtf8(*context.options.output), PrettyJson(preset));
        if (context.options.json) {
            Json document = Json::object();
            document["output"] = *context.options.output;
            document["parameters"] = values.size();
            PrintJson(document);
        } else {
            PrintOut("wrote " + std::to_string(values.size()) + " parameters to " +
                     *context.options.output + "\n");
        }
    } else {
        PrintJson(preset);
    }
    if (unreadable > 0) {
        throw Failure("dump: " + std::to_string(unreadable) +
                      " set parameters could not be read and are missing from the preset");
    }
}

// A CSV field: quoted when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return quoted + "\"";
}

void Show(const Context& context) {
    ControlSession session(context.options.endpoint);
    size_t unreadable = 0;
    const std::vector<PresetValue> values =
        ReadSetValues(session, context.options.routes, &unreadable, false);
    session.Close();
    if (context.options.json) {
        Json list = Json::array();
        for (const PresetValue& entry : values) {
            list.push_back({{"id", entry.parameter.id},
                            {"name", entry.parameter.name},
                            {"value", entry.value}});
        }
        PrintJson(Json{{"endpoint", context.EndpointForOutput()}, {"parameters", list}});
    } else {
        std::string text = context.options.csv ? "id,name,value\n" : "";
        for (const PresetValue& entry : values) {
            text += context.options.csv
                        ? std::to_string(entry.parameter.id) + "," + entry.parameter.name + "," +
                              CsvField(ValueText(entry.value)) + "\n"
                        : DisplayName(entry.parameter) + " = " + ValueText(entry.value) + "\n";
        }
        if (values.empty() && !context.options.csv) {
            text = "no parameter is set on this endpoint\n";
        }
        PrintOut(text);
    }
    if (unreadable > 0) {
        throw Failure(std::to_string(unreadable) + " set parameters could not be read");
    }
}

// What an endpoint held on one route before a load wrote it.
struct Previous {
    ULONG route;
    HRESULT hr;  // E_FAIL on the store route: not set
    std::vector<BYTE> bytes;
};

void Load(const Context& context) {
    const std::string& file = context.options.arguments[0];
    const ULONG routes = context.options.routes;
    const std::string text = ReadFileOrFail(PathFromUtf8(file), "preset");
    const std::vector<PresetWrite> writes = ReadPreset(text, file);
    ControlSession session(context.options.endpoint);
    // Every parameter is checked against the endpoint's routes and modules before any is
    // written.
    Json refused = Json::array();
    std::string refusals;
    for (const PresetWrite& write : writes) {
        std::optional<std::string> reason = AccessRefusal(write.parameter, routes, false);
        if (!reason) {
            reason = WriteRefusal(session, write.parameter, routes);
        }
        if (reason) {
            refused.push_back({{"name", write.parameter.name}, {"reason", *reason}});
            refusals += "\n  " + DisplayName(write.parameter) + ": " + *reason;
        }
    }
    if (context.options.dryRun) {
        Json wouldWrite = Json::array();
        std::string report;
        for (const PresetWrite& write : writes) {
            const bool refusedOne = std::any_of(refused.begin(), refused.end(), [&](const Json& r) {
                return r.at("name") == write.parameter.name;
            });
            if (!refusedOne) {
                wouldWrite.push_back(write.parameter.name);
                report += "would write " + DisplayName(write.parameter) + "\n";
            }
        }
        for (const Json& r : refused) {
            report += "refused " + r.at("name").get<std::string>() + ": " +
                      r.at("reason").get<std::string>() + "\n";
        }
        if (context.options.json) {
            PrintJson(Json{{"input", file},
                           {"dry_run", true},
                           {"would_write", wouldWrite},
                           {"refused", refused}});
        } else {
            PrintOut(report + "nothing was written (--dry-run)\n");
        }
        if (!refused.empty()) {
            throw UsageFailure("preset " + file + ": " + std::to_string(refused.size()) + " of " +
                               std::to_string(writes.size()) + " parameters would be refused")
                .WithDetails({{"reported", true}});
        }
        return;
    }
    if (!refused.empty()) {
        throw UsageFailure("preset " + file +
                           " refused, nothing was written: the endpoint would "
                           "not take " +
                           std::to_string(refused.size()) + " of " + std::to_string(writes.size()) +
                           " parameters:" + refusals)
            .WithDetails({{"refused", refused}});
    }
    // What the endpoint holds now, to put back should a write fail part-way.
    std::vector<std::vector<Previous>> previous;
    for (const PresetWrite& write : writes) {
        std::vector<Previous> held;
        for (const ULONG route : SingleRoutes(routes)) {
            Previous before{route, S_OK, {}};
            before.hr = session.TryGet(write.parameter, route, &before.bytes);
            held.push_back(std::move(before));
        }
        previous.push_back(std::move(held));
    }
    for (size_t i = 0; i < writes.size(); ++i) {
        const std::vector<RouteOutcome> outcomes =
            WriteOnRoutes(session, writes[i].parameter, writes[i].bytes, routes);
        if (AllWritten(outcomes)) {
            continue;
        }
        const Failure failure = WriteFailure(session, writes[i].parameter, outcomes, routes);
        // Put back what this load wrote, the last first.
        std::vector<std::string> notRestored;
        std::vector<std::pair<std::string, std::string>> toUnset;  // display name, key
        for (size_t j = i + 1; j-- > 0;) {
            for (size_t r = 0; r < previous[j].size(); ++r) {
                const Previous& before = previous[j][r];
                if (j == i && (r >= outcomes.size() || FAILED(outcomes[r].hr))) {
                    continue;  // not written
                }
                const std::string where =
                    DisplayName(writes[j].parameter) + " (" + RouteName(before.route) + ")";
                if (SUCCEEDED(before.hr)) {
                    const HRESULT hr =
                        session.TrySet(writes[j].parameter, before.bytes, before.route);
                    if (FAILED(hr)) {
                        notRestored.push_back(where + ": " + DescribeCode(hr));
                    }
                } else if (before.hr == E_FAIL && before.route == VEX_ROUTE_APO &&
                           context.machine != nullptr) {
                    toUnset.push_back(
                        {where, ListedParameterWithId(writes[j].parameter.id)->propertyKey});
                } else {
                    notRestored.push_back(where + ": its earlier value could not be read (" +
                                          DescribeCode(before.hr) + ")");
                }
            }
        }
        session.Close();
        for (const auto& [where, key] : toUnset) {
            try {
                context.machine->RemoveStoreValue(EndpointId(context), key);
            } catch (const Failure& unsetFailure) {
                notRestored.push_back(where + ": " + unsetFailure.what());
            }
        }
        std::string what = "load " + file + ": " + std::to_string(i) + " of " +
                           std::to_string(writes.size()) +
                           " parameters were written; then failed: " + failure.what();
        if (notRestored.empty()) {
            what += "; what was written is put back (the endpoint holds what it held before)";
        } else {
            what += "; not put back (the endpoint holds the preset's value there):";
            for (const std::string& where : notRestored) {
                what += "\n  " + where;
            }
            what += "\neverything else is as it was before";
        }
        Json details = failure.Details();
        details["written_before"] = i;
        details["not_restored"] = notRestored;
        throw Failure(what, failure.Code().value_or(E_FAIL)).WithDetails(details);
    }
    session.Close();
    if (context.options.json) {
        Json document = Json::object();
        document["input"] = file;
        document["parameters"] = writes.size();
        PrintJson(document);
        return;
    }
    PrintOut("wrote " + std::to_string(writes.size()) + " parameters from " + file + "\n");
}

void Select(const Context& context) {
    const CommandOutput output = SelectDspModule(context.options, context.EndpointForOutput());
    context.options.json ? PrintJson(output.json) : PrintOut(output.text);
}

// The commands that run on an audio system, simulated or not.
struct AudioCommand {
    Command command;
    void (*run)(const Context&);
};

constexpr AudioCommand kAudioCommands[] = {
    {Command::Endpoints, Endpoints},
    {Command::Get, Get},
    {Command::Set, Set},
    {Command::Unset, Unset},
    {Command::Show, Show},
    {Command::Info, Info},
    {Command::Dump, Dump},
    {Command::Load, Load},
    {Command::Select, Select},
    {Command::Capture, [](const Context& context) { PrintOut(CaptureCommand(context.options)); }},
};

void RunOnAudioSystem(const Context& context) {
    for (const AudioCommand& entry : kAudioCommands) {
        if (entry.command == context.options.command) {
            entry.run(context);
        }
    }
}

void Reset(const Options& options) {
    if (options.machine && *options.machine != kDefaultMachineName) {
        throw UsageFailure(
            "reset restores the default machine only; a machine file "
            "given with --machine is left to its owner");
    }
    const std::filesystem::path file = DefaultMachineStateFile();
    ResetDefaultMachineState();
    if (options.json) {
        Json document = Json::object();
        document["state_file"] = PathToUtf8(file);
        document["note"] = ResetNote();
        PrintJson(document);
        return;
    }
    PrintOut("restored the default simulated machine in " + PathToUtf8(file) + "\n" + ResetNote() +
             "\n");
}

void Machines(const Options& options) {
    const std::vector<ShippedMachine> machines = ShippedMachines();
    if (options.json) {
        Json list = Json::array();
        for (const ShippedMachine& machine : machines) {
            list.push_back({{"name", machine.name}, {"description", machine.description}});
        }
        PrintJson(Json{{"machines", list}});
        return;
    }
    std::string text;
    for (const ShippedMachine& machine : machines) {
        text += machine.name + "\n    " + machine.description + "\n";
    }
    PrintOut(text.empty() ? "No shipped machines found.\n" : text);
}

void Params(const Options& options) {
    const std::string text = options.arguments.empty() ? std::string() : options.arguments[0];
    const std::vector<ListedParameter> matching = MatchingParameters(text);
    if (matching.empty()) {
        std::string message = "no parameter has \"" + text + "\" in its name";
        if (const std::optional<std::string> meant = ClosestName(text, ListedNames())) {
            message += "; did you mean " + *meant + "?";
        }
        throw Failure(message);
    }
    if (options.json) {
        PrintJson(ParametersJson(matching));
        return;
    }
    PrintOut(ParametersText(matching));
}

class ComApartment {
public:
    ComApartment() : m_hr(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {
        if (FAILED(m_hr)) {
            throw Failure("initialise COM", m_hr);
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() { CoUninitialize(); }

private:
    HRESULT m_hr;
};

void PrintTraceRecords(const Options& options) {
    for (const TraceRecord& record : CapturedTraceRecords()) {
        if (options.json) {
            Json line = Json::object();
            line["trace"] = {{"level", record.level}, {"text", record.text}};
            PrintError(line.dump() + "\n");
        } else {
            PrintError("trace " + std::to_string(record.level) + ": " + record.text + "\n");
        }
    }
}

bool Writes(Command command) {
    return command == Command::Set || command == Command::Unset || command == Command::Load ||
           command == Command::Select;
}

bool RunsOffTheAudioSystem(Command command) {
    return command == Command::Reset || command == Command::Params || command == Command::Machines;
}

void ReportFailure(const Options& options, const Failure& failure) {
    const bool onSystemAudio =
        !RunsOffTheAudioSystem(options.command) && !UsesSimulatedMachine(options);
    // A dry run's report is its document; the failure only sets the exit status.
    const bool reported = failure.Details().contains("reported");
    if (options.json) {
        if (reported) {
            return;
        }
        Json error = Json::object();
        error["message"] = failure.what();
        if (onSystemAudio) {
            error["machine"] = MachineDescription(options);
        }
        if (failure.Code()) {
            error["code"] = HexCode(*failure.Code());
            error["text"] = SystemText(*failure.Code());
        }
        for (const auto& [member, value] : failure.Details().items()) {
            error[member] = value;
        }
        Json document = Json::object();
        document["error"] = std::move(error);
        PrintJson(document);
        return;
    }
    if (failure.Code()) {
        PrintError("vexctl: " + std::string(failure.what()) + ": " + DescribeCode(*failure.Code()) +
                   "\n");
    } else {
        PrintError("vexctl: " + std::string(failure.what()) + "\n");
    }
    if (onSystemAudio) {
        PrintError("vexctl: (this ran on " + MachineDescription(options) +
                   "; --machine default runs on the default simulated machine)\n");
    }
}

// The options with --endpoint as the endpoint's full id; a write to an endpoint that is not an
// active render endpoint is refused without --force.
Options ResolveEndpoint(const Options& options) {
    Options resolved = options;
    if (!options.endpoint) {
        return resolved;
    }
    const std::optional<EndpointChoice> chosen = ChooseEndpoint(*options.endpoint);
    resolved.endpoint = chosen ? std::optional<std::string>(chosen->id) : std::nullopt;
    if (chosen && (!chosen->render || !chosen->active) && Writes(options.command) &&
        !options.force) {
        throw UsageFailure(
            "endpoint " + chosen->id + " (" + chosen->name + ") is " +
            (chosen->render ? "a render endpoint that is not active" : "a capture endpoint") +
            ", not an active render endpoint; --force writes to it anyway");
    }
    return resolved;
}

}  // namespace

int RunCommand(const Options& options) {
    std::optional<Failure> failed;
    bool saveFailed = false;
    try {
        if (options.command == Command::Reset) {
            Reset(options);
        } else if (options.command == Command::Params) {
            Params(options);
        } else if (options.command == Command::Machines) {
            Machines(options);
        } else {
            ComApartment com;
            std::unique_ptr<SimulatedMachine> machine;
            if (UsesSimulatedMachine(options)) {
                const MachineSource source = MachineSourceOf(options);
                machine = std::make_unique<SimulatedMachine>(source.file, !options.noSave,
                                                             source.initial);
            }
            if (options.traceLevel) {
                if (const std::optional<std::string> reason =
                        StartTraceCapture(*options.traceLevel)) {
                    PrintError("vexctl: --trace: " + *reason + "\n");
                }
            }
            try {
                const Options resolved = ResolveEndpoint(options);
                RunOnAudioSystem(Context{resolved, machine.get()});
            } catch (const Failure& failure) {
                failed = failure;
            }
            if (options.traceLevel) {
                PrintTraceRecords(options);
            }
            if (machine) {
                saveFailed = true;
                machine->Save();
                saveFailed = false;
            }
        }
    } catch (const Failure& failure) {
        if (saveFailed) {
            // Nothing of this run was kept: what it printed would not be true.
            g_pendingOut.clear();
            std::string message = std::string(failure.what()) + "; nothing of this run was kept";
            if (failed) {
                message = std::string(failed->what()) + "; and " + message;
            }
            failed = failure.Code() ? Failure(message, *failure.Code()) : Failure(message);
        } else if (!failed) {
            failed = failure;
        }
    } catch (const std::exception& error) {
        failed = Failure(std::string("unexpected failure: ") + error.what());
    }
    if (failed) {
        // One document per run: with --json the error replaces what the command printed.
        if (options.json && !failed->Details().contains("reported")) {
            g_pendingOut.clear();
        }
        FlushOut();
        ReportFailure(options, *failed);
        FlushOut();
        return failed->Status();
    }
    FlushOut();
    return kExitSuccess;
}

}  // namespace vexctl
