#include "DspCommands.h"

#include "Failure.h"
#include "Text.h"

#include <algorithm>

namespace vexctl {

namespace {

// The ids of one range's module identity. The main range has no version-text id.
struct ModuleIds {
    const char* key;          // member of the JSON document
    const char* description;  // for people
    const char* selectName;   // the word that select takes
    LONG select;
    LONG label;
    LONG guid;
    LONG name;
    LONG type;
    LONG versionText;  // 0: none
};

const ModuleIds kRanges[] = {
    {"main", "main processing", "main", 1003, 1001, 1006, 1007, 1008, 0},
    {"low_latency", "low-latency processing", "low-latency", 2003, 2001, 2004, 2005, 2006, 2007},
};

// The size of the buffer that selection takes; its content is not read.
constexpr size_t kSelectionSize = 8;

std::string ModuleTypeName(uint32_t type) {
    switch (type) {
        case 0:
            return "SFX";
        case 1:
            return "MFX";
        case 2:
            return "EFX";
        default:
            return "unknown";
    }
}

ParameterInfo Identity(LONG id) {
    return *FindParameter(std::to_string(id));
}

// True when the endpoint has the DSP module of the range that the label id belongs to: the
// library refuses a DSP-route request of a range without module with E_INVALIDARG.
bool HasModule(const ControlSession& session, LONG labelId) {
    std::vector<BYTE> bytes;
    return session.TryGet(Identity(labelId), VEX_ROUTE_DSP, &bytes) != E_INVALIDARG;
}

// One range's module: null when the endpoint has none. Adds its lines to `text`.
Json ModuleOf(const ControlSession& session, const ModuleIds& ids, std::string& text) {
    text += std::string("DSP module for ") + ids.description;
    if (!HasModule(session, ids.label)) {
        text += ": none\n";
        return nullptr;
    }
    text += ":\n";
    Json module = Json::object();
    Json errors = Json::object();
    const auto field = [&](const char* caption, const char* member, LONG id) {
        const bool isType = std::string(member) == "type";
        std::vector<BYTE> bytes;
        const HRESULT hr = session.TryGet(Identity(id), VEX_ROUTE_DSP, &bytes);
        text += std::string("  ") + caption + " (" + std::to_string(id) + "): ";
        if (FAILED(hr)) {
            module[member] = nullptr;
            if (isType) {
                module["type_name"] = nullptr;
            }
            errors[member] = HexCode(hr);
            text += "unknown: " + DescribeCode(hr) + "\n";
            return;
        }
        module[member] = DecodeValue(Identity(id), bytes);
        if (isType) {
            const auto type = module[member].get<uint32_t>();
            module["type_name"] = ModuleTypeName(type);
            text += std::to_string(type) + " (" + ModuleTypeName(type) + ")\n";
        } else {
            text += module[member].get<std::string>() + "\n";
        }
    };
    field("name", "name", ids.name);
    field("type", "type", ids.type);
    field("version label", "version_label", ids.label);
    if (ids.versionText != 0) {
        field("version text", "version_text", ids.versionText);
    }
    field("GUID", "guid", ids.guid);
    if (!errors.empty()) {
        module["errors"] = std::move(errors);
    }
    return module;
}

}  // namespace

CommandOutput SelectDspModule(const Options& options, const Json& endpoint) {
    const std::string& which = options.arguments[0];
    const auto range = std::find_if(std::begin(kRanges), std::end(kRanges), [&](const auto& r) {
        return which == r.selectName || which == std::to_string(r.select);
    });
    if (range == std::end(kRanges)) {
        throw UsageFailure("select takes main, low-latency, 1003 or 2003; not \"" + which + "\"");
    }
    const std::string what =
        std::string("the ") + range->selectName + " module (" + std::to_string(range->select) + ")";
    ControlSession session(options.endpoint);
    try {
        session.Set(Identity(range->select), std::vector<BYTE>(kSelectionSize, 0), options.routes);
    } catch (const Failure& failure) {
        throw Failure("select " + what, failure.Code().value_or(E_FAIL));
    }
    session.Close();
    CommandOutput output;
    output.json = Json::object();
    output.json["endpoint"] = endpoint;
    output.json["selected"] = range->key;
    output.json["id"] = range->select;
    output.text = "selected " + what + "\n";
    return output;
}

CommandOutput DspModules(const ControlSession& session) {
    CommandOutput output;
    output.json = Json::object();
    for (const ModuleIds& ids : kRanges) {
        output.json[ids.key] = ModuleOf(session, ids, output.text);
    }
    return output;
}

std::vector<ParameterInfo> DumpParameters(const ControlSession& session, ULONG routes,
                                          std::vector<std::string>* notes) {
    std::vector<ParameterInfo> parameters = ParametersOnRoutes(routes);
    if ((routes & VEX_ROUTE_DSP) == 0) {
        return parameters;
    }
    bool present[3] = {true, true, true};
    const auto slot = [](LONG id) { return static_cast<size_t>(RangeOf(id)); };
    for (const ModuleIds& ids : kRanges) {
        present[slot(ids.label)] = HasModule(session, ids.label);
        if (!present[slot(ids.label)]) {
            notes->push_back(std::string("the endpoint has no DSP module for ") + ids.description +
                             "; its parameters are left out");
        }
    }
    std::erase_if(parameters,
                  [&](const ParameterInfo& parameter) { return !present[slot(parameter.id)]; });
    return parameters;
}

bool HeldOnRoutes(const ParameterInfo& parameter, ULONG routes, const std::vector<BYTE>& bytes) {
    return (routes & VEX_ROUTE_DSP) == 0 || !IsStructured(*parameter.layout) || bytes.size() != 4;
}

}  // namespace vexctl
