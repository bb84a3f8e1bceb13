#include "machinefile/MachineJson.h"

#include "machinefile/FilterJson.h"
#include "common/JsonSupport.h"

#include "PolicyConfig.h"
#include "SystemGuids.h"
#include "common/Text.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <cstring>
#include <initializer_list>
#include <limits>

namespace vexsim {

namespace {

// ---- values ----------------------------------------------------------------------------------

std::vector<WString> GetTexts(const Json& value, const std::string& path) {
    ExpectArray(value, path);
    std::vector<WString> texts;
    for (size_t i = 0; i < value.size(); ++i) {
        texts.push_back(FromUtf8(GetString(value[i], Index(path, i))));
    }
    return texts;
}

PropValue ReadValue(const Json& json, const std::string& path) {
    PropValue value;
    if (json.is_string()) {
        value.type = VT_LPWSTR;
        value.text = FromUtf8(json.get<std::string>());
        return value;
    }
    if (json.is_array()) {
        value.type = VT_VECTOR | VT_LPWSTR;
        value.texts = GetTexts(json, path);
        return value;
    }
    if (!json.is_object()) {
        Fail(path,
             std::string(
                 "expected a typed value such as {\"type\": \"VT_UI4\", \"value\": 1}, found ") +
                 KindOf(json));
    }
    if (!json.contains("type")) {
        Fail(path, "a typed value needs \"type\"");
    }
    const std::string typePath = Member(path, "type");
    const auto type = TypeFromName(GetString(json["type"], typePath));
    if (!type) {
        Fail(typePath, "unknown type " + json["type"].dump() +
                           " (known: " + std::string(TypeNameList()) + ")");
    }
    value.type = *type;
    const std::string valuePath = Member(path, "value");
    if (value.type == VT_EMPTY) {
        CheckMembers(json, path, {"type"});
        return value;
    }
    if (value.type == VT_BLOB) {
        CheckMembers(json, path, {"type", "bytes", "words"});
        const bool hasBytes = json.contains("bytes");
        const bool hasWords = json.contains("words");
        if (hasBytes == hasWords) {
            Fail(path, "a VT_BLOB needs exactly one of \"bytes\" and \"words\"");
        }
        const std::string listPath = Member(path, hasBytes ? "bytes" : "words");
        const Json& list = json[hasBytes ? "bytes" : "words"];
        ExpectArray(list, listPath);
        value.blobAsWords = hasWords;
        for (size_t i = 0; i < list.size(); ++i) {
            if (hasBytes) {
                value.bytes.push_back(
                    static_cast<uint8_t>(GetInteger(list[i], Index(listPath, i), 0, 255)));
            } else {
                const auto word = static_cast<uint32_t>(
                    GetInteger(list[i], Index(listPath, i), std::numeric_limits<int32_t>::min(),
                               0xFFFFFFFFull));
                for (int b = 0; b < 4; ++b) {
                    value.bytes.push_back(static_cast<uint8_t>(word >> (8 * b)));
                }
            }
        }
        return value;
    }
    CheckMembers(json, path, {"type", "value"});
    if (!json.contains("value")) {
        Fail(path, "a " + std::string(TypeName(value.type)) + " value needs \"value\"");
    }
    const Json& v = json["value"];
    switch (value.type) {
        case VT_I2:
            value.scalar = GetInteger(v, valuePath, -32768, 32767);
            break;
        case VT_UI2:
            value.scalar = GetInteger(v, valuePath, 0, 65535);
            break;
        case VT_I4:
            value.scalar = GetInteger(v, valuePath, std::numeric_limits<int32_t>::min(),
                                      std::numeric_limits<int32_t>::max());
            break;
        case VT_UI4:
            value.scalar = GetInteger(v, valuePath, 0, 0xFFFFFFFFull);
            break;
        case VT_I8:
            value.scalar = GetInteger(v, valuePath, std::numeric_limits<int64_t>::min(),
                                      std::numeric_limits<int64_t>::max());
            break;
        case VT_UI8:
            value.scalar = GetInteger(v, valuePath, 0, std::numeric_limits<uint64_t>::max());
            break;
        case VT_UI1:
            value.scalar = GetInteger(v, valuePath, 0, 255);
            break;
        case VT_BOOL:
            value.scalar = GetBool(v, valuePath) ? 0xFFFFFFFFFFFFFFFFull : 0;
            break;
        case VT_LPWSTR:
        case VT_BSTR:
            value.text = FromUtf8(GetString(v, valuePath));
            break;
        case VT_CLSID:
            value.clsid = GetGuid(v, valuePath);
            break;
        case VT_VECTOR | VT_LPWSTR:
        case VT_VECTOR | VT_BSTR:
            value.texts = GetTexts(v, valuePath);
            break;
        case VT_VECTOR | VT_UI1:
            ExpectArray(v, valuePath);
            for (size_t i = 0; i < v.size(); ++i) {
                value.bytes.push_back(
                    static_cast<uint8_t>(GetInteger(v[i], Index(valuePath, i), 0, 255)));
            }
            break;
        case VT_VECTOR | VT_I4:
        case VT_VECTOR | VT_UI4: {
            ExpectArray(v, valuePath);
            const bool isSigned = value.type == (VT_VECTOR | VT_I4);
            for (size_t i = 0; i < v.size(); ++i) {
                value.words.push_back(static_cast<uint32_t>(GetInteger(
                    v[i], Index(valuePath, i), isSigned ? std::numeric_limits<int32_t>::min() : 0,
                    isSigned ? 0x7FFFFFFFull : 0xFFFFFFFFull)));
            }
            break;
        }
        default:
            Fail(typePath, "type not supported");
    }
    return value;
}

void ReadProperties(const Json& json, const std::string& path, PropertyMap* map) {
    ExpectObject(json, path);
    for (const auto& item : json.items()) {
        const std::string itemPath = Member(path, item.key());
        const PROPERTYKEY key = GetKey(item.key(), itemPath);
        if (map->Find(key) != nullptr) {
            Fail(itemPath, "the property key " + FormatKey(key) + " appears twice");
        }
        map->Set(key, ReadValue(item.value(), itemPath));
    }
}

// ---- endpoints -------------------------------------------------------------------------------

int ReadFlow(const Json& json, const std::string& path, bool allowAll) {
    const std::string text = GetString(json, path);
    if (text == "render") {
        return eRender;
    }
    if (text == "capture") {
        return eCapture;
    }
    if (allowAll && text == "all") {
        return eAll;
    }
    Fail(path,
         "unknown data flow " + json.dump() +
             (allowAll ? " (expected render, capture or all)" : " (expected render or capture)"));
}

int ReadRole(const Json& json, const std::string& path) {
    const std::string text = GetString(json, path);
    if (text == "console") {
        return eConsole;
    }
    if (text == "multimedia") {
        return eMultimedia;
    }
    if (text == "communications") {
        return eCommunications;
    }
    Fail(path, "unknown role " + json.dump() + " (expected console, multimedia or communications)");
}

unsigned ReadDefault(const Json& json, const std::string& path) {
    if (json.is_boolean()) {
        return json.get<bool>() ? 0x7u : 0u;
    }
    if (!json.is_array()) {
        Fail(path, std::string("expected true, false or a list of roles, found ") + KindOf(json));
    }
    unsigned roles = 0;
    for (size_t i = 0; i < json.size(); ++i) {
        roles |= 1u << ReadRole(json[i], Index(path, i));
    }
    return roles;
}

std::unique_ptr<Device> ReadEndpoint(const Json& json, const std::string& path,
                                     std::vector<std::unique_ptr<Device>>* filters) {
    ExpectObject(json, path);
    CheckMembers(json, path,
                 {"id", "flow", "state", "default", "name", "readOnly", "readWriteResult",
                  "holdStore", "properties", "fx", "topology", "renderPath"});
    auto device = std::make_unique<Device>();
    if (!json.contains("id")) {
        Fail(path, "an endpoint needs \"id\"");
    }
    device->id = FromUtf8(GetString(json["id"], Member(path, "id")));
    if (device->id.empty()) {
        Fail(Member(path, "id"), "an endpoint id cannot be empty");
    }
    if (json.contains("flow")) {
        device->flow = static_cast<EDataFlow>(ReadFlow(json["flow"], Member(path, "flow"), false));
    }
    if (json.contains("state")) {
        device->state = ReadState(json["state"], Member(path, "state"));
    }
    if (json.contains("default")) {
        device->defaultRoles = ReadDefault(json["default"], Member(path, "default"));
    }
    if (json.contains("readOnly")) {
        device->readOnly = GetBool(json["readOnly"], Member(path, "readOnly"));
    }
    if (json.contains("holdStore")) {
        device->holdStore = GetBool(json["holdStore"], Member(path, "holdStore"));
    }
    if (json.contains("readWriteResult")) {
        device->readWriteResult =
            GetResult(json["readWriteResult"], Member(path, "readWriteResult"));
        if (SUCCEEDED(device->readWriteResult)) {
            Fail(Member(path, "readWriteResult"), "must be a failure code");
        }
    }
    if (json.contains("properties")) {
        ReadProperties(json["properties"], Member(path, "properties"), &device->properties);
    }
    if (json.contains("fx")) {
        ReadProperties(json["fx"], Member(path, "fx"), &device->fx);
    }
    const PropValue* friendly = device->properties.Find(Guids::kPkeyDeviceFriendlyName);
    if (json.contains("name")) {
        device->name = FromUtf8(GetString(json["name"], Member(path, "name")));
        if (friendly == nullptr) {
            PropValue value;
            value.type = VT_LPWSTR;
            value.text = device->name;
            device->properties.Set(Guids::kPkeyDeviceFriendlyName, value);
        }
    } else if (friendly != nullptr && (friendly->type == VT_LPWSTR || friendly->type == VT_BSTR)) {
        device->name = friendly->text;
    }
    if (json.contains("topology") && json.contains("renderPath")) {
        Fail(path, "give \"topology\" or \"renderPath\", not both");
    }
    if (json.contains("topology")) {
        ReadTopology(json["topology"], Member(path, "topology"), &device->topology);
    } else if (json.contains("renderPath")) {
        ReadRenderPath(json["renderPath"], Member(path, "renderPath"), device.get(), filters);
    } else {
        DefaultEndpointTopology(device.get());
    }
    return device;
}

// ---- registry --------------------------------------------------------------------------------

std::string Fold(const std::string& text) {
    std::string folded;
    for (char c : text) {
        folded.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    return folded;
}

std::string FoldPath(const std::string& path) {
    std::string folded = Fold(path);
    while (!folded.empty() && folded.back() == '\\') {
        folded.pop_back();
    }
    size_t start = 0;
    while (start < folded.size() && folded[start] == '\\') {
        ++start;
    }
    return folded.substr(start);
}

RegistryValue ReadRegistryValue(const std::string& name, const Json& json,
                                const std::string& path) {
    RegistryValue value;
    value.name = name;
    if (json.is_string()) {
        value.type = RegistryType::String;
        value.text = FromUtf8(json.get<std::string>());
        return value;
    }
    if (!json.is_object()) {
        Fail(path,
             std::string("expected a string or a typed value such as {\"type\": \"REG_DWORD\", "
                         "\"value\": 1}, found ") +
                 KindOf(json));
    }
    if (!json.contains("type")) {
        Fail(path, "a typed registry value needs \"type\"");
    }
    const std::string type = GetString(json["type"], Member(path, "type"));
    if (type == "REG_SZ") {
        CheckMembers(json, path, {"type", "value"});
        value.type = RegistryType::String;
        if (!json.contains("value")) {
            Fail(path, "a REG_SZ value needs \"value\"");
        }
        value.text = FromUtf8(GetString(json["value"], Member(path, "value")));
    } else if (type == "REG_DWORD") {
        CheckMembers(json, path, {"type", "value"});
        value.type = RegistryType::Dword;
        if (!json.contains("value")) {
            Fail(path, "a REG_DWORD value needs \"value\"");
        }
        value.dword =
            static_cast<uint32_t>(GetInteger(json["value"], Member(path, "value"),
                                             std::numeric_limits<int32_t>::min(), 0xFFFFFFFFull));
    } else if (type == "REG_BINARY") {
        CheckMembers(json, path, {"type", "bytes"});
        value.type = RegistryType::Binary;
        if (!json.contains("bytes")) {
            Fail(path, "a REG_BINARY value needs \"bytes\"");
        }
        const std::string listPath = Member(path, "bytes");
        ExpectArray(json["bytes"], listPath);
        for (size_t i = 0; i < json["bytes"].size(); ++i) {
            value.bytes.push_back(
                static_cast<uint8_t>(GetInteger(json["bytes"][i], Index(listPath, i), 0, 255)));
        }
    } else {
        Fail(Member(path, "type"), "unknown registry type " + json["type"].dump() +
                                       " (expected REG_SZ, REG_DWORD or REG_BINARY)");
    }
    return value;
}

std::vector<RegistryKey> ReadRegistry(const Json& json, const std::string& path) {
    ExpectObject(json, path);
    std::vector<RegistryKey> keys;
    std::vector<std::string> folded;
    for (const auto& item : json.items()) {
        const std::string keyPath = Member(path, item.key());
        const std::string fold = FoldPath(item.key());
        if (fold.empty()) {
            Fail(keyPath, "a registry key path cannot be empty");
        }
        for (const std::string& other : folded) {
            if (other == fold) {
                Fail(keyPath, "the registry key appears twice (key names ignore letter case)");
            }
        }
        folded.push_back(fold);
        ExpectObject(item.value(), keyPath);
        RegistryKey key;
        key.path = item.key();
        std::vector<std::string> names;
        for (const auto& valueItem : item.value().items()) {
            const std::string valuePath = Member(keyPath, valueItem.key());
            const std::string foldedName = Fold(valueItem.key());
            for (const std::string& other : names) {
                if (other == foldedName) {
                    Fail(valuePath,
                         "the registry value appears twice (value names ignore letter case)");
                }
            }
            names.push_back(foldedName);
            key.values.push_back(ReadRegistryValue(valueItem.key(), valueItem.value(), valuePath));
        }
        keys.push_back(std::move(key));
    }
    return keys;
}

// ---- faults ----------------------------------------------------------------------------------

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

const char* const kRequestKinds[] = {
    "engineDescriptor", "moduleDescriptors", "interfaceVersion", "moduleList",
    "moduleEnable",     "moduleParam",       "unregister",       "instantiationState",
    "amdPresence",      "amdParam",          "unknown",
};
const char* const kForms[] = {"node", "filter", "pin", "audioModule", "vendorSet"};
const char* const kDirections[] = {"get", "set"};

std::string ReadChoice(const Json& json, const std::string& path, const char* const* choices,
                       size_t count, const char* what) {
    const std::string text = GetString(json, path);
    std::string list;
    for (size_t i = 0; i < count; ++i) {
        if (text == choices[i]) {
            return text;
        }
        list += (i == 0 ? "" : ", ");
        list += choices[i];
    }
    Fail(path, std::string("unknown ") + what + " " + json.dump() + " (expected " + list + ")");
}

GUID ReadNamedGuid(const Json& json, const std::string& path, const NamedGuid* table, size_t count,
                   const char* what) {
    const std::string text = GetString(json, path);
    for (size_t i = 0; i < count; ++i) {
        if (text == table[i].name) {
            return *table[i].guid;
        }
    }
    if (const auto guid = ParseGuid(text)) {
        return *guid;
    }
    std::string list;
    for (size_t i = 0; i < count; ++i) {
        list += (i == 0 ? "" : ", ");
        list += table[i].name;
    }
    Fail(path,
         std::string("unknown ") + what + " " + json.dump() + " (a GUID or one of: " + list + ")");
}

void RequireFilter(unsigned filters, unsigned filter, const std::string& method,
                   const std::string& path, const char* what) {
    if ((filters & filter) == 0) {
        Fail(path, method + " has no " + what + " to filter on");
    }
}

// Request kinds whose answer starts with a size or length, and those with a count after it.
const char* const kKindsWithLength[] = {"moduleDescriptors", "moduleList", "moduleParam",
                                        "amdParam"};
const char* const kKindsWithCount[] = {"moduleDescriptors", "moduleList"};

bool KindIn(const std::optional<std::string>& kind, const char* const* kinds, size_t count) {
    for (size_t i = 0; kind && i < count; ++i) {
        if (*kind == kinds[i]) {
            return true;
        }
    }
    return false;
}

AnswerOverride ReadAnswer(const Json& json, const std::string& path, const Fault& fault) {
    ExpectObject(json, path);
    CheckMembers(json, path, {"bytes", "returned", "length", "count"});
    AnswerOverride answer;
    if (json.contains("bytes")) {
        const std::string p = Member(path, "bytes");
        const auto bytes = FromHex(GetString(json["bytes"], p));
        if (!bytes) {
            Fail(p, "expected hexadecimal digits, two per byte");
        }
        answer.bytes = *bytes;
    }
    if (json.contains("returned")) {
        answer.returned = static_cast<ULONG>(
            GetInteger(json["returned"], Member(path, "returned"), 0, 0xFFFFFFFFull));
    }
    if (json.contains("length")) {
        const std::string p = Member(path, "length");
        if (!KindIn(fault.request, kKindsWithLength, std::size(kKindsWithLength))) {
            Fail(p,
                 "only the answers of \"request\" moduleDescriptors, moduleList, moduleParam "
                 "and amdParam start with a length");
        }
        answer.length = static_cast<uint32_t>(GetInteger(json["length"], p, 0, 0xFFFFFFFFull));
    }
    if (json.contains("count")) {
        const std::string p = Member(path, "count");
        if (!KindIn(fault.request, kKindsWithCount, std::size(kKindsWithCount))) {
            Fail(p,
                 "only the answers of \"request\" moduleDescriptors and moduleList have a "
                 "count");
        }
        answer.count = static_cast<uint32_t>(GetInteger(json["count"], p, 0, 0xFFFFFFFFull));
    }
    if (!answer.bytes && !answer.returned && !answer.length && !answer.count) {
        Fail(path, "an answer needs \"bytes\", \"returned\", \"length\" or \"count\"");
    }
    if ((answer.bytes || answer.length || answer.count) && fault.direction == "set") {
        Fail(path, "a set request's data buffer is the caller's: only \"returned\" applies");
    }
    return answer;
}

Fault ReadFault(const Json& json, const std::string& path, const Machine& machine) {
    ExpectObject(json, path);
    CheckMembers(json, path, {"method",    "endpoint", "key",     "access", "class",   "iid",
                              "flow",      "role",     "fxStore", "part",   "request", "form",
                              "direction", "pin",      "node",    "module", "param",   "sizeQuery",
                              "answer",    "call",     "from",    "result"});
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
    if (json.contains("answer") && (*filters & kFilterRequest) == 0) {
        Fail(Member(path, "answer"),
             fault.method + " sends no kernel-streaming request whose answer could be rewritten");
    }
    if (!json.contains("result") && !json.contains("answer")) {
        Fail(path, "a fault needs \"result\" (or \"answer\")");
    }
    if (json.contains("result")) {
        fault.result = GetResult(json["result"], Member(path, "result"));
    } else {
        fault.hasResult = false;
    }
    if (json.contains("endpoint")) {
        const std::string p = Member(path, "endpoint");
        RequireFilter(*filters, kFilterEndpoint, fault.method, p, "endpoint");
        fault.endpoint = FromUtf8(GetString(json["endpoint"], p));
        bool found = false;
        for (const auto& device : machine.devices) {
            found = found || device->id == *fault.endpoint;
        }
        if (!found) {
            Fail(p, "no endpoint of the machine has the id " + json["endpoint"].dump() +
                        " (nor has any filter)");
        }
    }
    if (json.contains("key")) {
        const std::string p = Member(path, "key");
        RequireFilter(*filters, kFilterKey, fault.method, p, "property key");
        fault.key = GetKey(GetString(json["key"], p), p);
    }
    if (json.contains("access")) {
        const std::string p = Member(path, "access");
        RequireFilter(*filters, kFilterAccess, fault.method, p, "access mode");
        const Json& access = json["access"];
        if (access.is_number_integer()) {
            fault.access = static_cast<DWORD>(GetInteger(access, p, 0, 0xFFFFFFFFull));
        } else {
            const std::string text = GetString(access, p);
            if (text == "read") {
                fault.access = STGM_READ;
            } else if (text == "write") {
                fault.access = STGM_WRITE;
            } else if (text == "readwrite") {
                fault.access = STGM_READWRITE;
            } else {
                Fail(p, "unknown access " + access.dump() +
                            " (expected read, write, readwrite or a number)");
            }
        }
    }
    if (json.contains("class")) {
        const std::string p = Member(path, "class");
        RequireFilter(*filters, kFilterClass, fault.method, p, "class");
        fault.clsid = ReadNamedGuid(json["class"], p, kClasses, std::size(kClasses), "class");
    }
    if (json.contains("iid")) {
        const std::string p = Member(path, "iid");
        RequireFilter(*filters, kFilterIid, fault.method, p, "interface id");
        fault.iid = ReadNamedGuid(json["iid"], p, kInterfaces, std::size(kInterfaces), "interface");
    }
    if (json.contains("flow")) {
        const std::string p = Member(path, "flow");
        RequireFilter(*filters, kFilterFlow, fault.method, p, "data flow");
        fault.flow = ReadFlow(json["flow"], p, true);
    }
    if (json.contains("role")) {
        const std::string p = Member(path, "role");
        RequireFilter(*filters, kFilterRole, fault.method, p, "role");
        fault.role = ReadRole(json["role"], p);
    }
    if (json.contains("fxStore")) {
        const std::string p = Member(path, "fxStore");
        RequireFilter(*filters, kFilterFxStore, fault.method, p, "store flag");
        fault.fxStore = GetBool(json["fxStore"], p);
    }
    if (json.contains("part")) {
        const std::string p = Member(path, "part");
        RequireFilter(*filters, kFilterPart, fault.method, p, "part");
        fault.part = static_cast<UINT>(GetInteger(json["part"], p, 0, 0xFFFFFFFFull));
    }
    const auto requestFilter = [&](const char* name) {
        const std::string p = Member(path, name);
        RequireFilter(*filters, kFilterRequest, fault.method, p, "kernel-streaming request");
        return p;
    };
    if (json.contains("request")) {
        const std::string p = requestFilter("request");
        fault.request =
            ReadChoice(json["request"], p, kRequestKinds, std::size(kRequestKinds), "request");
    }
    if (json.contains("form")) {
        const std::string p = requestFilter("form");
        fault.form = ReadChoice(json["form"], p, kForms, std::size(kForms), "request form");
    }
    if (json.contains("direction")) {
        const std::string p = requestFilter("direction");
        fault.direction =
            ReadChoice(json["direction"], p, kDirections, std::size(kDirections), "direction");
    }
    if (json.contains("pin")) {
        const std::string p = requestFilter("pin");
        fault.pin = static_cast<ULONG>(GetInteger(json["pin"], p, 0, 0xFFFFFFFFull));
    }
    if (json.contains("node")) {
        const std::string p = requestFilter("node");
        fault.node = static_cast<ULONG>(GetInteger(json["node"], p, 0, 0xFFFFFFFFull));
    }
    if (json.contains("module")) {
        const std::string p = requestFilter("module");
        fault.module = GetGuid(json["module"], p);
    }
    if (json.contains("param")) {
        const std::string p = requestFilter("param");
        fault.param = static_cast<ULONG>(GetInteger(json["param"], p, 0, 0xFFFFFFFFull));
    }
    if (json.contains("sizeQuery")) {
        const std::string p = requestFilter("sizeQuery");
        fault.sizeQuery = GetBool(json["sizeQuery"], p);
    }
    if (json.contains("answer")) {
        fault.answer = ReadAnswer(json["answer"], Member(path, "answer"), fault);
    }
    if (json.contains("call")) {
        fault.call =
            GetInteger(json["call"], Member(path, "call"), 1, std::numeric_limits<uint32_t>::max());
    }
    if (json.contains("from")) {
        fault.from =
            GetInteger(json["from"], Member(path, "from"), 1, std::numeric_limits<uint32_t>::max());
    }
    if (fault.call != 0 && fault.from != 0) {
        Fail(path,
             "give \"call\" (only the n-th call) or \"from\" (the n-th call and later), not both");
    }
    return fault;
}

std::vector<Fault> ReadFaultList(const Json& json, const std::string& path,
                                 const Machine& machine) {
    std::vector<Fault> faults;
    if (json.is_object()) {
        faults.push_back(ReadFault(json, path, machine));
        return faults;
    }
    ExpectArray(json, path);
    for (size_t i = 0; i < json.size(); ++i) {
        faults.push_back(ReadFault(json[i], Index(path, i), machine));
    }
    return faults;
}

Json ParseText(const std::string& text) {
    try {
        return Json::parse(text);
    } catch (const Json::parse_error& error) {
        std::string what = error.what();
        const size_t bracket = what.find("] ");
        if (what.rfind("[json.exception", 0) == 0 && bracket != std::string::npos) {
            what = what.substr(bracket + 2);
        }
        throw MachineError("$: JSON " + what);
    }
}

// ---- writing ---------------------------------------------------------------------------------

Json WriteValue(const PropValue& value) {
    Json json = Json::object();
    json["type"] = TypeName(value.type);
    switch (value.type) {
        case VT_EMPTY:
            break;
        case VT_I2:
            json["value"] = static_cast<int16_t>(value.scalar);
            break;
        case VT_I4:
            json["value"] = static_cast<int32_t>(value.scalar);
            break;
        case VT_I8:
            json["value"] = static_cast<int64_t>(value.scalar);
            break;
        case VT_UI1:
            json["value"] = static_cast<uint8_t>(value.scalar);
            break;
        case VT_UI2:
            json["value"] = static_cast<uint16_t>(value.scalar);
            break;
        case VT_UI4:
            json["value"] = static_cast<uint32_t>(value.scalar);
            break;
        case VT_UI8:
            json["value"] = value.scalar;
            break;
        case VT_BOOL:
            json["value"] = static_cast<uint16_t>(value.scalar) != 0;
            break;
        case VT_LPWSTR:
        case VT_BSTR:
            json["value"] = ToUtf8(value.text);
            break;
        case VT_CLSID:
            json["value"] = FormatGuid(value.clsid);
            break;
        case VT_BLOB:
            if (value.blobAsWords && value.bytes.size() % 4 == 0) {
                Json words = Json::array();
                for (size_t i = 0; i < value.bytes.size(); i += 4) {
                    uint32_t word = 0;
                    for (int b = 0; b < 4; ++b) {
                        word |= static_cast<uint32_t>(value.bytes[i + b]) << (8 * b);
                    }
                    words.push_back(static_cast<int32_t>(word));
                }
                json["words"] = words;
            } else {
                json["bytes"] = value.bytes;
            }
            break;
        case VT_VECTOR | VT_UI1:
            json["value"] = value.bytes;
            break;
        case VT_VECTOR | VT_I4: {
            Json list = Json::array();
            for (uint32_t word : value.words) {
                list.push_back(static_cast<int32_t>(word));
            }
            json["value"] = list;
            break;
        }
        case VT_VECTOR | VT_UI4:
            json["value"] = value.words;
            break;
        case VT_VECTOR | VT_LPWSTR:
        case VT_VECTOR | VT_BSTR: {
            Json list = Json::array();
            for (const WString& text : value.texts) {
                list.push_back(ToUtf8(text));
            }
            json["value"] = list;
            break;
        }
        default:
            break;
    }
    return json;
}

Json WriteProperties(const PropertyMap& map, const WString* impliedName) {
    Json json = Json::object();
    for (size_t i = 0; i < map.Count(); ++i) {
        const auto& [key, value] = map.At(i);
        if (impliedName != nullptr && SameKey(key, Guids::kPkeyDeviceFriendlyName) &&
            value.type == VT_LPWSTR && value.text == *impliedName) {
            continue;  // written as the endpoint's "name"
        }
        json[FormatKey(key)] = WriteValue(value);
    }
    return json;
}

const char* const kRoleNames[] = {"console", "multimedia", "communications"};
const char* const kFlowNames[] = {"render", "capture", "all"};

std::string NameOfGuid(const GUID& guid, const NamedGuid* table, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (std::memcmp(&guid, table[i].guid, sizeof(GUID)) == 0) {
            return table[i].name;
        }
    }
    return FormatGuid(guid);
}

Json WriteFault(const Fault& fault) {
    Json json = Json::object();
    json["method"] = fault.method;
    if (fault.endpoint) {
        json["endpoint"] = ToUtf8(*fault.endpoint);
    }
    if (fault.key) {
        json["key"] = FormatKey(*fault.key);
    }
    if (fault.access) {
        if (*fault.access == STGM_READ) {
            json["access"] = "read";
        } else if (*fault.access == STGM_WRITE) {
            json["access"] = "write";
        } else if (*fault.access == STGM_READWRITE) {
            json["access"] = "readwrite";
        } else {
            json["access"] = *fault.access;
        }
    }
    if (fault.clsid) {
        json["class"] = NameOfGuid(*fault.clsid, kClasses, std::size(kClasses));
    }
    if (fault.iid) {
        json["iid"] = NameOfGuid(*fault.iid, kInterfaces, std::size(kInterfaces));
    }
    if (fault.flow) {
        json["flow"] = kFlowNames[*fault.flow];
    }
    if (fault.role) {
        json["role"] = kRoleNames[*fault.role];
    }
    if (fault.fxStore) {
        json["fxStore"] = *fault.fxStore;
    }
    if (fault.part) {
        json["part"] = *fault.part;
    }
    if (fault.request) {
        json["request"] = *fault.request;
    }
    if (fault.form) {
        json["form"] = *fault.form;
    }
    if (fault.direction) {
        json["direction"] = *fault.direction;
    }
    if (fault.pin) {
        json["pin"] = *fault.pin;
    }
    if (fault.node) {
        json["node"] = *fault.node;
    }
    if (fault.module) {
        json["module"] = FormatGuid(*fault.module);
    }
    if (fault.param) {
        json["param"] = *fault.param;
    }
    if (fault.sizeQuery) {
        json["sizeQuery"] = *fault.sizeQuery;
    }
    if (fault.answer) {
        Json answer = Json::object();
        if (fault.answer->bytes) {
            answer["bytes"] = ToHex(fault.answer->bytes->data(), fault.answer->bytes->size());
        }
        if (fault.answer->returned) {
            answer["returned"] = *fault.answer->returned;
        }
        if (fault.answer->length) {
            answer["length"] = *fault.answer->length;
        }
        if (fault.answer->count) {
            answer["count"] = *fault.answer->count;
        }
        json["answer"] = answer;
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

}  // namespace

std::unique_ptr<Machine> ParseMachine(const std::string& text) {
    const Json json = ParseText(text);
    const std::string root = "$";
    ExpectObject(json, root);
    CheckMembers(
        json, root,
        {"name", "description", "requestLogging", "endpoints", "filters", "registry", "faults"});
    auto machine = std::make_unique<Machine>();
    if (json.contains("requestLogging")) {
        machine->requestLogging = GetBool(json["requestLogging"], Member(root, "requestLogging"));
    }
    if (json.contains("name")) {
        machine->name = GetString(json["name"], Member(root, "name"));
    }
    if (json.contains("description")) {
        machine->description = GetString(json["description"], Member(root, "description"));
    }
    std::vector<std::string> paths;  // each device's JSON path
    const auto addDevice = [&](std::unique_ptr<Device> device, const std::string& itemPath) {
        for (const auto& other : machine->devices) {
            if (other->id == device->id) {
                const bool endpoints =
                    other->kind == DeviceKind::Endpoint && device->kind == DeviceKind::Endpoint;
                Fail(Member(itemPath, "id"), std::string("another ") +
                                                 (endpoints ? "endpoint" : "device") +
                                                 " has the same id \"" + ToUtf8(device->id) + "\"");
            }
        }
        machine->devices.push_back(std::move(device));
        paths.push_back(itemPath);
    };
    if (json.contains("endpoints")) {
        const std::string path = Member(root, "endpoints");
        ExpectArray(json["endpoints"], path);
        std::vector<std::unique_ptr<Device>> generated;
        std::vector<std::string> generatedPaths;
        for (size_t i = 0; i < json["endpoints"].size(); ++i) {
            const std::string itemPath = Index(path, i);
            const size_t before = generated.size();
            auto device = ReadEndpoint(json["endpoints"][i], itemPath, &generated);
            for (size_t g = before; g < generated.size(); ++g) {
                generatedPaths.push_back(Member(itemPath, "renderPath"));
            }
            for (const auto& other : machine->devices) {
                if (other->kind == DeviceKind::Endpoint && other->flow == device->flow &&
                    (other->defaultRoles & device->defaultRoles) != 0) {
                    Fail(Member(itemPath, "default"),
                         "another " + std::string(kFlowNames[device->flow]) +
                             " endpoint is already the default for one of these roles");
                }
            }
            addDevice(std::move(device), itemPath);
        }
        for (size_t g = 0; g < generated.size(); ++g) {
            addDevice(std::move(generated[g]), generatedPaths[g]);
        }
    }
    if (json.contains("filters")) {
        const std::string path = Member(root, "filters");
        ExpectArray(json["filters"], path);
        for (size_t i = 0; i < json["filters"].size(); ++i) {
            const std::string itemPath = Index(path, i);
            addDevice(ReadFilter(json["filters"][i], itemPath), itemPath);
        }
    }
    ResolveConnections(machine.get(), paths);
    if (json.contains("registry")) {
        machine->registry = ReadRegistry(json["registry"], Member(root, "registry"));
    }
    if (json.contains("faults")) {
        const std::string path = Member(root, "faults");
        ExpectArray(json["faults"], path);
        machine->faults = ReadFaultList(json["faults"], path, *machine);
    }
    return machine;
}

std::vector<Fault> ParseFaults(const std::string& text, const Machine& machine) {
    return ReadFaultList(ParseText(text), "$", machine);
}

std::string DumpMachine(const Machine& machine) {
    Json json = Json::object();
    if (!machine.name.empty()) {
        json["name"] = machine.name;
    }
    if (!machine.description.empty()) {
        json["description"] = machine.description;
    }
    if (!machine.requestLogging) {
        json["requestLogging"] = false;
    }
    Json endpoints = Json::array();
    Json filters = Json::array();
    for (const auto& device : machine.devices) {
        if (device->kind == DeviceKind::Filter) {
            Json filter = Json::object();
            filter["id"] = ToUtf8(device->id);
            if (!device->name.empty()) {
                filter["name"] = ToUtf8(device->name);
            }
            filter["state"] = StateName(device->state);
            WriteFilterMembers(*device, &filter);
            filters.push_back(filter);
            continue;
        }
        Json endpoint = Json::object();
        endpoint["id"] = ToUtf8(device->id);
        endpoint["flow"] = kFlowNames[device->flow];
        endpoint["state"] = StateName(device->state);
        if (device->defaultRoles == 0x7u) {
            endpoint["default"] = true;
        } else if (device->defaultRoles != 0) {
            Json roles = Json::array();
            for (int role = 0; role < 3; ++role) {
                if ((device->defaultRoles & (1u << role)) != 0) {
                    roles.push_back(kRoleNames[role]);
                }
            }
            endpoint["default"] = roles;
        }
        if (!device->name.empty()) {
            endpoint["name"] = ToUtf8(device->name);
        }
        if (device->readOnly) {
            endpoint["readOnly"] = true;
        }
        if (device->readWriteResult != E_ACCESSDENIED) {
            endpoint["readWriteResult"] = FormatResult(device->readWriteResult);
        }
        if (device->holdStore) {
            endpoint["holdStore"] = true;
        }
        endpoint["properties"] =
            WriteProperties(device->properties, device->name.empty() ? nullptr : &device->name);
        if (device->fx.Count() > 0) {
            endpoint["fx"] = WriteProperties(device->fx, nullptr);
        }
        if (!device->implicitTopology) {
            endpoint["topology"] = WriteTopology(device->topology);
        }
        endpoints.push_back(endpoint);
    }
    json["endpoints"] = endpoints;
    if (!filters.empty()) {
        json["filters"] = filters;
    }
    Json registry = Json::object();
    for (const RegistryKey& key : machine.registry) {
        Json values = Json::object();
        for (const RegistryValue& value : key.values) {
            switch (value.type) {
                case RegistryType::String:
                    values[value.name] = ToUtf8(value.text);
                    break;
                case RegistryType::Dword:
                    values[value.name] = Json{{"type", "REG_DWORD"}, {"value", value.dword}};
                    break;
                case RegistryType::Binary:
                    values[value.name] = Json{{"type", "REG_BINARY"}, {"bytes", value.bytes}};
                    break;
            }
        }
        registry[key.path] = values;
    }
    json["registry"] = registry;
    Json faults = Json::array();
    for (const Fault& fault : machine.faults) {
        faults.push_back(WriteFault(fault));
    }
    json["faults"] = faults;
    return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace vexsim
