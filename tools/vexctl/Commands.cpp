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

#include <cstdio>
#include <memory>

namespace vexctl {

namespace {

void PrintOut(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
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
    // A name that only the DSP catalogue gives.
    if (const ListedParameter* listed = ListedParameterNamed(nameOrId)) {
        if (std::optional<ParameterInfo> parameter = FindParameter(std::to_string(listed->id))) {
            return *parameter;
        }
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

std::string ValueText(const Json& value) {
    return value.is_string() ? value.get<std::string>() : value.dump();
}

void Endpoints(const Context& context) {
    const std::vector<RenderEndpoint> endpoints = ActiveRenderEndpoints();
    Json list = Json::array();
    std::string text;
    for (const RenderEndpoint& endpoint : endpoints) {
        Json entry = Json::object();
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
    const ParameterInfo parameter = ParameterNamed(context.options.arguments[0]);
    ControlSession session(context.options.endpoint);
    PrintValue(context, parameter,
               DecodeValue(parameter, session.Get(parameter, context.options.routes)), "");
}

void Set(const Context& context) {
    const ParameterInfo parameter = ParameterNamed(context.options.arguments[0]);
    const std::vector<std::string> words(context.options.arguments.begin() + 1,
                                         context.options.arguments.end());
    const std::vector<BYTE> bytes = EncodeArguments(parameter, words);
    ControlSession session(context.options.endpoint);
    session.Set(parameter, bytes, context.options.routes);
    session.Close();
    PrintValue(context, parameter, DecodeValue(parameter, bytes, Reading::AsWritten), "set ");
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

void Dump(const Context& context) {
    ControlSession session(context.options.endpoint);
    std::vector<PresetValue> values;
    size_t unreadable = 0;
    std::vector<std::string> notes;
    const std::vector<ParameterInfo> parameters =
        DumpParameters(session, context.options.routes, &notes);
    for (const std::string& note : notes) {
        PrintError("vexctl: dump: " + note + "\n");
    }
    for (const ParameterInfo& parameter : parameters) {
        std::vector<BYTE> bytes;
        const HRESULT hr = session.TryGet(parameter, context.options.routes, &bytes);
        if (hr == E_FAIL ||
            (SUCCEEDED(hr) && !HeldOnRoutes(parameter, context.options.routes, bytes))) {
            continue;  // not set on the endpoint or the module
        }
        if (FAILED(hr)) {
            ++unreadable;
            PrintError("vexctl: dump: get " + DisplayName(parameter) + ": " + DescribeCode(hr) +
                       "\n");
            continue;
        }
        Json value = DecodeValue(parameter, bytes);
        try {
            EncodeValue(parameter, value);
        } catch (const UsageFailure& failure) {
            PrintError("vexctl: dump: warning: " + DisplayName(parameter) +
                       " as read back cannot be loaded again: " + failure.what() + "\n");
        }
        values.push_back({parameter, std::move(value)});
    }
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

void Load(const Context& context) {
    const std::string& file = context.options.arguments[0];
    const std::string text = ReadFileOrFail(PathFromUtf8(file), "preset");
    const std::vector<PresetWrite> writes = ReadPreset(text, file);
    ControlSession session(context.options.endpoint);
    for (size_t i = 0; i < writes.size(); ++i) {
        try {
            session.Set(writes[i].parameter, writes[i].bytes, context.options.routes);
        } catch (const Failure& failure) {
            const std::string what = std::string(failure.what()) + ", after " + std::to_string(i) +
                                     " of " + std::to_string(writes.size()) + " parameters of " +
                                     file + " were written";
            if (failure.Code()) {
                throw Failure(what, *failure.Code());
            }
            throw Failure(what);
        }
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
    {Command::Info, Info},
    {Command::Dump, Dump},
    {Command::Load, Load},
    {Command::Select, Select},
    {Command::Capture, [](const Context& context) { CaptureCommand(context.options); }},
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

void ReportFailure(const Options& options, const Failure& failure) {
    const bool onSystemAudio = options.command != Command::Reset &&
                               options.command != Command::Params && !UsesSimulatedMachine(options);
    if (options.json) {
        Json error = Json::object();
        error["message"] = failure.what();
        if (onSystemAudio) {
            error["machine"] = MachineDescription(options);
        }
        if (failure.Code()) {
            error["code"] = HexCode(*failure.Code());
            error["text"] = SystemText(*failure.Code());
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

}  // namespace

int RunCommand(const Options& options) {
    std::optional<Failure> failed;
    try {
        if (options.command == Command::Reset) {
            Reset(options);
        } else if (options.command == Command::Params) {
            Params(options);
        } else {
            ComApartment com;
            std::unique_ptr<SimulatedMachine> machine;
            if (UsesSimulatedMachine(options)) {
                std::optional<std::filesystem::path> file;
                if (options.machine && *options.machine != kDefaultMachineName) {
                    file = PathFromUtf8(*options.machine);
                }
                machine = std::make_unique<SimulatedMachine>(file, !options.noSave);
            }
            if (options.traceLevel) {
                if (const std::optional<std::string> reason =
                        StartTraceCapture(*options.traceLevel)) {
                    PrintError("vexctl: --trace: " + *reason + "\n");
                }
            }
            try {
                RunOnAudioSystem(Context{options});
            } catch (const Failure& failure) {
                failed = failure;
            }
            if (options.traceLevel) {
                PrintTraceRecords(options);
            }
            if (machine) {
                machine->Save();
            }
        }
    } catch (const Failure& failure) {
        if (!failed) {
            failed = failure;
        } else {
            ReportFailure(options, failure);
        }
    } catch (const std::exception& error) {
        failed = Failure(std::string("unexpected failure: ") + error.what());
    }
    if (failed) {
        ReportFailure(options, *failed);
        return failed->Status();
    }
    return kExitSuccess;
}

}  // namespace vexctl
