#include "machine/Faults.h"

#include "PolicyConfig.h"
#include "SystemGuids.h"
#include "common/Text.h"
#include "machine/Machine.h"

#include <limits>
#include <tuple>

namespace vexsim {

namespace {

// ---- methods ---------------------------------------------------------------------------------

// The groups of filters a method's faults may use.
enum : unsigned {
    kEp = 1u << 0,
    kKey = 1u << 1,
    kAccess = 1u << 2,
    kClass = 1u << 3,
    kQi = 1u << 4,
    kFlow = 1u << 5,
    kRole = 1u << 6,
    kFxStore = 1u << 7,
    kPart = 1u << 8,
    kRequest = 1u << 9,  // the kernel-streaming request filters
};

struct MethodEntry {
    const char* name;
    unsigned filters;
};

const MethodEntry kMethods[] = {
    {"CoCreateInstance", kClass},
    {"IMMDeviceEnumerator::QueryInterface", kQi},
    {"IMMDeviceEnumerator::EnumAudioEndpoints", kFlow},
    {"IMMDeviceEnumerator::GetDefaultAudioEndpoint", kFlow | kRole},
    {"IMMDeviceEnumerator::GetDevice", kEp},
    {"IMMDeviceEnumerator::RegisterEndpointNotificationCallback", 0},
    {"IMMDeviceEnumerator::UnregisterEndpointNotificationCallback", 0},
    {"IMMDeviceCollection::QueryInterface", kQi},
    {"IMMDeviceCollection::GetCount", 0},
    {"IMMDeviceCollection::Item", kEp},
    {"IMMDevice::QueryInterface", kEp | kQi},
    {"IMMDevice::Activate", kEp | kQi},
    {"IMMDevice::OpenPropertyStore", kEp | kAccess},
    {"IMMDevice::GetId", kEp},
    {"IMMDevice::GetState", kEp},
    {"IMMEndpoint::GetDataFlow", kEp},
    {"IPropertyStore::QueryInterface", kEp | kQi},
    {"IPropertyStore::GetCount", kEp},
    {"IPropertyStore::GetAt", kEp},
    {"IPropertyStore::GetValue", kEp | kKey},
    {"IPropertyStore::SetValue", kEp | kKey},
    {"IPropertyStore::Commit", kEp},
    {"IPolicyConfigVistaClient::QueryInterface", kQi},
    {"IPolicyConfigVistaClient::GetPropertyValue", kEp | kKey | kFxStore},
    {"IPolicyConfigVistaClient::SetPropertyValue", kEp | kKey | kFxStore},
    {"IPolicyConfigVistaClient::SetDefaultEndpoint", kEp | kRole},
    {"IDeviceTopology::QueryInterface", kEp | kQi},
    {"IDeviceTopology::GetConnectorCount", kEp},
    {"IDeviceTopology::GetConnector", kEp | kPart},
    {"IDeviceTopology::GetSubunitCount", kEp},
    {"IDeviceTopology::GetSubunit", kEp | kPart},
    {"IDeviceTopology::GetPartById", kEp | kPart},
    {"IDeviceTopology::GetDeviceId", kEp},
    {"IDeviceTopology::GetSignalPath", kEp | kPart},
    {"IPart::QueryInterface", kEp | kPart | kQi},
    {"IPart::GetName", kEp | kPart},
    {"IPart::GetLocalId", kEp | kPart},
    {"IPart::GetGlobalId", kEp | kPart},
    {"IPart::GetPartType", kEp | kPart},
    {"IPart::GetSubType", kEp | kPart},
    {"IPart::GetControlInterfaceCount", kEp | kPart},
    {"IPart::GetControlInterface", kEp | kPart},
    {"IPart::EnumPartsIncoming", kEp | kPart},
    {"IPart::EnumPartsOutgoing", kEp | kPart},
    {"IPart::GetTopologyObject", kEp | kPart},
    {"IPart::Activate", kEp | kPart | kQi},
    {"IPart::RegisterControlChangeCallback", kEp | kPart},
    {"IPart::UnregisterControlChangeCallback", kEp | kPart},
    {"IConnector::GetType", kEp | kPart},
    {"IConnector::GetDataFlow", kEp | kPart},
    {"IConnector::ConnectTo", kEp | kPart},
    {"IConnector::Disconnect", kEp | kPart},
    {"IConnector::IsConnected", kEp | kPart},
    {"IConnector::GetConnectedTo", kEp | kPart},
    {"IConnector::GetConnectorIdConnectedTo", kEp | kPart},
    {"IConnector::GetDeviceIdConnectedTo", kEp | kPart},
    {"IPartsList::QueryInterface", kEp | kQi},
    {"IPartsList::GetCount", kEp},
    {"IPartsList::GetPart", kEp | kPart},
    {"IAudioInputSelector::QueryInterface", kEp | kPart | kQi},
    {"IAudioInputSelector::GetSelection", kEp | kPart},
    {"IAudioInputSelector::SetSelection", kEp | kPart},
    {"IAudioOutputSelector::QueryInterface", kEp | kPart | kQi},
    {"IAudioOutputSelector::GetSelection", kEp | kPart},
    {"IAudioOutputSelector::SetSelection", kEp | kPart},
    {"IKsControl::QueryInterface", kEp | kQi},
    {"IKsControl::KsProperty", kEp | kRequest},
    {"IKsControl::KsMethod", kEp},
    {"IKsControl::KsEvent", kEp},
};

// The filters a method's faults may use, or nullopt for a method the simulator lacks.
std::optional<unsigned> MethodFilters(const std::string& method) {
    if (method == kAnyMethod) {
        return 0u;
    }
    for (const MethodEntry& entry : kMethods) {
        if (method == entry.name) {
            return entry.filters;
        }
    }
    return std::nullopt;
}

std::string MethodNameList() {
    std::string list = kAnyMethod;
    for (const MethodEntry& entry : kMethods) {
        list += ", ";
        list += entry.name;
    }
    return list;
}

// ---- values the filters take -----------------------------------------------------------------

struct NamedGuid {
    const char* name;
    const GUID* guid;
};

const NamedGuid kClasses[] = {
    {"MMDeviceEnumerator", &Guids::kClsidMMDeviceEnumerator},
    {"PolicyConfig", &CLSID_PolicyConfigVistaClient},
};

const NamedGuid kInterfaces[] = {
    {"IUnknown", &IID_IUnknown},
    {"IClassFactory", &IID_IClassFactory},
    {"IMMDeviceEnumerator", &Guids::kIidIMMDeviceEnumerator},
    {"IMMDeviceCollection", &Guids::kIidIMMDeviceCollection},
    {"IMMDevice", &Guids::kIidIMMDevice},
    {"IMMEndpoint", &Guids::kIidIMMEndpoint},
    {"IPropertyStore", &Guids::kIidIPropertyStore},
    {"IPolicyConfigVistaClient", &IID_IPolicyConfigVistaClient},
    {"IDeviceTopology", &Guids::kIidIDeviceTopology},
    {"IKsControl", &Guids::kIidIKsControl},
    {"IPart", &Guids::kIidIPart},
    {"IConnector", &Guids::kIidIConnector},
    {"ISubunit", &Guids::kIidISubunit},
    {"IPartsList", &Guids::kIidIPartsList},
    {"IAudioInputSelector", &Guids::kIidIAudioInputSelector},
    {"IAudioOutputSelector", &Guids::kIidIAudioOutputSelector},
};

template <size_t N>
GUID ReadNamedGuid(const Json& json, const std::string& path, const NamedGuid (&table)[N],
                   const char* what) {
    const std::string text = GetString(json, path);
    std::string list;
    for (const NamedGuid& entry : table) {
        if (text == entry.name) {
            return *entry.guid;
        }
        list += list.empty() ? "" : ", ";
        list += entry.name;
    }
    if (const auto guid = ParseGuid(text)) {
        return *guid;
    }
    Fail(path,
         std::string("unknown ") + what + " " + json.dump() + " (a GUID or one of: " + list + ")");
}

template <size_t N>
Json NameOfGuid(const GUID& guid, const NamedGuid (&table)[N]) {
    for (const NamedGuid& entry : table) {
        if (IsEqualGUID(guid, *entry.guid)) {
            return entry.name;
        }
    }
    return FormatGuid(guid);
}

const char* const kRequestKinds[] = {
    "engineDescriptor", "moduleDescriptors", "interfaceVersion", "moduleList",
    "moduleEnable",     "moduleParam",       "unregister",       "instantiationState",
    "amdPresence",      "amdParam",          "unknown",
};
const char* const kForms[] = {"node", "filter", "pin", "audioModule", "vendorSet"};
const char* const kDirections[] = {"get", "set"};
const char* const kAccessNames[] = {"read", "write", "readwrite"};  // STGM_READ is 0

DWORD ReadAccess(const Json& json, const std::string& path, const Machine&) {
    if (json.is_number_integer()) {
        return GetU32(json, path);
    }
    const std::string text = GetString(json, path);
    for (DWORD access = 0; access < std::size(kAccessNames); ++access) {
        if (text == kAccessNames[access]) {
            return access;
        }
    }
    Fail(path, "unknown access " + json.dump() + " (expected read, write, readwrite or a number)");
}

Json WriteAccess(const DWORD& access) {
    return access < std::size(kAccessNames) ? Json(kAccessNames[access]) : Json(access);
}

WString ReadEndpoint(const Json& json, const std::string& path, const Machine& machine) {
    WString id = FromUtf8(GetString(json, path));
    for (const auto& device : machine.devices) {
        if (device->id == id) {
            return id;
        }
    }
    Fail(path, "no endpoint of the machine has the id " + json.dump() + " (nor has any filter)");
}

template <size_t N>
std::string ReadChoice(const Json& json, const std::string& path, const char* const (&choices)[N],
                       const char* what) {
    return choices[ReadName(json, path, what, choices, ", ")];
}

Json Plain(const auto& value) {
    return Json(value);
}

// A call offers what a fault filters on as a pointer or an optional value.
bool Offered(const WString& wanted, const WString* offered) {
    return offered != nullptr && wanted == *offered;
}
bool Offered(const PROPERTYKEY& wanted, const PROPERTYKEY* offered) {
    return offered != nullptr && SameKey(wanted, *offered);
}
bool Offered(const GUID& wanted, const GUID* offered) {
    return offered != nullptr && IsEqualGUID(wanted, *offered);
}
bool Offered(const std::string& wanted, const char* offered) {
    return offered != nullptr && wanted == offered;
}
template <typename T>
bool Offered(const T& wanted, const std::optional<T>& offered) {
    return offered && wanted == *offered;
}

// ---- the filters -----------------------------------------------------------------------------

// One filter: its member in a fault object, the group of methods that take it, what it filters
// on (for messages), the fault's and the call's members, and its reading and writing.
template <typename T, typename Offer>
struct Filter {
    const char* name;
    unsigned group;
    const char* what;
    std::optional<T> Fault::*wanted;
    Offer Call::*offered;
    T (*read)(const Json& json, const std::string& path, const Machine& machine);
    Json (*write)(const T& value);
};

template <typename T, typename Offer>
Filter(const char*, unsigned, const char*, std::optional<T> Fault::*, Offer Call::*,
       T (*)(const Json&, const std::string&, const Machine&), Json (*)(const T&))
    -> Filter<T, Offer>;

template <typename T>
using Reader = T (*)(const Json&, const std::string&, const Machine&);

template <typename T>
T ReadU32(const Json& json, const std::string& path, const Machine&) {
    return static_cast<T>(GetU32(json, path));
}
bool ReadBool(const Json& json, const std::string& path, const Machine&) {
    return GetBool(json, path);
}

// Every filter, in the order faults are read and written.
const auto kFilters = std::make_tuple(
    Filter{"endpoint", kEp, "endpoint", &Fault::endpoint, &Call::endpoint, ReadEndpoint,
           +[](const WString& id) { return Json(ToUtf8(id)); }},
    Filter{"key", kKey, "property key", &Fault::key, &Call::key,
           Reader<PROPERTYKEY>([](const Json& json, const std::string& path, const Machine&) {
               return GetKey(GetString(json, path), path);
           }),
           +[](const PROPERTYKEY& key) { return Json(FormatKey(key)); }},
    Filter{"access", kAccess, "access mode", &Fault::access, &Call::access, ReadAccess,
           WriteAccess},
    Filter{"class", kClass, "class", &Fault::clsid, &Call::clsid,
           Reader<GUID>([](const Json& json, const std::string& path, const Machine&) {
               return ReadNamedGuid(json, path, kClasses, "class");
           }),
           +[](const GUID& clsid) { return NameOfGuid(clsid, kClasses); }},
    Filter{"iid", kQi, "interface id", &Fault::iid, &Call::iid,
           Reader<GUID>([](const Json& json, const std::string& path, const Machine&) {
               return ReadNamedGuid(json, path, kInterfaces, "interface");
           }),
           +[](const GUID& iid) { return NameOfGuid(iid, kInterfaces); }},
    Filter{"flow", kFlow, "data flow", &Fault::flow, &Call::flow,
           Reader<int>([](const Json& json, const std::string& path, const Machine&) {
               return ReadFlow(json, path, true);
           }),
           +[](const int& flow) { return Json(kFlowNames[flow]); }},
    Filter{"role", kRole, "role", &Fault::role, &Call::role,
           Reader<int>([](const Json& json, const std::string& path, const Machine&) {
               return ReadRole(json, path);
           }),
           +[](const int& role) { return Json(kRoleNames[role]); }},
    Filter{"fxStore", kFxStore, "store flag", &Fault::fxStore, &Call::fxStore, ReadBool,
           Plain<bool>},
    Filter{"part", kPart, "part", &Fault::part, &Call::part, ReadU32<UINT>, Plain<UINT>},
    Filter{"request", kRequest, "kernel-streaming request", &Fault::request, &Call::request,
           Reader<std::string>([](const Json& json, const std::string& path, const Machine&) {
               return ReadChoice(json, path, kRequestKinds, "request");
           }),
           Plain<std::string>},
    Filter{"form", kRequest, "kernel-streaming request", &Fault::form, &Call::form,
           Reader<std::string>([](const Json& json, const std::string& path, const Machine&) {
               return ReadChoice(json, path, kForms, "request form");
           }),
           Plain<std::string>},
    Filter{"direction", kRequest, "kernel-streaming request", &Fault::direction, &Call::direction,
           Reader<std::string>([](const Json& json, const std::string& path, const Machine&) {
               return ReadChoice(json, path, kDirections, "direction");
           }),
           Plain<std::string>},
    Filter{"pin", kRequest, "kernel-streaming request", &Fault::pin, &Call::pin, ReadU32<ULONG>,
           Plain<ULONG>},
    Filter{"node", kRequest, "kernel-streaming request", &Fault::node, &Call::node, ReadU32<ULONG>,
           Plain<ULONG>},
    Filter{"module", kRequest, "kernel-streaming request", &Fault::module, &Call::module,
           Reader<GUID>([](const Json& json, const std::string& path, const Machine&) {
               return GetGuid(json, path);
           }),
           +[](const GUID& module) { return Json(FormatGuid(module)); }},
    Filter{"param", kRequest, "kernel-streaming request", &Fault::param, &Call::param,
           ReadU32<ULONG>, Plain<ULONG>},
    Filter{"sizeQuery", kRequest, "kernel-streaming request", &Fault::sizeQuery, &Call::sizeQuery,
           ReadBool, Plain<bool>});

template <typename Visit>
void ForEachFilter(Visit visit) {
    std::apply([&](const auto&... filter) { (visit(filter), ...); }, kFilters);
}

// Every member of a fault object, in the order a fault is written.
std::vector<const char*> FaultMembers() {
    std::vector<const char*> members = {"method"};
    ForEachFilter([&](const auto& filter) { members.push_back(filter.name); });
    members.insert(members.end(), {"answer", "call", "from", "result"});
    return members;
}

// ---- answers ---------------------------------------------------------------------------------

// Request kinds whose answer starts with a size or length, and those with a count after it.
bool AnswerHasLength(const std::optional<std::string>& kind) {
    return kind == "moduleDescriptors" || kind == "moduleList" || kind == "moduleParam" ||
           kind == "amdParam";
}
bool AnswerHasCount(const std::optional<std::string>& kind) {
    return kind == "moduleDescriptors" || kind == "moduleList";
}

AnswerOverride ReadAnswer(const Json& json, const std::string& path, const Fault& fault) {
    ExpectMembers(json, path, {"bytes", "returned", "length", "count"});
    AnswerOverride answer;
    if (json.contains("bytes")) {
        const std::string p = Member(path, "bytes");
        answer.bytes = FromHex(GetString(json["bytes"], p));
        if (!answer.bytes) {
            Fail(p, "expected hexadecimal digits, two per byte");
        }
    }
    ReadMember(json, path, "returned", &answer.returned, GetU32);
    if (json.contains("length") && !AnswerHasLength(fault.request)) {
        Fail(Member(path, "length"),
             "only the answers of \"request\" moduleDescriptors, moduleList, moduleParam and "
             "amdParam start with a length");
    }
    ReadMember(json, path, "length", &answer.length, GetU32);
    if (json.contains("count") && !AnswerHasCount(fault.request)) {
        Fail(Member(path, "count"),
             "only the answers of \"request\" moduleDescriptors and moduleList have a count");
    }
    ReadMember(json, path, "count", &answer.count, GetU32);
    if (!answer.bytes && !answer.returned && !answer.length && !answer.count) {
        Fail(path, "an answer needs \"bytes\", \"returned\", \"length\" or \"count\"");
    }
    if ((answer.bytes || answer.length || answer.count) && fault.direction == "set") {
        Fail(path, "a set request's data buffer is the caller's: only \"returned\" applies");
    }
    return answer;
}

Json WriteAnswer(const AnswerOverride& answer) {
    Json json = Json::object();
    if (answer.bytes) {
        json["bytes"] = ToHex(answer.bytes->data(), answer.bytes->size());
    }
    if (answer.returned) {
        json["returned"] = *answer.returned;
    }
    if (answer.length) {
        json["length"] = *answer.length;
    }
    if (answer.count) {
        json["count"] = *answer.count;
    }
    return json;
}

}  // namespace

bool Matches(const Fault& fault, const Call& call) {
    bool matches = fault.method == kAnyMethod || fault.method == call.method;
    ForEachFilter([&](const auto& filter) {
        const auto& wanted = fault.*filter.wanted;
        matches = matches && (!wanted || Offered(*wanted, call.*filter.offered));
    });
    return matches;
}

Fault ReadFault(const Json& json, const std::string& path, const Machine& machine) {
    ExpectMembers(json, path, FaultMembers());
    Fault fault;
    if (!json.contains("method")) {
        Fail(path, "a fault needs \"method\"");
    }
    const std::string methodPath = Member(path, "method");
    fault.method = GetString(json["method"], methodPath);
    const auto filters = MethodFilters(fault.method);
    if (!filters) {
        Fail(methodPath,
             "unknown method " + json["method"].dump() + " (known: " + MethodNameList() + ")");
    }
    if (json.contains("answer") && (*filters & kRequest) == 0) {
        Fail(Member(path, "answer"),
             fault.method + " sends no kernel-streaming request whose answer could be rewritten");
    }
    if (!json.contains("result") && !json.contains("answer")) {
        Fail(path, "a fault needs \"result\" (or \"answer\")");
    }
    fault.hasResult = json.contains("result");
    ReadMember(json, path, "result", &fault.result, GetResult);
    ForEachFilter([&](const auto& filter) {
        if (json.contains(filter.name)) {
            const std::string p = Member(path, filter.name);
            if ((*filters & filter.group) == 0) {
                Fail(p, fault.method + " has no " + filter.what + " to filter on");
            }
            fault.*filter.wanted = filter.read(json[filter.name], p, machine);
        }
    });
    if (json.contains("answer")) {
        fault.answer = ReadAnswer(json["answer"], Member(path, "answer"), fault);
    }
    const auto readCount = [](const Json& value, const std::string& p) {
        return GetInteger(value, p, 1, std::numeric_limits<uint32_t>::max());
    };
    ReadMember(json, path, "call", &fault.call, readCount);
    ReadMember(json, path, "from", &fault.from, readCount);
    if (fault.call != 0 && fault.from != 0) {
        Fail(path,
             "give \"call\" (only the n-th call) or \"from\" (the n-th call and later), not both");
    }
    return fault;
}

Json WriteFault(const Fault& fault) {
    Json json = Json::object();
    json["method"] = fault.method;
    ForEachFilter([&](const auto& filter) {
        if (const auto& wanted = fault.*filter.wanted) {
            json[filter.name] = filter.write(*wanted);
        }
    });
    if (fault.answer) {
        json["answer"] = WriteAnswer(*fault.answer);
    }
    if (fault.call != 0) {
        json["call"] = fault.call;
    }
    if (fault.from != 0) {
        json["from"] = fault.from;
    }
    if (fault.hasResult) {
        json["result"] = FormatResult(fault.result);
    }
    return json;
}

}  // namespace vexsim
