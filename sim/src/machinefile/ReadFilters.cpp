#include "machinefile/ReadFilters.h"

#include "KsAudioModule.h"
#include "common/Text.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <limits>

namespace vexsim {

namespace {

// ---- topology --------------------------------------------------------------------------------

Part ReadPart(const Json& json, const std::string& path) {
    ExpectMembers(json, path,
                  {"name", "kind", "pin", "node", "localId", "subtype", "type", "flow",
                   "connectedTo", "selector", "selection", "selections", "mixer"});
    Part part;
    part.name =
        GetString(Require(json, path, "name", "a part needs \"name\""), Member(path, "name"));
    if (part.name.empty()) {
        Fail(Member(path, "name"), "a part name cannot be empty");
    }
    const Json& kindJson =
        Require(json, path, "kind", "a part needs \"kind\" (connector or subunit)");
    part.kind = static_cast<PartKind>(
        ReadName(kindJson, Member(path, "kind"), "part kind", {"connector", "subunit"}));
    const std::string kind = kindJson.get<std::string>();
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
    ReadMember(json, path, "subtype", &part.subType, GetGuid);
    ReadMember(json, path, "type", &part.connectorType,
               [](const Json& value, const std::string& p) {
                   return ReadName(value, p, "connector type", kConnectorTypeNames, ", ");
               });
    ReadMember(json, path, "flow", &part.dataFlow, [](const Json& value, const std::string& p) {
        return ReadName(value, p, "data flow", {"in", "out"});  // In is 0
    });
    if (json.contains("connectedTo")) {
        const std::string p = Member(path, "connectedTo");
        const Json& to = json["connectedTo"];
        ExpectMembers(to, p, {"device", "part"});
        if (!to.contains("device") || !to.contains("part")) {
            Fail(p, "a connection needs \"device\" and \"part\"");
        }
        part.connectedDevice = GetText(to["device"], Member(p, "device"));
        part.connectedPart = GetString(to["part"], Member(p, "part"));
    }
    ReadMember(json, path, "selector", &part.selector, [](const Json& value, const std::string& p) {
        return ReadName(value, p, "selector", {"input", "output"}) + 1;  // after None
    });
    ReadMember(json, path, "mixer", &part.mixer, GetBool);
    if ((json.contains("selection") || json.contains("selections")) &&
        part.selector == SelectorKind::None) {
        Fail(path, "only a selector has a selection");
    }
    ReadMember(json, path, "selections", &part.selections, GetList<UINT, GetU32>);
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
    ExpectMembers(json, path, {"words", "bytes", "text", "length", "fixed"});
    ModuleParam param;
    const int given = static_cast<int>(json.contains("words")) +
                      static_cast<int>(json.contains("bytes")) +
                      static_cast<int>(json.contains("text"));
    param.asWords = !json.contains("bytes") && !json.contains("text");
    ReadMember(json, path, "words", &param.bytes, GetWords);
    ReadMember(json, path, "bytes", &param.bytes, GetBytes);
    if (json.contains("text")) {
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
    ReadMember(json, path, "fixed", &param.fixedLength, GetBool);
    return param;
}

VendorModule ReadModule(const Json& json, const std::string& path,
                        const std::vector<ULONG>& defaultPins) {
    ExpectMembers(
        json, path,
        {"guid", "set", "type", "name", "version", "pins", "forms", "classId", "instanceId",
         "enabled", "instantiated", "present", "otherParams", "otherLength", "params"});
    VendorModule module;
    module.guid =
        GetGuid(Require(json, path, "guid", "a module needs \"guid\""), Member(path, "guid"));
    ReadMember(json, path, "set", &module.set, [](const Json& value, const std::string& p) {
        return ReadName(value, p, "module set", {"vendor", "amd"});
    });
    const bool vendor = module.set == ModuleSet::Vendor;
    for (const char* member : {"pins", "forms", "classId", "instanceId", "instantiated"}) {
        if (!vendor && json.contains(member)) {
            Fail(Member(path, member), std::string("an AMD-type module has no \"") + member + "\"");
        }
    }
    if (vendor && json.contains("present")) {
        Fail(Member(path, "present"), "only an AMD-type module has \"present\"");
    }
    ReadMember(json, path, "type", &module.type, [](const Json& value, const std::string& p) {
        return value.is_string() ? ReadName(value, p, "module type", {"SFX", "MFX", "EFX"}, ", ")
                                 : GetU32(value, p);
    });
    ReadMember(json, path, "name", &module.name, GetString);
    ReadMember(json, path, "version", &module.version, GetString);
    if (vendor) {
        module.pins = defaultPins;
        ReadMember(json, path, "pins", &module.pins, GetList<ULONG, GetU32>);
        if (module.pins.empty()) {
            Fail(path, "a vendor module needs \"pins\", the pins it answers on");
        }
        if (json.contains("forms")) {
            const std::string p = Member(path, "forms");
            ExpectArray(json["forms"], p);
            module.pinForm = false;
            for (size_t i = 0; i < json["forms"].size(); ++i) {
                const size_t form =
                    ReadName(json["forms"][i], Index(p, i), "form", {"pin", "audioModule"});
                (form == 0 ? module.pinForm : module.audioModuleForm) = true;
            }
            if (!module.pinForm && !module.audioModuleForm) {
                Fail(p, "a vendor module answers in at least one form");
            }
        }
        module.classId = VendorKs::kAudioModuleClass;
        ReadMember(json, path, "classId", &module.classId, GetGuid);
        ReadMember(json, path, "instanceId", &module.instanceId, GetU32);
        ReadMember(json, path, "instantiated", &module.instantiated, GetBool);
    }
    ReadMember(json, path, "enabled", &module.enabled, GetBool);
    ReadMember(json, path, "present", &module.present, GetBool);
    ReadMember(json, path, "otherParams", &module.acceptOthers,
               [](const Json& value, const std::string& p) {
                   return ReadName(value, p, "choice", {"accept", "refuse"}) == 0;
               });
    ReadMember(json, path, "otherLength", &module.otherLength,
               [](const Json& value, const std::string& p) {
                   return GetInteger(value, p, 0, VendorKs::kParamDataCapacity);
               });
    if (json.contains("params")) {
        const std::string p = Member(path, "params");
        ExpectObject(json["params"], p);
        for (const auto& item : json["params"].items()) {
            const std::string itemPath = Member(p, item.key());
            char* end = nullptr;
            const unsigned long long id = std::strtoull(item.key().c_str(), &end, 10);
            if (item.key().empty() || *end != 0 || id > 0xFFFFFFFFull ||
                !std::isdigit(static_cast<unsigned char>(item.key()[0]))) {
                Fail(itemPath, "a parameter is named by its decimal id");
            }
            module.params[static_cast<ULONG>(id)] = ReadParam(item.value(), itemPath);
        }
    }
    return module;
}

AudioModuleDescriptor ReadDescriptor(const Json& json, const std::string& path) {
    ExpectMembers(json, path, {"classId", "instanceId", "versionMajor", "versionMinor", "name"});
    AudioModuleDescriptor entry;
    entry.classId = VendorKs::kAudioModuleClass;
    ReadMember(json, path, "classId", &entry.classId, GetGuid);
    ReadMember(json, path, "instanceId", &entry.instanceId, GetU32);
    ReadMember(json, path, "versionMajor", &entry.versionMajor, GetU32);
    ReadMember(json, path, "versionMinor", &entry.versionMinor, GetU32);
    ReadMember(json, path, "name", &entry.name, GetText);
    return entry;
}

// The members of a filter's and a render path's wave filter that ReadDriverMembers reads, added
// to the object's own. A render path builds its engine itself, so only a filter takes "engines".
std::vector<const char*> WithDriverMembers(std::vector<const char*> members) {
    members.insert(members.end(), {"audioModules", "descriptorSizeQuery", "moduleListSizeQuery",
                                   "interfaceVersion", "modules"});
    return members;
}

void ReadDriverMembers(const Json& json, const std::string& path, FilterDriver* driver,
                       const std::vector<ULONG>& defaultPins) {
    if (json.contains("engines")) {
        const std::string p = Member(path, "engines");
        ExpectArray(json["engines"], p);
        for (size_t i = 0; i < json["engines"].size(); ++i) {
            const Json& item = json["engines"][i];
            const std::string itemPath = Index(p, i);
            ExpectMembers(item, itemPath, {"node", "hostPin", "offloadPin", "loopbackPin"});
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
    ReadMember(json, path, "audioModules", &driver->audioModules,
               GetList<AudioModuleDescriptor, ReadDescriptor>);
    const auto readSizeQuery = [](const Json& value, const std::string& p) {
        return ReadName(value, p, "size-query answer", kSizeQueryNames);
    };
    ReadMember(json, path, "descriptorSizeQuery", &driver->descriptorSizeQuery, readSizeQuery);
    ReadMember(json, path, "moduleListSizeQuery", &driver->moduleListSizeQuery, readSizeQuery);
    ReadMember(
        json, path, "interfaceVersion", &driver->interfaceVersion,
        [](const Json& value, const std::string& p) { return GetInteger(value, p, 0, 255); });
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

}  // namespace

void ReadTopology(const Json& json, const std::string& path, Topology* topology) {
    ExpectMembers(json, path, {"parts", "links"});
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
    ExpectMembers(json, path,
                  WithDriverMembers({"id", "name", "state", "topology", "engines", "requests"}));
    auto filter = std::make_unique<Device>();
    filter->kind = DeviceKind::Filter;
    filter->id = GetText(Require(json, path, "id", "a filter needs \"id\""), Member(path, "id"));
    if (filter->id.empty()) {
        Fail(Member(path, "id"), "a filter id cannot be empty");
    }
    ReadMember(json, path, "name", &filter->name, GetText);
    ReadMember(json, path, "state", &filter->state, ReadState);
    if (json.contains("topology")) {
        ReadTopology(json["topology"], Member(path, "topology"), &filter->topology);
    }
    ReadDriverMembers(json, path, &filter->driver, {});
    // "requests" is the request log that earlier dumps wrote; it is read past, never kept.
    return filter;
}

void ReadRenderPath(const Json& json, const std::string& path, Device* endpoint,
                    std::vector<std::unique_ptr<Device>>* filters) {
    ExpectMembers(json, path,
                  WithDriverMembers({"topologyFilter", "waveFilter", "hostPin", "offloadPin",
                                     "loopbackPin", "bridgePin", "engineNode", "engine"}));
    WString topologyId = endpoint->id + TEXT("#topology");
    WString waveId = endpoint->id + TEXT("#wave");
    ReadMember(json, path, "topologyFilter", &topologyId, GetText);
    ReadMember(json, path, "waveFilter", &waveId, GetText);
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

}  // namespace vexsim
