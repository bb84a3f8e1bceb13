// Reading a machine from JSON text, with a message that names the JSON path of anything wrong.
#include "machinefile/MachineFile.h"

#include "SystemGuids.h"
#include "common/Text.h"
#include "machinefile/ReadFilters.h"

#include <cctype>
#include <limits>

namespace vexsim {

namespace {

// ---- values ----------------------------------------------------------------------------------

PropValue ReadValue(const Json& json, const std::string& path) {
    PropValue value;
    if (json.is_string()) {
        value.type = VT_LPWSTR;
        value.text = FromUtf8(json.get<std::string>());
        return value;
    }
    if (json.is_array()) {
        value.type = VT_VECTOR | VT_LPWSTR;
        value.texts = GetList<WString, GetText>(json, path);
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
        Fail(typePath, "unknown type " + json["type"].dump() + " (known: " + TypeNameList() + ")");
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
        value.blobAsWords = hasWords;
        ReadMember(json, path, "bytes", &value.bytes, GetBytes);
        ReadMember(json, path, "words", &value.bytes, GetWords);
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
            value.text = GetText(v, valuePath);
            break;
        case VT_CLSID:
            value.clsid = GetGuid(v, valuePath);
            break;
        case VT_VECTOR | VT_LPWSTR:
        case VT_VECTOR | VT_BSTR:
            value.texts = GetList<WString, GetText>(v, valuePath);
            break;
        case VT_VECTOR | VT_UI1:
            value.bytes = GetBytes(v, valuePath);
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
    ExpectMembers(json, path,
                  {"id", "flow", "state", "default", "name", "readOnly", "readWriteResult",
                   "holdStore", "properties", "fx", "topology", "renderPath"});
    auto device = std::make_unique<Device>();
    device->id = GetText(Require(json, path, "id", "an endpoint needs \"id\""), Member(path, "id"));
    if (device->id.empty()) {
        Fail(Member(path, "id"), "an endpoint id cannot be empty");
    }
    ReadMember(json, path, "flow", &device->flow,
               [](const Json& value, const std::string& p) { return ReadFlow(value, p, false); });
    ReadMember(json, path, "state", &device->state, ReadState);
    ReadMember(json, path, "default", &device->defaultRoles, ReadDefault);
    ReadMember(json, path, "readOnly", &device->readOnly, GetBool);
    ReadMember(json, path, "holdStore", &device->holdStore, GetBool);
    ReadMember(json, path, "readWriteResult", &device->readWriteResult, GetResult);
    if (SUCCEEDED(device->readWriteResult)) {
        Fail(Member(path, "readWriteResult"), "must be a failure code");
    }
    if (json.contains("properties")) {
        ReadProperties(json["properties"], Member(path, "properties"), &device->properties);
    }
    if (json.contains("fx")) {
        ReadProperties(json["fx"], Member(path, "fx"), &device->fx);
    }
    const PropValue* friendly = device->properties.Find(Guids::kPkeyDeviceFriendlyName);
    if (json.contains("name")) {
        device->name = GetText(json["name"], Member(path, "name"));
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
    const char* const types[] = {"REG_SZ", "REG_DWORD", "REG_BINARY"};  // by RegistryType
    const Json& type = Require(json, path, "type", "a typed registry value needs \"type\"");
    value.type =
        static_cast<RegistryType>(ReadName(type, Member(path, "type"), "registry type", types));
    const char* member = value.type == RegistryType::Binary ? "bytes" : "value";
    CheckMembers(json, path, {"type", member});
    const std::string needs =
        std::string("a ") + types[static_cast<int>(value.type)] + " value needs \"" + member + "\"";
    const Json& data = Require(json, path, member, needs.c_str());
    const std::string dataPath = Member(path, member);
    if (value.type == RegistryType::String) {
        value.text = GetText(data, dataPath);
    } else if (value.type == RegistryType::Dword) {
        value.dword = static_cast<uint32_t>(
            GetInteger(data, dataPath, std::numeric_limits<int32_t>::min(), 0xFFFFFFFFull));
    } else {
        value.bytes = GetBytes(data, dataPath);
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

}  // namespace

std::unique_ptr<Machine> ParseMachine(const std::string& text) {
    const Json json = ParseText(text);
    const std::string root = "$";
    ExpectMembers(
        json, root,
        {"name", "description", "requestLogging", "endpoints", "filters", "registry", "faults"});
    auto machine = std::make_unique<Machine>();
    ReadMember(json, root, "requestLogging", &machine->requestLogging, GetBool);
    ReadMember(json, root, "name", &machine->name, GetString);
    ReadMember(json, root, "description", &machine->description, GetString);
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
    ReadMember(json, root, "registry", &machine->registry, ReadRegistry);
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

}  // namespace vexsim
