// Writing a machine back in the machine-file format, with the values as they are now.
#include "machinefile/MachineFile.h"

#include "SystemGuids.h"
#include "common/JsonSupport.h"
#include "common/Text.h"
#include "machinefile/ReadFilters.h"

namespace vexsim {

namespace {

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
            json.update(BytesOrWords(value.bytes, value.blobAsWords));
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
            json["type"] = kConnectorTypeNames[part.connectorType];
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
    (*json)["descriptorSizeQuery"] = kSizeQueryNames[static_cast<int>(driver.descriptorSizeQuery)];
    (*json)["moduleListSizeQuery"] = kSizeQueryNames[static_cast<int>(driver.moduleListSizeQuery)];
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
            Json value = param.bytes.empty() ? Json{{"length", 0}}
                                             : BytesOrWords(param.bytes, param.asWords);
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

}  // namespace

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
