#include "DspCommands.h"

#include "Failure.h"
#include "ParameterListing.h"
#include "Text.h"

#include "parameters/ModuleParamNames.h"

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

// The table's note on an id that the library answers itself, without its "get only: ".
std::string NoteText(const ParameterRow& row) {
    const std::string note = row.note != nullptr ? row.note : "";
    const size_t colon = note.find(": ");
    return colon != std::string::npos ? note.substr(colon + 2) : note;
}

const ModuleIds& RangeIds(LONG id) {
    return RangeOf(id) == ProcessingRange::Main ? kRanges[0] : kRanges[1];
}

// True when the endpoint has the DSP module of the range that the label id belongs to: the
// library refuses a DSP-route request of a range without module with E_INVALIDARG.
bool HasModule(const ControlSession& session, LONG labelId) {
    std::vector<BYTE> bytes;
    return session.TryGet(Identity(labelId), VEX_ROUTE_DSP, &bytes) != E_INVALIDARG;
}

// Whether a module with the version label takes a write of the row: the system parameters and
// bypass always, the others when the label's name list holds them (each channel of a channel
// row is a parameter of its own; the first stands for them).
bool ModuleTakes(const std::string& label, const ParameterRow& row) {
    if (row.dsp == DspShape::Bypass) {
        return true;
    }
    const auto moduleParam = static_cast<ULONG>(row.moduleParam);
    if (moduleParam < CommonModuleParamNames().length) {
        return true;
    }
    const WString wide = ToUtf16(label);
    return ModuleParamName(ModuleParamNamesFor(wide.c_str()), moduleParam) != nullptr;
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

std::optional<std::string> ModuleLabel(const ControlSession& session, LONG id) {
    const ParameterInfo label = Identity(RangeIds(id).label);
    std::vector<BYTE> bytes;
    if (FAILED(session.TryGet(label, VEX_ROUTE_DSP, &bytes))) {
        return std::nullopt;
    }
    return DecodeValue(label, bytes).get<std::string>();
}

std::optional<std::string> WriteRefusal(const ControlSession& session,
                                        const ParameterInfo& parameter, ULONG routes) {
    const ParameterRow* row = FindParameterRow(parameter.id);
    if (row == nullptr) {
        return std::nullopt;  // the library decides about ids it does not know
    }
    if ((routes & VEX_ROUTE_APO) != 0 && !row->Stored() && (row->answered & VEX_ROUTE_APO) == 0) {
        return std::string("the endpoint effect does not keep it (the dsp route only)");
    }
    if ((routes & VEX_ROUTE_DSP) == 0 || (row->answered & VEX_ROUTE_DSP) != 0) {
        return std::nullopt;
    }
    if (!row->OnDsp()) {
        return std::string("the DSP route does not know it (the apo route only)");
    }
    const std::optional<std::string> label = ModuleLabel(session, parameter.id);
    if (!label) {
        return std::string("no DSP module for ") + RangeIds(parameter.id).description +
               " on this endpoint";
    }
    if (!ModuleTakes(*label, *row)) {
        return "module version \"" + *label + "\" does not take this parameter";
    }
    return std::nullopt;
}

std::optional<std::string> AccessRefusal(const ParameterInfo& parameter, ULONG routes, bool get) {
    const ParameterRow* row = FindParameterRow(parameter.id);
    if (row == nullptr || row->answered == 0) {
        return std::nullopt;
    }
    if (get && row->access == AnsweredAccess::Set) {
        return "it is set-only: it " + NoteText(*row) + " (vexctl select " +
               RangeIds(parameter.id).selectName + ")";
    }
    // Read-only on a route where the library gives it, and everywhere when no route keeps it.
    const bool nowhereKept = !row->Stored() && !row->OnDsp();
    if (!get && row->access == AnsweredAccess::Get &&
        ((row->answered & routes) != 0 || nowhereKept)) {
        if (row->OnDsp() && (row->answered & VEX_ROUTE_DSP) == 0) {
            return std::string("it is read-only on the apo route (--route dsp writes it)");
        }
        return "it is read-only: it gives " + NoteText(*row);
    }
    return std::nullopt;
}

std::optional<std::string> RefusalReason(const ControlSession& session,
                                         const ParameterInfo& parameter, ULONG routes, bool get,
                                         HRESULT hr) {
    if (const std::optional<std::string> access = AccessRefusal(parameter, routes, get)) {
        return access;
    }
    if (hr == E_INVALIDARG || hr == E_FAIL) {
        const ULONG checked = get ? (routes & VEX_ROUTE_DSP) : routes;
        if (const std::optional<std::string> refusal = WriteRefusal(session, parameter, checked)) {
            if (get && refusal->rfind("module version", 0) == 0) {
                return std::nullopt;  // a module reads what its version does not take
            }
            return refusal;
        }
    }
    return FailureExplanation(parameter.id, routes, get, hr);
}

CommandOutput SelectDspModule(const Options& options, const Json& endpoint) {
    const std::string& which = options.arguments[0];
    const auto range = std::find_if(std::begin(kRanges), std::end(kRanges), [&](const auto& r) {
        return SameName(which, r.selectName) || which == std::to_string(r.select);
    });
    if (range == std::end(kRanges)) {
        throw UsageFailure("select takes main, low-latency, 1003 or 2003; not \"" + which + "\"");
    }
    const std::string what = "the " + which + " module (" + std::to_string(range->select) + ")";
    ControlSession session(options.endpoint);
    const HRESULT hr = session.TrySet(Identity(range->select), std::vector<BYTE>(kSelectionSize, 0),
                                      options.routes);
    if (FAILED(hr)) {
        std::string message = "select " + what;
        if ((options.routes & VEX_ROUTE_DSP) != 0 && !HasModule(session, range->label)) {
            message +=
                ": no DSP module for " + std::string(range->description) + " on this endpoint";
        }
        throw Failure(message, hr);
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
    // A module reads parameters that its version does not take: a preset holds only what loads
    // back on the same endpoint.
    std::vector<std::string> refused;
    std::erase_if(parameters, [&](const ParameterInfo& parameter) {
        if (const std::optional<std::string> refusal = WriteRefusal(session, parameter, routes)) {
            refused.push_back(parameter.name);
            return true;
        }
        return false;
    });
    if (!refused.empty()) {
        std::string note = "left out, as the endpoint would not take them back:";
        for (const std::string& name : refused) {
            note += " " + name;
        }
        notes->push_back(note);
    }
    return parameters;
}

bool HeldOnRoutes(const ParameterInfo& parameter, ULONG routes, const std::vector<BYTE>& bytes) {
    return (routes & VEX_ROUTE_DSP) == 0 || !IsStructured(*parameter.layout) || bytes.size() != 4;
}

}  // namespace vexctl
