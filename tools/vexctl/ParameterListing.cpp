#include "ParameterListing.h"

#include "DspParameterCatalogue.h"
#include "EndpointParameterCatalogue.h"
#include "Orv3VexControl.h"
#include "ParameterTable.h"
#include "Text.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace vexctl {

namespace {

// The ids that the library answers in its own code rather than from a catalogue.
struct AnsweredId {
    LONG id;
    bool apo;
    bool dsp;
    const char* note;
    const char* layout;  // the raw layout when vexctl's table has none for it
};

const AnsweredId kAnsweredIds[] = {
    {1001, true, true,
     "get only: the version of the installed main-processing effect (apo) or the module's "
     "version label (dsp)",
     nullptr},
    {1003, false, true, "set only: selects the DSP module for main processing",
     "8 bytes, not read"},
    {1004, true, false, "get only: the endpoint form factor, as the library reports it", nullptr},
    {1006, false, true, "get only: the main-processing module's GUID", "UTF-16 text ending in NUL"},
    {1007, false, true, "get only: the main-processing module's name", "UTF-16 text ending in NUL"},
    {1008, false, true, "get only: the main-processing module's type",
     "one 32-bit unsigned integer (4 bytes)"},
    {2001, true, true,
     "get only: the version of the installed low-latency effect (apo) or the module's version "
     "label (dsp)",
     nullptr},
    {2003, false, true, "set only: selects the DSP module for low-latency processing",
     "8 bytes, not read"},
    {2004, false, true, "get only: the low-latency module's GUID", "UTF-16 text ending in NUL"},
    {2005, false, true, "get only: the low-latency module's name", "UTF-16 text ending in NUL"},
    {2006, false, true, "get only: the low-latency module's type",
     "one 32-bit unsigned integer (4 bytes)"},
    {2007, false, true, "get only: the low-latency module's version text",
     "UTF-16 text ending in NUL"},
};

std::string GuidText(const GUID& guid) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                  guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                  guid.Data4[6], guid.Data4[7]);
    return text;
}

std::vector<ListedParameter> BuildList() {
    std::map<LONG, ListedParameter> byId;
    for (const LONG id : EndpointParameterIds()) {
        const EndpointParameterInfo info = LookupEndpointParameter(id);
        ListedParameter& entry = byId[id];
        entry.id = id;
        entry.name = ToUtf8(WString(info.name));
        entry.apo = true;
        entry.propertyKey = GuidText(info.key.fmtid) + "," + std::to_string(info.key.pid);
    }
    for (const auto& [id, dspEntry] : DspParameterCatalogue()) {
        ListedParameter& entry = byId[id];
        entry.id = id;
        entry.dsp = true;
        entry.moduleParameter = dspEntry.moduleParamId;
        entry.moduleName = ToUtf8(WString(dspEntry.name));
        if (entry.name.empty()) {
            entry.name = entry.moduleName;
        }
    }
    for (const AnsweredId& answered : kAnsweredIds) {
        ListedParameter& entry = byId[answered.id];
        entry.id = answered.id;
        entry.apo = entry.apo || answered.apo;
        entry.dsp = entry.dsp || answered.dsp;
        entry.name.clear();  // known by id only
        entry.note = answered.note;
        if (answered.layout != nullptr) {
            entry.layout = answered.layout;
        }
    }
    std::vector<ListedParameter> list;
    for (auto& [id, entry] : byId) {
        const std::optional<ParameterInfo> known = FindParameter(std::to_string(id));
        const ValueShape shape = known ? known->shape : ValueShape::Scalar;
        entry.valueForm = DescribeShape(shape);
        if (entry.layout.empty()) {
            entry.layout = DescribeLayout(shape);
        }
        list.push_back(std::move(entry));
    }
    return list;
}

// A table cell of Markdown: the bars inside escaped.
std::string Cell(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '|') {
            out += "\\|";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string Code(const std::string& text) {
    return text.empty() ? std::string() : "`" + text + "`";
}

}  // namespace

const std::vector<ListedParameter>& ListedParameters() {
    static const std::vector<ListedParameter> list = BuildList();
    return list;
}

const ListedParameter* ListedParameterWithId(LONG id) {
    const std::vector<ListedParameter>& list = ListedParameters();
    const auto it = std::lower_bound(
        list.begin(), list.end(), id,
        [](const ListedParameter& parameter, LONG wanted) { return parameter.id < wanted; });
    return it != list.end() && it->id == id ? &*it : nullptr;
}

const ListedParameter* ListedParameterNamed(const std::string& name) {
    if (name.empty()) {
        return nullptr;
    }
    for (const ListedParameter& parameter : ListedParameters()) {
        if (parameter.name == name) {
            return &parameter;
        }
    }
    return nullptr;
}

std::vector<ListedParameter> MatchingParameters(const std::string& text) {
    std::vector<ListedParameter> matching;
    for (const ListedParameter& parameter : ListedParameters()) {
        if (text.empty() || parameter.name.find(text) != std::string::npos ||
            parameter.moduleName.find(text) != std::string::npos ||
            std::to_string(parameter.id) == text) {
            matching.push_back(parameter);
        }
    }
    return matching;
}

std::vector<std::string> ListedNames() {
    std::vector<std::string> names;
    for (const ListedParameter& parameter : ListedParameters()) {
        if (!parameter.name.empty()) {
            names.push_back(parameter.name);
        }
    }
    return names;
}

std::string RouteText(const ListedParameter& parameter) {
    if (parameter.apo && parameter.dsp) {
        return "apo, dsp";
    }
    return parameter.apo ? "apo" : "dsp";
}

Json ParametersJson(const std::vector<ListedParameter>& parameters) {
    Json list = Json::array();
    for (const ListedParameter& parameter : parameters) {
        Json entry = Json::object();
        entry["id"] = parameter.id;
        entry["name"] = parameter.name.empty() ? Json(nullptr) : Json(parameter.name);
        Json routes = Json::array();
        if (parameter.apo) {
            routes.push_back("apo");
        }
        if (parameter.dsp) {
            routes.push_back("dsp");
        }
        entry["routes"] = std::move(routes);
        entry["property_key"] =
            parameter.propertyKey.empty() ? Json(nullptr) : Json(parameter.propertyKey);
        entry["module_parameter"] =
            parameter.moduleParameter ? Json(*parameter.moduleParameter) : Json(nullptr);
        entry["module_name"] =
            parameter.moduleName.empty() ? Json(nullptr) : Json(parameter.moduleName);
        entry["value"] = parameter.valueForm;
        entry["layout"] = parameter.layout;
        if (!parameter.note.empty()) {
            entry["note"] = parameter.note;
        }
        list.push_back(std::move(entry));
    }
    Json document = Json::object();
    document["parameters"] = std::move(list);
    return document;
}

std::string ParametersText(const std::vector<ListedParameter>& parameters) {
    std::string text;
    for (const ListedParameter& parameter : parameters) {
        std::string line = std::to_string(parameter.id) + "  ";
        line += parameter.name.empty() ? std::string("(no name)") : parameter.name;
        line += "  [" + RouteText(parameter) + "]  ";
        line += parameter.note.empty() ? parameter.valueForm : parameter.note;
        text += line + "\n";
    }
    return text;
}

std::string ParameterReference() {
    std::string text =
        "# Parameter reference\n"
        "\n"
        "Every parameter id that the library takes, generated from the library's own tables by\n"
        "`paramdoc` (`tools/paramdoc`); do not edit it by hand. After a change to the tables run\n"
        "`paramdoc docs/parameters.md`; the test `ParamdocCheck` fails while this file is not\n"
        "current. `vexctl params` lists the same.\n"
        "\n"
        "- Route(s): `apo` is bit 0 of the route flags (the endpoint effect, through the\n"
        "  endpoint's property store), `dsp` bit 1 (the DSP module in the driver).\n"
        "- Property key: where the endpoint effect keeps the value, as format GUID and property\n"
        "  id.\n"
        "- Module parameter: the module's parameter number on the DSP route, with the name that\n"
        "  the DSP catalogue gives the id.\n"
        "- Value layout: the caller's raw bytes of `SetVexParam` and `GetVexParam` on the apo\n"
        "  route, in 32-bit little-endian words unless bytes are named; `vexctl get` shows and\n"
        "  `vexctl set` takes the JSON form given in `docs/vexctl.md`.\n"
        "\n"
        "| Id | Name | Route(s) | Property key | Module parameter | Value layout |\n"
        "|---|---|---|---|---|---|\n";
    for (const ListedParameter& parameter : ListedParameters()) {
        std::string module;
        if (parameter.moduleParameter) {
            module = std::to_string(*parameter.moduleParameter);
            if (!parameter.moduleName.empty()) {
                module += " " + Code(parameter.moduleName);
            }
        }
        std::string layout = parameter.layout;
        if (!parameter.note.empty()) {
            layout = parameter.note + "; " + layout;
        }
        text += "| " + std::to_string(parameter.id) + " | " + Cell(Code(parameter.name)) + " | " +
                RouteText(parameter) + " | " + Cell(Code(parameter.propertyKey)) + " | " +
                Cell(module) + " | " + Cell(layout) + " |\n";
    }
    return text;
}

std::optional<std::string> FailureExplanation(LONG id, ULONG routes, bool get, HRESULT hr) {
    // Only the apo route alone says E_FAIL for these two reasons and no other.
    if (hr != E_FAIL || routes != VEX_ROUTE_APO) {
        return std::nullopt;
    }
    const ListedParameter* listed = ListedParameterWithId(id);
    if (listed != nullptr && !listed->propertyKey.empty()) {
        if (get) {
            return std::string("it is not set on this endpoint");
        }
        return std::nullopt;
    }
    if (listed != nullptr && listed->dsp && !listed->apo) {
        return std::string("the library takes it on the dsp route only (--route dsp)");
    }
    if (listed == nullptr) {
        return std::string("it is not a parameter the library knows (vexctl params lists them)");
    }
    return std::nullopt;
}

std::vector<std::string> TableDisagreements() {
    std::vector<std::string> lines;
    const std::vector<LONG> ids = EndpointParameterIds();
    for (const LONG id : ids) {
        const std::string name = ToUtf8(WString(LookupEndpointParameter(id).name));
        const std::optional<ParameterInfo> own = FindCatalogued(id);
        if (!own) {
            lines.push_back(std::to_string(id) + " (" + name + ") is missing from vexctl's table");
        } else if (name != own->name) {
            lines.push_back(std::to_string(id) + " is " + name +
                            " in the library's catalogue but " + own->name + " in vexctl's table");
        }
    }
    for (const ParameterInfo& own : CataloguedParameters()) {
        if (!LookupEndpointParameter(own.id).found) {
            lines.push_back(DisplayName(own) +
                            " is in vexctl's table but not in the library's "
                            "catalogue");
        }
    }
    return lines;
}

}  // namespace vexctl
