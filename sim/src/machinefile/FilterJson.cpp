#include "machinefile/FilterJson.h"

#include "KsAudioModule.h"
#include "common/Text.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <limits>

namespace vexsim {

namespace {

constexpr uint64_t kU32Max = 0xFFFFFFFFull;

ULONG GetU32(const Json& json, const std::string& path) {
    return static_cast<ULONG>(GetInteger(json, path, 0, kU32Max));
}

struct NamedValue {
    const char* name;
    int value;
};

const NamedValue kConnectorTypes[] = {
    {"Unknown_Connector", Unknown_Connector}, {"Physical_Internal", Physical_Internal},
    {"Physical_External", Physical_External}, {"Software_IO", Software_IO},
    {"Software_Fixed", Software_Fixed},       {"Network", Network},
};

int ReadNamed(const Json& json, const std::string& path, const NamedValue* table, size_t count,
              const char* what) {
    const std::string text = GetString(json, path);
    std::string list;
    for (size_t i = 0; i < count; ++i) {
        if (text == table[i].name) {
            return table[i].value;
        }
        list += (i == 0 ? "" : ", ");
        list += table[i].name;
    }
    Fail(path, std::string("unknown ") + what + " " + json.dump() + " (expected " + list + ")");
}

const char* NameOf(int value, const NamedValue* table, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (table[i].value == value) {
            return table[i].name;
        }
    }
    return "Unknown_Connector";
}

SizeQuery ReadSizeQuery(const Json& json, const std::string& path) {
    const std::string text = GetString(json, path);
    if (text == "ERROR_MORE_DATA") {
        return SizeQuery::MoreData;
    }
    if (text == "S_OK") {
        return SizeQuery::Success;
    }
    Fail(path, "unknown size-query answer " + json.dump() + " (expected ERROR_MORE_DATA or S_OK)");
}

const char* SizeQueryName(SizeQuery query) {
    return query == SizeQuery::MoreData ? "ERROR_MORE_DATA" : "S_OK";
}

// ---- topology --------------------------------------------------------------------------------

Part ReadPart(const Json& json, const std::string& path) {
    ExpectObject(json, path);
    CheckMembers(json, path,
                 {"name", "kind", "pin", "node", "localId", "subtype", "type", "flow",
                  "connectedTo", "selector", "selection", "selections", "mixer"});
    Part part;
    if (!json.contains("name")) {
        Fail(path, "a part needs \"name\"");
    }
    part.name = GetString(json["name"], Member(path, "name"));
    if (part.name.empty()) {
        Fail(Member(path, "name"), "a part name cannot be empty");
    }
    if (!json.contains("kind")) {
        Fail(path, "a part needs \"kind\" (connector or subunit)");
    }
    const std::string kind = GetString(json["kind"], Member(path, "kind"));
    if (kind == "connector") {
        part.kind = PartKind::Connector;
    } else if (kind == "subunit") {
        part.kind = PartKind::Subunit;
    } else {
        Fail(Member(path, "kind"),
             "unknown part kind " + json["kind"].dump() + " (expected connector or subunit)");
    }
    const bool connector = part.kind == PartKind::Connector;
    const char* number = connector ? "pin" : "node";
    const char* other = connector ? "node" : "pin";
    if (json.contains(other)) {
        Fail(Member(path, other), std::string("a ") + kind + " has no " + other);
    }
    for (const char* member : {"type", "flow", "connectedTo"}) {
        if (!connector && json.contains(member)) {
            Fail(Member(path, member), std::string("only a connector has \"") + member + "\"");
        }
    }
    for (const char* member : {"selector", "selection", "selections", "mixer"}) {
        if (connector && json.contains(member)) {
            Fail(Member(path, member), std::string("only a subunit has \"") + member + "\"");
        }
    }
    if (json.contains("localId")) {
        part.localId = GetU32(json["localId"], Member(path, "localId"));
        if (json.contains(number)) {
            Fail(Member(path, number), std::string("give \"") + number + "\" or \"localId\"");
        }
    } else if (json.contains(number)) {
        part.localId = (connector ? kConnectorIdBase : kSubunitIdBase) |
                       static_cast<UINT>(GetInteger(json[number], Member(path, number), 0, 0xFFFF));
    } else {
        Fail(path, std::string("a ") + kind + " needs \"" + number + "\" or \"localId\"");
    }
    if (json.contains("subtype")) {
        part.subType = GetGuid(json["subtype"], Member(path, "subtype"));
    }
    if (json.contains("type")) {
        part.connectorType = static_cast<ConnectorType>(
            ReadNamed(json["type"], Member(path, "type"), kConnectorTypes,
                      std::size(kConnectorTypes), "connector type"));
    }
    if (json.contains("flow")) {
        const std::string flow = GetString(json["flow"], Member(path, "flow"));
        if (flow != "in" && flow != "out") {
            Fail(Member(path, "flow"),
                 "unknown data flow " + json["flow"].dump() + " (expected in or out)");
        }
        part.dataFlow = flow == "in" ? In : Out;
    }
    if (json.contains("connectedTo")) {
        const std::string p = Member(path, "connectedTo");
        const Json& to = json["connectedTo"];
        ExpectObject(to, p);
        CheckMembers(to, p, {"device", "part"});
        if (!to.contains("device") || !to.contains("part")) {
            Fail(p, "a connection needs \"device\" and \"part\"");
        }
        part.connectedDevice = FromUtf8(GetString(to["device"], Member(p, "device")));
        part.connectedPart = GetString(to["part"], Member(p, "part"));
    }
    if (json.contains("selector")) {
        const std::string p = Member(path, "selector");
        const std::string selector = GetString(json["selector"], p);
        if (selector == "input") {
            part.selector = SelectorKind::Input;
        } else if (selector == "output") {
            part.selector = SelectorKind::Output;
        } else {
            Fail(p, "unknown selector " + json["selector"].dump() + " (expected input or output)");
        }
    }
    if (json.contains("mixer")) {
        part.mixer = GetBool(json["mixer"], Member(path, "mixer"));
    }
    if ((json.contains("selection") || json.contains("selections")) &&
        part.selector == SelectorKind::None) {
        Fail(path, "only a selector has a selection");
    }
    if (json.contains("selections")) {
        const std::string p = Member(path, "selections");
        ExpectArray(json["selections"], p);
        for (size_t i = 0; i < json["selections"].size(); ++i) {
            part.selections.push_back(GetU32(json["selections"][i], Index(p, i)));
        }
    }
    return part;
}

UINT ResolvePartRef(const Json& json, const std::string& path, const Topology& topology) {
    if (json.is_number_integer()) {
        return GetU32(json, path);
    }
    const std::string name = GetString(json, path);
    const Part* part = topology.Find(name);
    if (part == nullptr) {
        Fail(path, "no part of this topology is named " + json.dump());
    }
    return part->localId;
}

// ---- modules ---------------------------------------------------------------------------------

ModuleParam ReadParam(const Json& json, const std::string& path) {
    ExpectObject(json, path);
    CheckMembers(json, path, {"words", "bytes", "text", "length", "fixed"});
    ModuleParam param;
    int given = 0;
    if (json.contains("words")) {
        ++given;
        const std::string p = Member(path, "words");
        ExpectArray(json["words"], p);
        for (size_t i = 0; i < json["words"].size(); ++i) {
            const auto word = static_cast<uint32_t>(GetInteger(
                json["words"][i], Index(p, i), std::numeric_limits<int32_t>::min(), kU32Max));
            for (int b = 0; b < 4; ++b) {
                param.bytes.push_back(static_cast<uint8_t>(word >> (8 * b)));
            }
        }
    }
    if (json.contains("bytes")) {
        ++given;
        param.asWords = false;
        const std::string p = Member(path, "bytes");
        ExpectArray(json["bytes"], p);
        for (size_t i = 0; i < json["bytes"].size(); ++i) {
            param.bytes.push_back(
                static_cast<uint8_t>(GetInteger(json["bytes"][i], Index(p, i), 0, 255)));
        }
    }
    if (json.contains("text")) {
        ++given;
        param.asWords = false;
        const std::string text = GetString(json["text"], Member(path, "text"));
        param.bytes.assign(text.begin(), text.end());
        param.bytes.push_back(0);
    }
    if (given > 1) {
        Fail(path, "give one of \"words\", \"bytes\" and \"text\"");
    }
    if (json.contains("length")) {
        const std::string p = Member(path, "length");
        const auto length =
            static_cast<size_t>(GetInteger(json["length"], p, 0, VendorKs::kParamDataCapacity));
        if (length < param.bytes.size()) {
            Fail(p, "shorter than the value given");
        }
        param.bytes.resize(length, 0);
        if (given == 0) {
            param.asWords = length % 4 == 0;
        }
    } else if (given == 0) {
        Fail(path, "a parameter needs \"words\", \"bytes\", \"text\" or \"length\"");
    }
    if (param.bytes.size() > VendorKs::kParamDataCapacity) {
        Fail(path, "a parameter value holds at most 64000 bytes");
    }
    if (json.contains("fixed")) {
        param.fixedLength = GetBool(json["fixed"], Member(path, "fixed"));
    }
    return param;
}

const NamedValue kModuleTypes[] = {{"SFX", 0}, {"MFX", 1}, {"EFX", 2}};

VendorModule ReadModule(const Json& json, const std::string& path,
                        const std::vector<ULONG>& defaultPins) {
    ExpectObject(json, path);
    CheckMembers(
        json, path,
        {"guid", "set", "type", "name", "version", "pins", "forms", "classId", "instanceId",
         "enabled", "instantiated", "present", "otherParams", "otherLength", "params"});
    VendorModule module;
    if (!json.contains("guid")) {
        Fail(path, "a module needs \"guid\"");
    }
    module.guid = GetGuid(json["guid"], Member(path, "guid"));
    if (json.contains("set")) {
        const std::string p = Member(path, "set");
        const std::string set = GetString(json["set"], p);
        if (set == "vendor") {
            module.set = ModuleSet::Vendor;
        } else if (set == "amd") {
            module.set = ModuleSet::Amd;
        } else {
            Fail(p, "unknown module set " + json["set"].dump() + " (expected vendor or amd)");
        }
    }
    const bool vendor = module.set == ModuleSet::Vendor;
    for (const char* member : {"pins", "forms", "classId", "instanceId", "instantiated"}) {
        if (!vendor && json.contains(member)) {
            Fail(Member(path, member), std::string("an AMD-type module has no \"") + member + "\"");
        }
    }
    if (vendor && json.contains("present")) {
        Fail(Member(path, "present"), "only an AMD-type module has \"present\"");
    }
    if (json.contains("type")) {
        const std::string p = Member(path, "type");
        module.type = json["type"].is_string()
                          ? static_cast<ULONG>(ReadNamed(json["type"], p, kModuleTypes,
                                                         std::size(kModuleTypes), "module type"))
                          : GetU32(json["type"], p);
    }
    if (json.contains("name")) {
        module.name = GetString(json["name"], Member(path, "name"));
    }
    if (json.contains("version")) {
        module.version = GetString(json["version"], Member(path, "version"));
    }
    if (vendor) {
        module.pins = defaultPins;
        if (json.contains("pins")) {
            const std::string p = Member(path, "pins");
            ExpectArray(json["pins"], p);
            module.pins.clear();
            for (size_t i = 0; i < json["pins"].size(); ++i) {
                module.pins.push_back(GetU32(json["pins"][i], Index(p, i)));
            }
        }
        if (module.pins.empty()) {
            Fail(path, "a vendor module needs \"pins\", the pins it answers on");
        }
        if (json.contains("forms")) {
            const std::string p = Member(path, "forms");
            ExpectArray(json["forms"], p);
            module.pinForm = false;
            for (size_t i = 0; i < json["forms"].size(); ++i) {
                const std::string form = GetString(json["forms"][i], Index(p, i));
                if (form == "pin") {
                    module.pinForm = true;
                } else if (form == "audioModule") {
                    module.audioModuleForm = true;
                } else {
                    Fail(Index(p, i), "unknown form " + json["forms"][i].dump() +
                                          " (expected pin or audioModule)");
                }
            }
            if (!module.pinForm && !module.audioModuleForm) {
                Fail(p, "a vendor module answers in at least one form");
            }
        }
        module.classId = VendorKs::kAudioModuleClass;
        if (json.contains("classId")) {
            module.classId = GetGuid(json["classId"], Member(path, "classId"));
        }
        if (json.contains("instanceId")) {
            module.instanceId = GetU32(json["instanceId"], Member(path, "instanceId"));
        }
        if (json.contains("instantiated")) {
            module.instantiated = GetBool(json["instantiated"], Member(path, "instantiated"));
        }
    }
    if (json.contains("enabled")) {
        module.enabled = GetBool(json["enabled"], Member(path, "enabled"));
    }
    if (json.contains("present")) {
        module.present = GetBool(json["present"], Member(path, "present"));
    }
    if (json.contains("otherParams")) {
        const std::string p = Member(path, "otherParams");
        const std::string text = GetString(json["otherParams"], p);
        if (text != "accept" && text != "refuse") {
            Fail(p,
                 "unknown choice " + json["otherParams"].dump() + " (expected accept or refuse)");
        }
        module.acceptOthers = text == "accept";
    }
    if (json.contains("otherLength")) {
        module.otherLength = static_cast<ULONG>(GetInteger(
            json["otherLength"], Member(path, "otherLength"), 0, VendorKs::kParamDataCapacity));
    }
    if (json.contains("params")) {
        const std::string p = Member(path, "params");
        ExpectObject(json["params"], p);
        for (const auto& item : json["params"].items()) {
            const std::string itemPath = Member(p, item.key());
            char* end = nullptr;
            const unsigned long long id = std::strtoull(item.key().c_str(), &end, 10);
            if (item.key().empty() || *end != 0 || id > kU32Max ||
                !std::isdigit(static_cast<unsigned char>(item.key()[0]))) {
                Fail(itemPath, "a parameter is named by its decimal id");
            }
            module.params[static_cast<ULONG>(id)] = ReadParam(item.value(), itemPath);
        }
    }
    return module;
}

AudioModuleDescriptor ReadDescriptor(const Json& json, const std::string& path) {
    ExpectObject(json, path);
    CheckMembers(json, path, {"classId", "instanceId", "versionMajor", "versionMinor", "name"});
    AudioModuleDescriptor entry;
    entry.classId = VendorKs::kAudioModuleClass;
    if (json.contains("classId")) {
        entry.classId = GetGuid(json["classId"], Member(path, "classId"));
    }
    if (json.contains("instanceId")) {
        entry.instanceId = GetU32(json["instanceId"], Member(path, "instanceId"));
    }
    if (json.contains("versionMajor")) {
        entry.versionMajor = GetU32(json["versionMajor"], Member(path, "versionMajor"));
    }
    if (json.contains("versionMinor")) {
        entry.versionMinor = GetU32(json["versionMinor"], Member(path, "versionMinor"));
    }
    if (json.contains("name")) {
        entry.name = FromUtf8(GetString(json["name"], Member(path, "name")));
    }
    return entry;
}

void ReadDriverMembers(const Json& json, const std::string& path, FilterDriver* driver,
                       const std::vector<ULONG>& defaultPins) {
    if (json.contains("engines")) {
        const std::string p = Member(path, "engines");
        ExpectArray(json["engines"], p);
        for (size_t i = 0; i < json["engines"].size(); ++i) {
            const Json& item = json["engines"][i];
            const std::string itemPath = Index(p, i);
            ExpectObject(item, itemPath);
            CheckMembers(item, itemPath, {"node", "hostPin", "offloadPin", "loopbackPin"});
            EngineNode engine;
            for (const auto& [name, field] : {std::pair<const char*, ULONG*>{"node", &engine.node},
                                              {"hostPin", &engine.hostPin},
                                              {"offloadPin", &engine.offloadPin},
                                              {"loopbackPin", &engine.loopbackPin}}) {
                if (!item.contains(name)) {
                    Fail(itemPath, std::string("an engine needs \"") + name + "\"");
                }
                *field = GetU32(item[name], Member(itemPath, name));
            }
            for (const EngineNode& other : driver->engines) {
                if (other.node == engine.node) {
                    Fail(Member(itemPath, "node"), "another engine has the same node");
                }
            }
            driver->engines.push_back(engine);
        }
    }
    if (json.contains("audioModules")) {
        const std::string p = Member(path, "audioModules");
        ExpectArray(json["audioModules"], p);
        driver->audioModules.emplace();
        for (size_t i = 0; i < json["audioModules"].size(); ++i) {
            driver->audioModules->push_back(ReadDescriptor(json["audioModules"][i], Index(p, i)));
        }
    }
    if (json.contains("descriptorSizeQuery")) {
        driver->descriptorSizeQuery =
            ReadSizeQuery(json["descriptorSizeQuery"], Member(path, "descriptorSizeQuery"));
    }
    if (json.contains("moduleListSizeQuery")) {
        driver->moduleListSizeQuery =
            ReadSizeQuery(json["moduleListSizeQuery"], Member(path, "moduleListSizeQuery"));
    }
    if (json.contains("interfaceVersion")) {
        driver->interfaceVersion = static_cast<unsigned>(
            GetInteger(json["interfaceVersion"], Member(path, "interfaceVersion"), 0, 255));
    }
    if (json.contains("modules")) {
        const std::string p = Member(path, "modules");
        ExpectArray(json["modules"], p);
        for (size_t i = 0; i < json["modules"].size(); ++i) {
            const std::string itemPath = Index(p, i);
            VendorModule module = ReadModule(json["modules"][i], itemPath, defaultPins);
            if (driver->FindModule(module.guid) != nullptr) {
                Fail(Member(itemPath, "guid"), "another module of this filter has the same GUID");
            }
            driver->modules.push_back(std::move(module));
        }
    }
    // A module in the audio-module form must be reachable through the descriptor list.
    if (driver->audioModules) {
        for (size_t i = 0; i < driver->modules.size(); ++i) {
            const VendorModule& module = driver->modules[i];
            if (!module.audioModuleForm) {
                continue;
            }
            bool listed = false;
            for (const AudioModuleDescriptor& entry : *driver->audioModules) {
                listed = listed || (IsEqualGUID(entry.classId, module.classId) &&
                                    entry.instanceId == module.instanceId);
            }
            if (!listed) {
                Fail(Index(Member(path, "modules"), i),
                     "the module answers in the audio-module form, but \"audioModules\" lists no "
                     "entry with its class id and instance id");
            }
        }
    }
}

Part MakeConnector(const char* name, UINT pin, ConnectorType type, DataFlow flow) {
    Part part;
    part.name = name;
    part.kind = PartKind::Connector;
    part.localId = kConnectorIdBase | pin;
    part.connectorType = type;
    part.dataFlow = flow;
    return part;
}

Part MakeSubunit(const char* name, UINT node) {
    Part part;
    part.name = name;
    part.kind = PartKind::Subunit;
    part.localId = kSubunitIdBase | node;
    return part;
}

void Connect(Part* part, const WString& device, const char* name) {
    part->connectedDevice = device;
    part->connectedPart = name;
}

Json WriteBytesOrWords(const std::vector<uint8_t>& bytes, bool asWords) {
    Json json = Json::object();
    if (asWords && bytes.size() % 4 == 0 && !bytes.empty()) {
        Json words = Json::array();
        for (size_t i = 0; i < bytes.size(); i += 4) {
            const uint32_t word = static_cast<uint32_t>(bytes[i]) |
                                  (static_cast<uint32_t>(bytes[i + 1]) << 8) |
                                  (static_cast<uint32_t>(bytes[i + 2]) << 16) |
                                  (static_cast<uint32_t>(bytes[i + 3]) << 24);
            words.push_back(static_cast<int32_t>(word));
        }
        json["words"] = words;
    } else {
        json["bytes"] = bytes;
    }
    return json;
}

}  // namespace

void ReadTopology(const Json& json, const std::string& path, Topology* topology) {
    ExpectObject(json, path);
    CheckMembers(json, path, {"parts", "links"});
    if (json.contains("parts")) {
        const std::string p = Member(path, "parts");
        ExpectArray(json["parts"], p);
        for (size_t i = 0; i < json["parts"].size(); ++i) {
            const std::string itemPath = Index(p, i);
            Part part = ReadPart(json["parts"][i], itemPath);
            for (const Part& other : topology->parts) {
                if (other.name == part.name) {
                    Fail(Member(itemPath, "name"), "another part has the same name");
                }
                if (other.localId == part.localId) {
                    Fail(itemPath, "another part has the same local id");
                }
            }
            topology->parts.push_back(std::move(part));
        }
    }
    if (json.contains("links")) {
        const std::string p = Member(path, "links");
        ExpectArray(json["links"], p);
        for (size_t i = 0; i < json["links"].size(); ++i) {
            const std::string itemPath = Index(p, i);
            const Json& link = json["links"][i];
            if (!link.is_array() || link.size() != 2) {
                Fail(itemPath, "a link is a pair of part names: [\"from\", \"to\"]");
            }
            size_t ends[2] = {0, 0};
            for (size_t e = 0; e < 2; ++e) {
                const std::string name = GetString(link[e], Index(itemPath, e));
                const auto index = topology->IndexOf(name);
                if (!index) {
                    Fail(Index(itemPath, e), "no part of this topology is named " + link[e].dump());
                }
                ends[e] = *index;
            }
            if (ends[0] == ends[1]) {
                Fail(itemPath, "a part cannot link to itself");
            }
            topology->links.emplace_back(ends[0], ends[1]);
        }
    }
    // Selections name parts by local id or name; they must be parts the selector may choose.
    if (json.contains("parts")) {
        for (size_t i = 0; i < topology->parts.size(); ++i) {
            const Json& item = json["parts"][i];
            if (!item.contains("selection")) {
                continue;
            }
            const std::string p = Member(Index(Member(path, "parts"), i), "selection");
            const UINT id = ResolvePartRef(item["selection"], p, *topology);
            const Part& part = topology->parts[i];
            const std::vector<size_t> allowed = part.selector == SelectorKind::Input
                                                    ? topology->Incoming(i)
                                                    : topology->Outgoing(i);
            bool found = false;
            for (size_t index : allowed) {
                found = found || topology->parts[index].localId == id;
            }
            if (!found) {
                Fail(p, std::string("not a part linked ") +
                            (part.selector == SelectorKind::Input ? "into" : "from") +
                            " this selector");
            }
            topology->parts[i].selection = id;
        }
    }
}

void DefaultEndpointTopology(Device* endpoint) {
    endpoint->topology = Topology();
    endpoint->topology.parts.push_back(MakeConnector("connector", 0, Physical_External, In));
    endpoint->implicitTopology = true;
}

std::unique_ptr<Device> ReadFilter(const Json& json, const std::string& path) {
    ExpectObject(json, path);
    CheckMembers(
        json, path,
        {"id", "name", "state", "topology", "engines", "audioModules", "descriptorSizeQuery",
         "moduleListSizeQuery", "interfaceVersion", "modules", "requests"});
    auto filter = std::make_unique<Device>();
    filter->kind = DeviceKind::Filter;
    if (!json.contains("id")) {
        Fail(path, "a filter needs \"id\"");
    }
    filter->id = FromUtf8(GetString(json["id"], Member(path, "id")));
    if (filter->id.empty()) {
        Fail(Member(path, "id"), "a filter id cannot be empty");
    }
    if (json.contains("name")) {
        filter->name = FromUtf8(GetString(json["name"], Member(path, "name")));
    }
    if (json.contains("state")) {
        filter->state = ReadState(json["state"], Member(path, "state"));
    }
    if (json.contains("topology")) {
        ReadTopology(json["topology"], Member(path, "topology"), &filter->topology);
    }
    ReadDriverMembers(json, path, &filter->driver, {});
    // "requests" is the request log that earlier dumps wrote; it is read past, never kept.
    return filter;
}

void ReadRenderPath(const Json& json, const std::string& path, Device* endpoint,
                    std::vector<std::unique_ptr<Device>>* filters) {
    ExpectObject(json, path);
    CheckMembers(json, path,
                 {"topologyFilter", "waveFilter", "hostPin", "offloadPin", "loopbackPin",
                  "bridgePin", "engineNode", "engine", "audioModules", "descriptorSizeQuery",
                  "moduleListSizeQuery", "interfaceVersion", "modules"});
    const WString topologyId =
        json.contains("topologyFilter")
            ? FromUtf8(GetString(json["topologyFilter"], Member(path, "topologyFilter")))
            : endpoint->id + TEXT("#topology");
    const WString waveId = json.contains("waveFilter")
                               ? FromUtf8(GetString(json["waveFilter"], Member(path, "waveFilter")))
                               : endpoint->id + TEXT("#wave");
    if (topologyId.empty() || waveId.empty() || topologyId == waveId) {
        Fail(path, "the topology and wave filters need two different, non-empty ids");
    }
    auto pinOf = [&](const char* name, UINT fallback) {
        return json.contains(name)
                   ? static_cast<UINT>(GetInteger(json[name], Member(path, name), 0, 0xFFFF))
                   : fallback;
    };
    const UINT host = pinOf("hostPin", 0);
    const UINT offload = pinOf("offloadPin", 1);
    const UINT loopback = pinOf("loopbackPin", 2);
    const UINT bridge = pinOf("bridgePin", 3);
    const UINT engineNode = pinOf("engineNode", 0);
    const UINT pins[] = {host, offload, loopback, bridge};
    for (size_t i = 0; i < 4; ++i) {
        for (size_t j = i + 1; j < 4; ++j) {
            if (pins[i] == pins[j]) {
                Fail(path, "the wave filter's four pins need four different numbers");
            }
        }
    }

    // The endpoint: one connector, wired to the topology filter's speaker pin.
    endpoint->topology = Topology();
    Part endpointConnector = MakeConnector("connector", 0, Physical_External, In);
    Connect(&endpointConnector, topologyId, "speaker");
    endpoint->topology.parts.push_back(endpointConnector);

    // The topology filter: its input bridge pin, a volume node, the speaker pin.
    auto topologyFilter = std::make_unique<Device>();
    topologyFilter->kind = DeviceKind::Filter;
    topologyFilter->id = topologyId;
    topologyFilter->name = TEXT("Topology");
    Topology& t = topologyFilter->topology;
    Part topologyBridge = MakeConnector("bridge", 0, Physical_Internal, In);
    Connect(&topologyBridge, waveId, "bridge");
    t.parts.push_back(topologyBridge);
    t.parts.push_back(MakeSubunit("volume", 0));
    Part speaker = MakeConnector("speaker", 1, Physical_External, Out);
    Connect(&speaker, endpoint->id, "connector");
    t.parts.push_back(speaker);
    t.links = {{0, 1}, {1, 2}};

    // The wave filter: host and offload pins into the audio engine, the engine out to the
    // bridge pin and the loopback pin.
    auto wave = std::make_unique<Device>();
    wave->kind = DeviceKind::Filter;
    wave->id = waveId;
    wave->name = TEXT("Wave");
    Topology& w = wave->topology;
    w.parts.push_back(MakeConnector("host", host, Software_IO, In));
    w.parts.push_back(MakeConnector("offload", offload, Software_IO, In));
    w.parts.push_back(MakeConnector("loopback", loopback, Software_IO, Out));
    w.parts.push_back(MakeSubunit("engine", engineNode));
    Part waveBridge = MakeConnector("bridge", bridge, Physical_Internal, Out);
    Connect(&waveBridge, topologyId, "bridge");
    w.parts.push_back(waveBridge);
    w.links = {{0, 3}, {1, 3}, {3, 4}, {3, 2}};
    const bool engine = !json.contains("engine") || GetBool(json["engine"], Member(path, "engine"));
    if (engine) {
        wave->driver.engines.push_back(EngineNode{engineNode, host, offload, loopback});
    }
    ReadDriverMembers(json, path, &wave->driver, {offload});
    filters->push_back(std::move(topologyFilter));
    filters->push_back(std::move(wave));
}

void ResolveConnections(Machine* machine, const std::vector<std::string>& paths) {
    for (size_t d = 0; d < machine->devices.size(); ++d) {
        Device& device = *machine->devices[d];
        for (size_t i = 0; i < device.topology.parts.size(); ++i) {
            Part& part = device.topology.parts[i];
            if (part.connectedDevice.empty()) {
                continue;
            }
            const std::string p =
                Member(Index(Member(Member(paths[d], "topology"), "parts"), i), "connectedTo");
            Device* remote = machine->FindDevice(part.connectedDevice);
            if (remote == nullptr) {
                Fail(p, "no device of the machine has the id \"" + ToUtf8(part.connectedDevice) +
                            "\"");
            }
            const auto index = remote->topology.IndexOf(part.connectedPart);
            if (!index || remote->topology.parts[*index].kind != PartKind::Connector) {
                Fail(p, "the device has no connector named \"" + part.connectedPart + "\"");
            }
            if (remote == &device && *index == i) {
                Fail(p, "a connector cannot connect to itself");
            }
            Part& other = remote->topology.parts[*index];
            if (other.connectedDevice.empty()) {
                other.connectedDevice = device.id;
                other.connectedPart = part.name;
            } else if (other.connectedDevice != device.id || other.connectedPart != part.name) {
                Fail(p, "the connector at the other end is connected elsewhere");
            }
        }
    }
}

Json WriteTopology(const Topology& topology) {
    Json parts = Json::array();
    for (const Part& part : topology.parts) {
        Json json = Json::object();
        json["name"] = part.name;
        const bool connector = part.kind == PartKind::Connector;
        json["kind"] = connector ? "connector" : "subunit";
        json["localId"] = part.localId;
        if (!IsEqualGUID(part.subType, GUID_NULL)) {
            json["subtype"] = FormatGuid(part.subType);
        }
        if (connector) {
            json["type"] = NameOf(part.connectorType, kConnectorTypes, std::size(kConnectorTypes));
            json["flow"] = part.dataFlow == In ? "in" : "out";
            if (!part.connectedDevice.empty()) {
                json["connectedTo"] =
                    Json{{"device", ToUtf8(part.connectedDevice)}, {"part", part.connectedPart}};
            }
        } else {
            if (part.selector != SelectorKind::None) {
                json["selector"] = part.selector == SelectorKind::Input ? "input" : "output";
            }
            if (part.mixer) {
                json["mixer"] = true;
            }
            if (part.selection) {
                json["selection"] = *part.selection;
            }
            if (!part.selections.empty()) {
                json["selections"] = part.selections;
            }
        }
        parts.push_back(json);
    }
    Json links = Json::array();
    for (const auto& [from, to] : topology.links) {
        links.push_back(Json::array({topology.parts[from].name, topology.parts[to].name}));
    }
    return Json{{"parts", parts}, {"links", links}};
}

void WriteFilterMembers(const Device& filter, Json* json) {
    const FilterDriver& driver = filter.driver;
    (*json)["topology"] = WriteTopology(filter.topology);
    Json engines = Json::array();
    for (const EngineNode& engine : driver.engines) {
        engines.push_back(Json{{"node", engine.node},
                               {"hostPin", engine.hostPin},
                               {"offloadPin", engine.offloadPin},
                               {"loopbackPin", engine.loopbackPin}});
    }
    (*json)["engines"] = engines;
    if (driver.audioModules) {
        Json list = Json::array();
        for (const AudioModuleDescriptor& entry : *driver.audioModules) {
            list.push_back(Json{{"classId", FormatGuid(entry.classId)},
                                {"instanceId", entry.instanceId},
                                {"versionMajor", entry.versionMajor},
                                {"versionMinor", entry.versionMinor},
                                {"name", ToUtf8(entry.name)}});
        }
        (*json)["audioModules"] = list;
    }
    (*json)["descriptorSizeQuery"] = SizeQueryName(driver.descriptorSizeQuery);
    (*json)["moduleListSizeQuery"] = SizeQueryName(driver.moduleListSizeQuery);
    (*json)["interfaceVersion"] = driver.interfaceVersion;
    Json modules = Json::array();
    for (const VendorModule& module : driver.modules) {
        Json m = Json::object();
        m["guid"] = FormatGuid(module.guid);
        const bool vendor = module.set == ModuleSet::Vendor;
        m["set"] = vendor ? "vendor" : "amd";
        m["type"] = module.type;
        m["name"] = module.name;
        m["version"] = module.version;
        if (vendor) {
            m["pins"] = module.pins;
            Json forms = Json::array();
            if (module.pinForm) {
                forms.push_back("pin");
            }
            if (module.audioModuleForm) {
                forms.push_back("audioModule");
            }
            m["forms"] = forms;
            m["classId"] = FormatGuid(module.classId);
            m["instanceId"] = module.instanceId;
            m["instantiated"] = module.instantiated;
        } else {
            m["present"] = module.present;
        }
        m["enabled"] = module.enabled;
        m["otherParams"] = module.acceptOthers ? "accept" : "refuse";
        m["otherLength"] = module.otherLength;
        Json params = Json::object();
        for (const auto& [id, param] : module.params) {
            Json value = WriteBytesOrWords(param.bytes, param.asWords);
            if (param.bytes.empty()) {
                value = Json{{"length", 0}};
            }
            if (param.fixedLength) {
                value["fixed"] = true;
            }
            params[std::to_string(id)] = value;
        }
        m["params"] = params;
        modules.push_back(m);
    }
    (*json)["modules"] = modules;
}

}  // namespace vexsim
