#include "Capture.h"

#include "EndpointList.h"
#include "Failure.h"
#include "Text.h"

#include "KsAudioModule.h"
#include "PolicyConfig.h"
#include "SystemGuids.h"
#include "discovery/ModuleRequest.h"
#include "discovery/ModuleTables.h"
#include "parameters/ParameterTable.h"
#include "util/ComPtr.h"
#include "util/ScopedCoMem.h"
#include "util/ScopedPropVariant.h"
#include "util/ScopedRegKey.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <set>

namespace vexctl {

namespace {

const char* const kStateNames[] = {"active", "disabled", "notpresent", "unplugged"};
const char* const kRoleNames[] = {"console", "multimedia", "communications"};
const char* const kConnectorTypeNames[] = {"Unknown_Connector", "Physical_Internal",
                                           "Physical_External", "Software_IO",
                                           "Software_Fixed",    "Network"};
// The wrapper effect's registry key and the values the library reads there.
const WCHAR kWrapperKey[] = TEXT("SOFTWARE\\Tembra\\Wrapper\\");
const char kWrapperKeyText[] = "SOFTWARE\\Tembra\\Wrapper\\";
const char* const kWrapperValues[] = {"APO_SFX", "APO_OSFX", "APO_MFX", "APO_EFX", "APO_OMFX"};
// The FX store's pids that are read: the effect stages and their composite lists, and the
// neighbours that a system may keep beside them.
constexpr DWORD kFxPids = 32;

std::string ResultString(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX",
                  static_cast<unsigned long>(static_cast<uint32_t>(hr)));
    return text;
}

std::string Utf8(const WCHAR* text) {
    return text == nullptr ? std::string() : ToUtf8(WString(text));
}

// Collects what was left out, each note once.
class Notes {
public:
    void Add(const std::string& note) {
        if (m_seen.insert(note).second) {
            m_notes.push_back(note);
        }
    }
    std::vector<std::string> Take() { return std::move(m_notes); }

private:
    std::set<std::string> m_seen;
    std::vector<std::string> m_notes;
};

Json Words(const BYTE* bytes, size_t length) {
    Json words = Json::array();
    for (size_t i = 0; i + 4 <= length; i += 4) {
        uint32_t word = 0;
        std::memcpy(&word, bytes + i, 4);
        words.push_back(word);
    }
    return words;
}

// Bytes as the machine file takes them: words when they are whole words, else bytes.
Json BytesMember(const BYTE* bytes, size_t length) {
    if (length % 4 == 0) {
        return Json{{"words", Words(bytes, length)}};
    }
    return Json{{"bytes", std::vector<BYTE>(bytes, bytes + length)}};
}

// A stored value in the machine file's long form; nullopt for a type the simulator does not
// keep.
std::optional<Json> ValueJson(const PROPVARIANT& value) {
    Json json = Json::object();
    const auto texts = [](auto elements, ULONG count) {
        Json list = Json::array();
        for (ULONG i = 0; i < count; ++i) {
            list.push_back(Utf8(elements[i]));
        }
        return list;
    };
    switch (value.vt) {
        case VT_EMPTY:
            json["type"] = "VT_EMPTY";
            break;
        case VT_I2:
            json = {{"type", "VT_I2"}, {"value", value.iVal}};
            break;
        case VT_UI2:
            json = {{"type", "VT_UI2"}, {"value", value.uiVal}};
            break;
        case VT_I4:
            json = {{"type", "VT_I4"}, {"value", static_cast<int32_t>(value.lVal)}};
            break;
        case VT_UI4:
            json = {{"type", "VT_UI4"}, {"value", static_cast<uint32_t>(value.ulVal)}};
            break;
        case VT_I8: {
            int64_t number = 0;
            std::memcpy(&number, &value.hVal, sizeof number);
            json = {{"type", "VT_I8"}, {"value", number}};
            break;
        }
        case VT_UI8: {
            uint64_t number = 0;
            std::memcpy(&number, &value.uhVal, sizeof number);
            json = {{"type", "VT_UI8"}, {"value", number}};
            break;
        }
        case VT_UI1:
            json = {{"type", "VT_UI1"}, {"value", value.bVal}};
            break;
        case VT_BOOL:
            json = {{"type", "VT_BOOL"}, {"value", value.boolVal != 0}};
            break;
        case VT_LPWSTR:
            json = {{"type", "VT_LPWSTR"}, {"value", Utf8(value.pwszVal)}};
            break;
        case VT_BSTR:
            json = {{"type", "VT_BSTR"}, {"value", Utf8(value.bstrVal)}};
            break;
        case VT_CLSID:
            if (value.puuid == nullptr) {
                return std::nullopt;
            }
            json = {{"type", "VT_CLSID"}, {"value", GuidText(*value.puuid)}};
            break;
        case VT_BLOB:
            if (value.blob.cbSize > 0 && value.blob.pBlobData == nullptr) {
                return std::nullopt;
            }
            json = {{"type", "VT_BLOB"}};
            json.update(BytesMember(value.blob.pBlobData, value.blob.cbSize));
            break;
        case VT_VECTOR | VT_UI1:
            json = {{"type", "VT_VECTOR|VT_UI1"},
                    {"value",
                     std::vector<BYTE>(value.caub.pElems, value.caub.pElems + value.caub.cElems)}};
            break;
        case VT_VECTOR | VT_I4: {
            Json list = Json::array();
            for (ULONG i = 0; i < value.cal.cElems; ++i) {
                list.push_back(static_cast<int32_t>(value.cal.pElems[i]));
            }
            json = {{"type", "VT_VECTOR|VT_I4"}, {"value", list}};
            break;
        }
        case VT_VECTOR | VT_UI4: {
            Json list = Json::array();
            for (ULONG i = 0; i < value.caul.cElems; ++i) {
                list.push_back(static_cast<uint32_t>(value.caul.pElems[i]));
            }
            json = {{"type", "VT_VECTOR|VT_UI4"}, {"value", list}};
            break;
        }
        case VT_VECTOR | VT_LPWSTR:
            json = {{"type", "VT_VECTOR|VT_LPWSTR"},
                    {"value", texts(value.calpwstr.pElems, value.calpwstr.cElems)}};
            break;
        case VT_VECTOR | VT_BSTR:
            json = {{"type", "VT_VECTOR|VT_BSTR"},
                    {"value", texts(value.cabstr.pElems, value.cabstr.cElems)}};
            break;
        default:
            return std::nullopt;
    }
    return json;
}

// The device's property store, every key that GetCount and GetAt give.
Json StoreProperties(IPropertyStore* store, Notes* notes) {
    Json properties = Json::object();
    DWORD count = 0;
    if (FAILED(store->GetCount(&count))) {
        notes->Add("a property store did not give its count; its values are left out");
        return properties;
    }
    for (DWORD i = 0; i < count; ++i) {
        PROPERTYKEY key{};
        ScopedPropVariant value;
        if (FAILED(store->GetAt(i, &key)) || FAILED(store->GetValue(key, value.Receive()))) {
            notes->Add("a property that a store lists could not be read; it is left out");
            continue;
        }
        if (std::optional<Json> json = ValueJson(value.Get())) {
            properties[KeyText(key)] = std::move(*json);
        } else {
            notes->Add("property values of types the simulator does not keep are left out (" +
                       KeyText(key) + " is of type " + std::to_string(value.Type()) + ")");
        }
    }
    return properties;
}

// ---- device topology ------------------------------------------------------------------------

struct PartInfo {
    UINT localId = 0;
    std::string name;
    bool connector = false;
    GUID subType{};
    ConnectorType type = Unknown_Connector;
    DataFlow flow = In;
    std::optional<std::pair<std::string, UINT>> connectedTo;  // device id, local id
    std::vector<UINT> outgoing;
    const char* selector = nullptr;
    std::optional<UINT> selection;
};

UINT LocalIdOf(IPart* part) {
    UINT id = 0;
    return SUCCEEDED(part->GetLocalId(&id)) ? id : 0;
}

std::optional<PartInfo> ReadPart(IPart* part, bool connector) {
    PartInfo info;
    info.connector = connector;
    if (FAILED(part->GetLocalId(&info.localId))) {
        return std::nullopt;
    }
    ScopedCoMem<WCHAR> name;
    if (SUCCEEDED(part->GetName(name.Receive()))) {
        info.name = Utf8(name.Get());
    }
    if (FAILED(part->GetSubType(&info.subType))) {
        info.subType = GUID_NULL;
    }
    ComPtr<IPartsList> outgoing;
    UINT count = 0;
    if (SUCCEEDED(Received(part->EnumPartsOutgoing(outgoing.Receive()), outgoing)) &&
        SUCCEEDED(outgoing->GetCount(&count))) {
        for (UINT i = 0; i < count; ++i) {
            ComPtr<IPart> next;
            if (SUCCEEDED(Received(outgoing->GetPart(i, next.Receive()), next))) {
                info.outgoing.push_back(LocalIdOf(next.Get()));
            }
        }
    }
    if (!connector) {
        ComPtr<IAudioOutputSelector> output;
        ComPtr<IAudioInputSelector> input;
        UINT selection = 0;
        if (SUCCEEDED(Received(
                part->Activate(CLSCTX_ALL, Guids::kIidIAudioOutputSelector, output.ReceiveVoid()),
                output))) {
            info.selector = "output";
            if (SUCCEEDED(output->GetSelection(&selection))) {
                info.selection = selection;
            }
        } else if (SUCCEEDED(Received(part->Activate(CLSCTX_ALL, Guids::kIidIAudioInputSelector,
                                                     input.ReceiveVoid()),
                                      input))) {
            info.selector = "input";
            if (SUCCEEDED(input->GetSelection(&selection))) {
                info.selection = selection;
            }
        }
    }
    return info;
}

void ReadConnection(IConnector* connector, PartInfo* info) {
    BOOL connected = FALSE;
    if (FAILED(connector->GetType(&info->type))) {
        info->type = Unknown_Connector;
    }
    if (FAILED(connector->GetDataFlow(&info->flow))) {
        info->flow = In;
    }
    if (FAILED(connector->IsConnected(&connected)) || !connected) {
        return;
    }
    ComPtr<IConnector> other;
    ComPtr<IPart> otherPart;
    ScopedCoMem<WCHAR> device;
    if (SUCCEEDED(Received(connector->GetConnectedTo(other.Receive()), other)) &&
        SUCCEEDED(other.QueryInterface(Guids::kIidIPart, &otherPart)) &&
        SUCCEEDED(connector->GetDeviceIdConnectedTo(device.Receive())) && device.Get() != nullptr) {
        info->connectedTo = std::make_pair(Utf8(device.Get()), LocalIdOf(otherPart.Get()));
    }
}

// The parts of a device; nullopt when it offers no device topology.
std::optional<std::vector<PartInfo>> ReadTopology(IMMDevice* device) {
    ComPtr<IDeviceTopology> topology;
    if (FAILED(Received(device->Activate(Guids::kIidIDeviceTopology, CLSCTX_ALL, nullptr,
                                         topology.ReceiveVoid()),
                        topology))) {
        return std::nullopt;
    }
    std::vector<PartInfo> parts;
    UINT connectors = 0;
    UINT subunits = 0;
    if (FAILED(topology->GetConnectorCount(&connectors)) ||
        FAILED(topology->GetSubunitCount(&subunits))) {
        return std::nullopt;
    }
    for (UINT i = 0; i < connectors; ++i) {
        ComPtr<IConnector> connector;
        ComPtr<IPart> part;
        if (FAILED(Received(topology->GetConnector(i, connector.Receive()), connector)) ||
            FAILED(connector.QueryInterface(Guids::kIidIPart, &part))) {
            continue;
        }
        if (std::optional<PartInfo> info = ReadPart(part.Get(), true)) {
            ReadConnection(connector.Get(), &*info);
            parts.push_back(std::move(*info));
        }
    }
    for (UINT i = 0; i < subunits; ++i) {
        ComPtr<ISubunit> subunit;
        ComPtr<IPart> part;
        if (FAILED(Received(topology->GetSubunit(i, subunit.Receive()), subunit)) ||
            FAILED(subunit.QueryInterface(Guids::kIidIPart, &part))) {
            continue;
        }
        if (std::optional<PartInfo> info = ReadPart(part.Get(), false)) {
            parts.push_back(std::move(*info));
        }
    }
    // A part is named by what GetName gives; a name given twice (or none) gets the local id.
    std::set<std::string> names;
    for (PartInfo& part : parts) {
        if (part.name.empty() || !names.insert(part.name).second) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, "#%08X", part.localId);
            part.name += suffix;
            names.insert(part.name);
        }
    }
    return parts;
}

const PartInfo* PartWithId(const std::vector<PartInfo>& parts, UINT localId) {
    for (const PartInfo& part : parts) {
        if (part.localId == localId) {
            return &part;
        }
    }
    return nullptr;
}

using Topologies = std::map<std::string, std::vector<PartInfo>>;

Json TopologyJson(const std::vector<PartInfo>& parts, const Topologies& all) {
    Json list = Json::array();
    Json links = Json::array();
    for (const PartInfo& part : parts) {
        Json json = Json::object();
        json["name"] = part.name;
        json["kind"] = part.connector ? "connector" : "subunit";
        json["localId"] = part.localId;
        if (!IsEqualGUID(part.subType, GUID_NULL)) {
            json["subtype"] = GuidText(part.subType);
        }
        if (part.connector) {
            const int type = static_cast<int>(part.type);
            json["type"] = type >= 0 && type < 6 ? kConnectorTypeNames[type] : "Unknown_Connector";
            json["flow"] = part.flow == In ? "in" : "out";
            if (part.connectedTo) {
                const auto device = all.find(part.connectedTo->first);
                const PartInfo* other = device == all.end()
                                            ? nullptr
                                            : PartWithId(device->second, part.connectedTo->second);
                if (other != nullptr) {
                    json["connectedTo"] =
                        Json{{"device", part.connectedTo->first}, {"part", other->name}};
                }
            }
        } else if (part.selector != nullptr) {
            json["selector"] = part.selector;
            if (part.selection && PartWithId(parts, *part.selection) != nullptr) {
                json["selection"] = *part.selection;
            }
        }
        for (UINT to : part.outgoing) {
            if (const PartInfo* next = PartWithId(parts, to)) {
                links.push_back(Json::array({part.name, next->name}));
            }
        }
        list.push_back(std::move(json));
    }
    return Json{{"parts", list}, {"links", links}};
}

// ---- the filters' answers to kernel-streaming requests ----------------------------------------

constexpr UINT kPinIds = 0x00010000;
constexpr UINT kNodeIds = 0x00020000;
constexpr HRESULT kMoreData = HRESULT_FROM_WIN32(ERROR_MORE_DATA);

// The module parameters that the library reads on the DSP route.
std::vector<ULONG> ModuleParameterIds() {
    std::set<ULONG> ids = {kBypassParam};
    for (const ParameterRow& row : ParameterRows()) {
        if (!row.OnDsp()) {
            continue;
        }
        const ULONG first = static_cast<ULONG>(row.moduleParam);
        const ULONG channels = row.dsp == DspShape::Channels ? 8 : 1;
        for (ULONG i = 0; i < channels; ++i) {
            ids.insert(first + i);
        }
    }
    return {ids.begin(), ids.end()};
}

// The read flag of a parameter get, as the library sends it.
uint8_t ReadFlag(ULONG id) {
    constexpr ULONG kWithoutFlag[] = {30, 31, 41, 42, 54, 55, 62, 63};
    return std::find(std::begin(kWithoutFlag), std::end(kWithoutFlag), id) != std::end(kWithoutFlag)
               ? 0
               : 1;
}

struct ModuleInfo {
    GUID guid{};
    ULONG type = 0;
    std::string name;
    std::string version;
    std::vector<ULONG> pins;
    bool pinForm = false;
    std::optional<AudioModuleAddress> address;  // the audio-module form
};

std::string NarrowText(const char* text, size_t capacity) {
    return std::string(text, strnlen(text, capacity));
}

class FilterCapture {
public:
    FilterCapture(std::string filterId, IKsControl* control, const std::vector<PartInfo>& parts,
                  Json* faults, Notes* notes)
        : m_filterId(std::move(filterId)),
          m_control(control),
          m_parts(parts),
          m_faults(faults),
          m_notes(notes) {}

    void Write(Json* filter) {
        Engines(filter);
        AudioModules(filter);
        for (const PartInfo& part : m_parts) {
            if (part.connector && (part.localId & 0xFFFF0000u) == kPinIds) {
                const ULONG pin = part.localId & 0xFFFFu;
                VendorModules(pin, nullptr);
                for (const AudioModuleAddress& address : m_addresses) {
                    VendorModules(pin, &address);
                }
            }
        }
        if (m_interfaceVersion) {
            (*filter)["interfaceVersion"] = *m_interfaceVersion;
        }
        if (m_listSizeQuery) {
            (*filter)["moduleListSizeQuery"] = *m_listSizeQuery;
        }
        Json modules = Json::array();
        for (const ModuleInfo& module : m_modules) {
            modules.push_back(VendorModuleJson(module));
        }
        AmdModules(&modules);
        (*filter)["modules"] = modules;
    }

private:
    void Engines(Json* filter) {
        Json engines = Json::array();
        for (const PartInfo& part : m_parts) {
            if (part.connector || (part.localId & 0xFFFF0000u) != kNodeIds) {
                continue;
            }
            KSAUDIOENGINE_DESCRIPTOR descriptor{};
            ULONG returned = 0;
            const ULONG node = part.localId & 0xFFFFu;
            const HRESULT hr =
                ModuleRequest::Node(KSPROPSETID_AudioEngine, KSPROPERTY_AUDIOENGINE_DESCRIPTOR,
                                    KSPROPERTY_TYPE_GET, node)
                    .Send(m_control, &descriptor, sizeof descriptor, &returned);
            if (SUCCEEDED(hr) && returned >= sizeof descriptor) {
                engines.push_back(Json{{"node", node},
                                       {"hostPin", descriptor.nHostPinId},
                                       {"offloadPin", descriptor.nOffloadPinId},
                                       {"loopbackPin", descriptor.nLoopbackPinId}});
            }
        }
        (*filter)["engines"] = engines;
    }

    void AudioModules(Json* filter) {
        ModuleRequest request = ModuleRequest::Property(
            KSPROPSETID_AudioModule, KSPROPERTY_AUDIOMODULE_DESCRIPTORS, KSPROPERTY_TYPE_GET);
        ULONG size = 0;
        HRESULT hr = request.Send(m_control, nullptr, 0, &size);
        if ((FAILED(hr) && hr != kMoreData) || size < sizeof(KSMULTIPLE_ITEM)) {
            return;  // the filter offers no audio-module descriptors
        }
        (*filter)["descriptorSizeQuery"] = hr == kMoreData ? "ERROR_MORE_DATA" : "S_OK";
        std::vector<BYTE> bytes(size, 0);
        ULONG returned = 0;
        hr = request.Send(m_control, bytes.data(), size, &returned);
        KSMULTIPLE_ITEM header{};
        if (FAILED(hr) || returned < sizeof header) {
            return;
        }
        std::memcpy(&header, bytes.data(), sizeof header);
        Json list = Json::array();
        for (ULONG i = 0; i < header.Count; ++i) {
            const size_t offset = sizeof header + i * sizeof(KSAUDIOMODULE_DESCRIPTOR);
            if (offset + sizeof(KSAUDIOMODULE_DESCRIPTOR) > returned) {
                break;
            }
            KSAUDIOMODULE_DESCRIPTOR entry{};
            std::memcpy(&entry, bytes.data() + offset, sizeof entry);
            entry.Name[AUDIOMODULE_MAX_NAME_CCH_SIZE - 1] = 0;
            m_addresses.push_back({entry.ClassId, entry.InstanceId});
            list.push_back(Json{{"classId", GuidText(entry.ClassId)},
                                {"instanceId", entry.InstanceId},
                                {"versionMajor", entry.VersionMajor},
                                {"versionMinor", entry.VersionMinor},
                                {"name", Utf8(entry.Name)}});
        }
        (*filter)["audioModules"] = list;
    }

    // The vendor set's interface version and module list on one pin, in one form.
    void VendorModules(ULONG pin, const AudioModuleAddress* wrap) {
        BYTE version[VendorKs::kInterfaceVersionSize] = {};
        ULONG returned = 0;
        HRESULT hr =
            ModuleRequest::Vendor(VendorKs::kInterfaceVersion, KSPROPERTY_TYPE_GET, pin, wrap)
                .Send(m_control, version, sizeof version, &returned);
        if (FAILED(hr) || returned < 1) {
            return;  // no module answers on this pin in this form
        }
        const ULONG versionReturned = std::min<ULONG>(returned, sizeof version);
        if (!m_interfaceVersion) {
            m_interfaceVersion = version[0];
        }
        const auto listRequest = [&] {
            ModuleRequest request =
                ModuleRequest::Vendor(VendorKs::kModuleList, KSPROPERTY_TYPE_GET, pin, wrap);
            request.AppendGuid(VendorKs::kModuleAddress);
            return request;
        };
        ULONG size = 0;
        const HRESULT sizeHr = listRequest().Send(m_control, nullptr, 0, &size);
        if ((FAILED(sizeHr) && sizeHr != kMoreData) || size < sizeof(VendorKs::ModuleListHeader)) {
            return;
        }
        std::vector<BYTE> bytes(size, 0);
        hr = listRequest().Send(m_control, bytes.data(), size, &returned);
        VendorKs::ModuleListHeader header{};
        if (FAILED(hr) || returned < sizeof header) {
            return;
        }
        std::memcpy(&header, bytes.data(), sizeof header);
        if (header.count == 0) {
            // The set answers on this pin but lists no module: no module of the file can say
            // that, so the answers are kept as faults that give them.
            KeepAnswers(pin, wrap, version, versionReturned, sizeHr, size, bytes.data(),
                        std::min<ULONG>(returned, size));
            return;
        }
        for (ULONG i = 0; i < header.count; ++i) {
            const size_t offset = sizeof header + i * sizeof(VendorKs::ModuleEntry);
            if (offset + sizeof(VendorKs::ModuleEntry) > returned) {
                break;
            }
            VendorKs::ModuleEntry entry{};
            std::memcpy(&entry, bytes.data() + offset, sizeof entry);
            ModuleInfo& module = ModuleNamed(entry.moduleGuid);
            module.type = entry.moduleType;
            module.name = NarrowText(entry.name, sizeof entry.name);
            module.version = NarrowText(entry.version, sizeof entry.version);
            if (std::find(module.pins.begin(), module.pins.end(), pin) == module.pins.end()) {
                module.pins.push_back(pin);
            }
            if (wrap == nullptr) {
                module.pinForm = true;
            } else if (!module.address) {
                module.address = *wrap;
            }
        }
        if (!m_listSizeQuery) {
            m_listSizeQuery = sizeHr == kMoreData ? "ERROR_MORE_DATA" : "S_OK";
        }
    }

    void KeepAnswers(ULONG pin, const AudioModuleAddress* wrap, const BYTE* version,
                     ULONG versionLength, HRESULT sizeHr, ULONG size, const BYTE* list,
                     ULONG listLength) {
        const auto fault = [&](const char* request, std::optional<bool> sizeQuery, Json answer,
                               HRESULT result) {
            Json json = Json::object();
            json["method"] = "IKsControl::KsProperty";
            json["endpoint"] = m_filterId;
            json["request"] = request;
            json["form"] = wrap == nullptr ? "pin" : "audioModule";
            json["pin"] = pin;
            if (sizeQuery) {
                json["sizeQuery"] = *sizeQuery;
            }
            json["answer"] = std::move(answer);
            json["result"] = ResultString(result);
            m_faults->push_back(std::move(json));
        };
        fault("interfaceVersion", std::nullopt,
              Json{{"bytes", Hex(version, versionLength)}, {"returned", versionLength}}, S_OK);
        fault("moduleList", true, Json{{"returned", size}}, sizeHr);
        fault("moduleList", false, Json{{"bytes", Hex(list, listLength)}, {"returned", listLength}},
              S_OK);
    }

    static std::string Hex(const BYTE* bytes, size_t length) {
        std::string text;
        char digits[3];
        for (size_t i = 0; i < length; ++i) {
            std::snprintf(digits, sizeof digits, "%02x", bytes[i]);
            text += digits;
        }
        return text;
    }

    ModuleInfo& ModuleNamed(const GUID& guid) {
        for (ModuleInfo& module : m_modules) {
            if (IsEqualGUID(module.guid, guid)) {
                return module;
            }
        }
        m_modules.push_back(ModuleInfo{});
        m_modules.back().guid = guid;
        return m_modules.back();
    }

    // A request to one module, in the form it was found in first.
    ModuleRequest ForModule(const ModuleInfo& module, ULONG id, ULONG flags) const {
        const AudioModuleAddress* wrap =
            module.pinForm || !module.address ? nullptr : &*module.address;
        ModuleRequest request = ModuleRequest::Vendor(id, flags, module.pins.front(), wrap);
        request.AppendModuleHeader(module.type, module.guid);
        return request;
    }

    Json VendorModuleJson(const ModuleInfo& module) {
        Json json = Json::object();
        json["guid"] = GuidText(module.guid);
        json["set"] = "vendor";
        json["type"] = module.type;
        json["name"] = module.name;
        json["version"] = module.version;
        json["pins"] = module.pins;
        Json forms = Json::array();
        if (module.pinForm) {
            forms.push_back("pin");
        }
        if (module.address) {
            forms.push_back("audioModule");
            json["classId"] = GuidText(module.address->classId);
            json["instanceId"] = module.address->instanceId;
        }
        json["forms"] = forms;
        BYTE state = 0;
        ULONG returned = 0;
        if (SUCCEEDED(ForModule(module, VendorKs::kInstantiationState, KSPROPERTY_TYPE_GET)
                          .Send(m_control, &state, sizeof state, &returned)) &&
            returned >= 1) {
            json["instantiated"] = state != 0;
        }
        if (SUCCEEDED(ForModule(module, VendorKs::kModuleEnable, KSPROPERTY_TYPE_GET)
                          .AppendU8(0)
                          .Send(m_control, &state, sizeof state, &returned)) &&
            returned >= 1) {
            json["enabled"] = state != 0;
        }
        json["params"] = Json::object();
        std::vector<BYTE> block(VendorKs::kParamBlockSize, 0);
        for (ULONG id : ModuleParameterIds()) {
            const HRESULT hr =
                ForModule(module, VendorKs::kModuleParameter, KSPROPERTY_TYPE_GET)
                    .AppendU32(id)
                    .AppendU8(ReadFlag(id))
                    .Send(m_control, block.data(), static_cast<ULONG>(block.size()), &returned);
            AddParam(hr, block, returned, VendorKs::kParamDataCapacity, id, &json);
        }
        return json;
    }

    // A parameter's value as the module answered it. A module that refuses a parameter the
    // library reads refuses, in the file, every parameter it does not list.
    static void AddParam(HRESULT hr, const std::vector<BYTE>& block, ULONG returned,
                         size_t capacity, ULONG id, Json* module) {
        Json* params = &(*module)["params"];
        ULONG length = 0;
        if (hr == HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER)) {
            (*module)["otherParams"] = "refuse";
        }
        if (FAILED(hr) || returned < sizeof length) {
            return;
        }
        std::memcpy(&length, block.data(), sizeof length);
        if (length > capacity || length > returned - sizeof length) {
            return;
        }
        (*params)[std::to_string(id)] =
            length == 0 ? Json{{"length", 0}} : BytesMember(block.data() + sizeof length, length);
    }

    // The AMD-type modules that the library probes for, present or not.
    void AmdModules(Json* modules) {
        bool answersWithoutModule = false;
        size_t found = 0;
        for (const auto& [guid, label] : AmdModuleVersionLabels) {
            (void)label;
            BYTE presence[VendorKs::kAmdPresenceSize] = {};
            ULONG returned = 0;
            HRESULT hr = ModuleRequest::Amd(VendorKs::kAmdModulePresence, KSPROPERTY_TYPE_GET, guid,
                                            VendorKs::kModuleTypeEfx, 0)
                             .Send(m_control, presence, sizeof presence, &returned);
            if (FAILED(hr) || returned < 1) {
                continue;
            }
            Json json = Json::object();
            json["guid"] = GuidText(guid);
            json["set"] = "amd";
            json["type"] = VendorKs::kModuleTypeEfx;
            json["present"] = presence[0] != 0;
            json["params"] = Json::object();
            std::vector<BYTE> block(VendorKs::kAmdParamBlockSize, 0);
            std::vector<ULONG> ids = ModuleParameterIds();
            ids.push_back(1001);  // the module's version text
            for (ULONG id : ids) {
                hr =
                    ModuleRequest::Amd(VendorKs::kAmdModuleParameter, KSPROPERTY_TYPE_GET, guid,
                                       VendorKs::kModuleTypeEfx, id)
                        .Send(m_control, block.data(), static_cast<ULONG>(block.size()), &returned);
                AddParam(hr, block, returned, VendorKs::kAmdParamBlockSize - 4, id, &json);
            }
            if (presence[0] == 0 && json["params"].empty()) {
                // The set answers for a module it does not have: not a module of the file.
                answersWithoutModule = true;
                continue;
            }
            modules->push_back(std::move(json));
            ++found;
        }
        if (answersWithoutModule && found == 0) {
            m_notes->Add(
                "a filter that answers the AMD-type set but has no such module is "
                "replayed without the set");
        }
    }

    std::string m_filterId;
    IKsControl* m_control;
    const std::vector<PartInfo>& m_parts;
    Json* m_faults;
    Notes* m_notes;
    std::vector<AudioModuleAddress> m_addresses;
    std::vector<ModuleInfo> m_modules;
    std::optional<int> m_interfaceVersion;
    std::optional<std::string> m_listSizeQuery;
};

// ---- the machine ----------------------------------------------------------------------------

const char* StateName(DWORD state) {
    switch (state) {
        case DEVICE_STATE_ACTIVE:
            return kStateNames[0];
        case DEVICE_STATE_DISABLED:
            return kStateNames[1];
        case DEVICE_STATE_NOTPRESENT:
            return kStateNames[2];
        default:
            return kStateNames[3];
    }
}

// The roles (bit per role) for which each endpoint is the default of its flow.
std::map<std::string, unsigned> DefaultRoles(IMMDeviceEnumerator* enumerator) {
    std::map<std::string, unsigned> roles;
    for (EDataFlow flow : {eRender, eCapture}) {
        for (int role = 0; role < 3; ++role) {
            ComPtr<IMMDevice> device;
            if (SUCCEEDED(Received(enumerator->GetDefaultAudioEndpoint(
                                       flow, static_cast<ERole>(role), device.Receive()),
                                   device))) {
                if (std::optional<std::string> id = IdOf(device.Get())) {
                    roles[*id] |= 1u << role;
                }
            }
        }
    }
    return roles;
}

Json FxProperties(IPolicyConfigVistaClient* policy, const std::string& id) {
    Json fx = Json::object();
    const WString wideId = ToUtf16(id);
    for (DWORD pid = 0; pid < kFxPids; ++pid) {
        const PROPERTYKEY key{FMTID_EndpointFxProperties, pid};
        ScopedPropVariant value;
        if (SUCCEEDED(policy->GetPropertyValue(wideId.c_str(), TRUE, key, value.Receive())) &&
            value.Type() != VT_EMPTY) {
            if (std::optional<Json> json = ValueJson(value.Get())) {
                fx[KeyText(key)] = std::move(*json);
            }
        }
    }
    return fx;
}

Json WrapperRegistry(Notes* notes) {
    ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWrapperKey, 0, KEY_READ, key.Receive()) !=
        ERROR_SUCCESS) {
        notes->Add("no wrapper registry key (HKLM\\" + std::string(kWrapperKeyText) +
                   ") on this system");
        return Json::object();
    }
    Json values = Json::object();
    for (const char* name : kWrapperValues) {
        const WString wideName = ToUtf16(name);
        DWORD type = 0;
        DWORD size = 0;
        if (RegGetValueW(key.Get(), nullptr, wideName.c_str(), RRF_RT_ANY, &type, nullptr, &size) !=
            ERROR_SUCCESS) {
            continue;
        }
        std::vector<BYTE> data(size + sizeof(WCHAR), 0);
        DWORD capacity = size;
        if (RegGetValueW(key.Get(), nullptr, wideName.c_str(), RRF_RT_ANY, &type, data.data(),
                         &capacity) != ERROR_SUCCESS) {
            continue;
        }
        if (type == REG_SZ) {
            WString text(capacity / sizeof(WCHAR), 0);
            std::memcpy(text.data(), data.data(), text.size() * sizeof(WCHAR));
            while (!text.empty() && text.back() == 0) {
                text.pop_back();
            }
            values[name] = ToUtf8(text);
        } else if (type == REG_DWORD && capacity == sizeof(DWORD)) {
            DWORD number = 0;
            std::memcpy(&number, data.data(), sizeof number);
            values[name] = Json{{"type", "REG_DWORD"}, {"value", number}};
        } else if (type == REG_BINARY) {
            values[name] =
                Json{{"type", "REG_BINARY"},
                     {"bytes", std::vector<BYTE>(data.begin(), data.begin() + capacity)}};
        } else {
            notes->Add(
                "registry values of other types than REG_SZ, REG_DWORD and REG_BINARY "
                "are left out");
        }
    }
    return Json{{kWrapperKeyText, values}};
}

// Replaces friendly names and device ids consistently in every text of the machine: a text
// that is a friendly name, and an id (or an endpoint id's GUID, in either letter case)
// wherever it stands.
class Anonymizer {
public:
    void AddId(const std::string& id, bool endpoint) {
        if (m_replacements.count(id) != 0) {
            return;
        }
        const size_t n = endpoint ? ++m_endpoints : ++m_filters;
        char guid[40];
        std::snprintf(guid, sizeof guid, "{%08zx-0000-4000-8000-%012zx}", n,
                      endpoint ? size_t{0xE} : size_t{0xF});
        // The endpoint id's GUID part appears in its properties too, in either letter case.
        const size_t brace = id.rfind('{');
        if (endpoint && brace != std::string::npos && id.back() == '}') {
            m_replacements[id] = "{0.0.0.00000000}." + std::string(guid);
            m_guids.emplace_back(id.substr(brace), guid);
        } else {
            m_replacements[id] =
                std::string(endpoint ? "endpoint-" : "filter-") + std::to_string(n);
        }
    }
    void AddName(const std::string& name) {
        if (!name.empty() && m_names.count(name) == 0) {
            m_names[name] = "Device " + std::to_string(m_names.size() + 1);
        }
    }
    void Apply(Json* json) {
        // Longer ids first, so that an id inside another goes with it.
        m_order.assign(m_replacements.begin(), m_replacements.end());
        std::sort(m_order.begin(), m_order.end(),
                  [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
        Rewrite(json);
    }

private:
    static std::string Lower(std::string text) {
        for (char& c : text) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return text;
    }
    void Rewrite(Json* json) const {
        if (json->is_string()) {
            // A name is replaced where a text is that name; an id wherever it appears.
            const auto name = m_names.find(json->get<std::string>());
            *json = name != m_names.end() ? name->second : Replace(json->get<std::string>());
        } else if (json->is_array()) {
            for (Json& item : *json) {
                Rewrite(&item);
            }
        } else if (json->is_object()) {
            Json renamed = Json::object();
            for (auto& [key, value] : json->items()) {
                Json copy = value;
                Rewrite(&copy);
                renamed[Replace(key)] = std::move(copy);
            }
            *json = std::move(renamed);
        }
    }
    std::string Replace(const std::string& text) const {
        std::string result = text;
        for (const auto& [from, to] : m_order) {
            for (size_t at = result.find(from); at != std::string::npos;
                 at = result.find(from, at + to.size())) {
                result.replace(at, from.size(), to);
            }
        }
        for (const auto& [from, to] : m_guids) {
            const std::string lowerFrom = Lower(from);
            for (size_t at = Lower(result).find(lowerFrom); at != std::string::npos;
                 at = Lower(result).find(lowerFrom, at + to.size())) {
                result.replace(at, from.size(), to);
            }
        }
        return result;
    }

    std::map<std::string, std::string> m_replacements;
    std::vector<std::pair<std::string, std::string>> m_order;  // m_replacements, longest first
    std::vector<std::pair<std::string, std::string>> m_guids;
    std::map<std::string, std::string> m_names;
    size_t m_endpoints = 0;
    size_t m_filters = 0;
};

}  // namespace

CaptureResult CaptureMachine(bool anonymize) {
    Notes notes;
    Anonymizer anonymizer;
    ComPtr<IMMDeviceEnumerator> enumerator = CreateEnumerator();
    const std::map<std::string, unsigned> defaults = DefaultRoles(enumerator.Get());

    ComPtr<IPolicyConfigVistaClient> policy;
    const HRESULT policyResult =
        Received(CoCreateInstance(CLSID_PolicyConfigVistaClient, nullptr, CLSCTX_ALL,
                                  IID_IPolicyConfigVistaClient, policy.ReceiveVoid()),
                 policy);
    if (FAILED(policyResult)) {
        notes.Add("no effect configuration on this system (the policy-config class answers " +
                  ResultString(policyResult) + ")");
    }

    ComPtr<IMMDeviceCollection> devices;
    HRESULT hr = Received(
        enumerator->EnumAudioEndpoints(eAll, DEVICE_STATEMASK_ALL, devices.Receive()), devices);
    if (FAILED(hr)) {
        throw Failure("list the audio endpoints", hr);
    }
    UINT count = 0;
    hr = devices->GetCount(&count);
    if (FAILED(hr)) {
        throw Failure("count the audio endpoints", hr);
    }

    Json endpoints = Json::array();
    Topologies topologies;
    std::vector<std::string> endpointIds;
    std::vector<std::string> toVisit;  // devices the endpoints' connectors lead to
    for (UINT i = 0; i < count; ++i) {
        ComPtr<IMMDevice> device;
        if (FAILED(Received(devices->Item(i, device.Receive()), device))) {
            notes.Add("an endpoint that the enumerator lists could not be opened; it is left out");
            continue;
        }
        const std::optional<std::string> id = IdOf(device.Get());
        if (!id) {
            notes.Add("an endpoint without an id is left out");
            continue;
        }
        Json endpoint = Json::object();
        endpoint["id"] = *id;
        anonymizer.AddId(*id, true);
        ComPtr<IMMEndpoint> asEndpoint;
        EDataFlow flow = eRender;
        if (SUCCEEDED(device.QueryInterface(Guids::kIidIMMEndpoint, &asEndpoint))) {
            asEndpoint->GetDataFlow(&flow);
        }
        endpoint["flow"] = flow == eCapture ? "capture" : "render";
        DWORD state = 0;
        endpoint["state"] = SUCCEEDED(device->GetState(&state)) ? StateName(state) : "active";
        if (const auto found = defaults.find(*id); found != defaults.end()) {
            if (found->second == 0x7u) {
                endpoint["default"] = true;
            } else {
                Json roles = Json::array();
                for (int role = 0; role < 3; ++role) {
                    if ((found->second & (1u << role)) != 0) {
                        roles.push_back(kRoleNames[role]);
                    }
                }
                endpoint["default"] = roles;
            }
        }
        ComPtr<IPropertyStore> store;
        if (SUCCEEDED(Received(device->OpenPropertyStore(STGM_READ, store.Receive()), store))) {
            ScopedPropVariant name;
            if (SUCCEEDED(store->GetValue(Guids::kPkeyDeviceFriendlyName, name.Receive())) &&
                name.Type() == VT_LPWSTR && name.Get().pwszVal != nullptr) {
                endpoint["name"] = Utf8(name.Get().pwszVal);
                anonymizer.AddName(endpoint["name"].get<std::string>());
            }
            ComPtr<IPropertyStore> writable;
            const HRESULT open = device->OpenPropertyStore(STGM_READWRITE, writable.Receive());
            if (FAILED(open)) {
                endpoint["readOnly"] = true;
                if (open != E_ACCESSDENIED) {
                    endpoint["readWriteResult"] = ResultString(open);
                }
            }
            endpoint["properties"] = StoreProperties(store.Get(), &notes);
        } else {
            notes.Add("an endpoint's property store did not open; its values are left out");
        }
        if (policy) {
            Json fx = FxProperties(policy.Get(), *id);
            if (!fx.empty()) {
                endpoint["fx"] = std::move(fx);
            }
        }
        if (std::optional<std::vector<PartInfo>> parts = ReadTopology(device.Get())) {
            for (const PartInfo& part : *parts) {
                if (part.connectedTo) {
                    toVisit.push_back(part.connectedTo->first);
                }
            }
            topologies[*id] = std::move(*parts);
        } else {
            notes.Add("no device topology on this system");
        }
        endpointIds.push_back(*id);
        endpoints.push_back(std::move(endpoint));
    }

    // The filters, in the order the connections reach them.
    Json filters = Json::array();
    Json faults = Json::array();
    std::vector<std::pair<std::string, ComPtr<IMMDevice>>> filterDevices;
    for (size_t next = 0; next < toVisit.size(); ++next) {
        const std::string id = toVisit[next];
        if (topologies.count(id) != 0) {
            continue;
        }
        ComPtr<IMMDevice> device;
        const WString wideId = ToUtf16(id);
        std::optional<std::vector<PartInfo>> parts;
        if (SUCCEEDED(Received(enumerator->GetDevice(wideId.c_str(), device.Receive()), device))) {
            parts = ReadTopology(device.Get());
        }
        if (!parts) {
            notes.Add("a device that a connector leads to could not be read; it is left out");
            topologies[id] = {};
            continue;
        }
        for (const PartInfo& part : *parts) {
            if (part.connectedTo) {
                toVisit.push_back(part.connectedTo->first);
            }
        }
        topologies[id] = std::move(*parts);
        anonymizer.AddId(id, false);
        filterDevices.emplace_back(id, std::move(device));
    }
    for (size_t i = 0; i < endpoints.size(); ++i) {
        const auto parts = topologies.find(endpointIds[i]);
        if (parts != topologies.end()) {
            endpoints[i]["topology"] = TopologyJson(parts->second, topologies);
        }
    }
    for (auto& [id, device] : filterDevices) {
        Json filter = Json::object();
        filter["id"] = id;
        ComPtr<IPropertyStore> store;
        ScopedPropVariant name;
        if (SUCCEEDED(Received(device->OpenPropertyStore(STGM_READ, store.Receive()), store)) &&
            SUCCEEDED(store->GetValue(Guids::kPkeyDeviceFriendlyName, name.Receive())) &&
            name.Type() == VT_LPWSTR && name.Get().pwszVal != nullptr) {
            filter["name"] = Utf8(name.Get().pwszVal);
            anonymizer.AddName(filter["name"].get<std::string>());
        }
        DWORD state = 0;
        filter["state"] = SUCCEEDED(device->GetState(&state)) ? StateName(state) : "active";
        filter["topology"] = TopologyJson(topologies[id], topologies);
        ComPtr<IKsControl> control;
        if (SUCCEEDED(Received(
                device->Activate(Guids::kIidIKsControl, CLSCTX_ALL, nullptr, control.ReceiveVoid()),
                control))) {
            FilterCapture(id, control.Get(), topologies[id], &faults, &notes).Write(&filter);
        } else {
            notes.Add(
                "a filter without kernel-streaming control: its driver's answers are "
                "left out");
        }
        filters.push_back(std::move(filter));
    }

    Json machine = Json::object();
    machine["name"] = "captured";
    machine["description"] = "Captured by vexctl capture.";
    machine["endpoints"] = std::move(endpoints);
    if (!filters.empty()) {
        machine["filters"] = std::move(filters);
    }
    machine["registry"] = WrapperRegistry(&notes);
    if (!faults.empty()) {
        machine["faults"] = std::move(faults);
    }
    if (anonymize) {
        anonymizer.Apply(&machine);
    }
    return CaptureResult{std::move(machine), notes.Take()};
}

}  // namespace vexctl
