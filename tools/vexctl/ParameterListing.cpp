#include "ParameterListing.h"

#include "Orv3VexControl.h"
#include "ParameterTable.h"
#include "Text.h"

#include <algorithm>

namespace vexctl {

namespace {

std::vector<ListedParameter> BuildList() {
    std::vector<ListedParameter> list;
    for (const ParameterRow& row : ParameterRows()) {
        ListedParameter entry;
        entry.id = row.id;
        entry.name = VexctlName(row);
        entry.apo = row.Stored() || (row.answered & VEX_ROUTE_APO) != 0;
        entry.dsp = row.OnDsp() || (row.answered & VEX_ROUTE_DSP) != 0;
        if (row.Stored()) {
            entry.propertyKey = KeyText(row.Key());
        }
        if (row.OnDsp()) {
            entry.moduleParameter = static_cast<ULONG>(row.moduleParam);
            entry.moduleName = ToUtf8(WString(row.moduleName));
        }
        entry.note = row.note != nullptr ? row.note : "";
        entry.valueForm = DescribeShape(*row.layout);
        entry.layout = DescribeLayout(*row.layout);
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

std::vector<ListedParameter> MatchingParameters(const std::string& text) {
    std::vector<ListedParameter> matching;
    const std::string wanted = NormalizedName(text);
    for (const ListedParameter& parameter : ListedParameters()) {
        if (text.empty() || NormalizedName(parameter.name).find(wanted) != std::string::npos ||
            NormalizedName(parameter.moduleName).find(wanted) != std::string::npos ||
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

}  // namespace vexctl
