#include "machine/Machine.h"

#include "common/Text.h"

#include <cstring>

namespace vexsim {

namespace {

struct MethodEntry {
    const char* name;
    unsigned filters;
};

constexpr unsigned kQi = kFilterIid;
constexpr unsigned kEp = kFilterEndpoint;
constexpr unsigned kPart = kFilterPart;

const MethodEntry kMethods[] = {
    {"CoCreateInstance", kFilterClass},
    {"IMMDeviceEnumerator::QueryInterface", kQi},
    {"IMMDeviceEnumerator::EnumAudioEndpoints", kFilterFlow},
    {"IMMDeviceEnumerator::GetDefaultAudioEndpoint", kFilterFlow | kFilterRole},
    {"IMMDeviceEnumerator::GetDevice", kEp},
    {"IMMDeviceEnumerator::RegisterEndpointNotificationCallback", 0},
    {"IMMDeviceEnumerator::UnregisterEndpointNotificationCallback", 0},
    {"IMMDeviceCollection::QueryInterface", kQi},
    {"IMMDeviceCollection::GetCount", 0},
    {"IMMDeviceCollection::Item", kEp},
    {"IMMDevice::QueryInterface", kEp | kQi},
    {"IMMDevice::Activate", kEp | kQi},
    {"IMMDevice::OpenPropertyStore", kEp | kFilterAccess},
    {"IMMDevice::GetId", kEp},
    {"IMMDevice::GetState", kEp},
    {"IMMEndpoint::GetDataFlow", kEp},
    {"IPropertyStore::QueryInterface", kEp | kQi},
    {"IPropertyStore::GetCount", kEp},
    {"IPropertyStore::GetAt", kEp},
    {"IPropertyStore::GetValue", kEp | kFilterKey},
    {"IPropertyStore::SetValue", kEp | kFilterKey},
    {"IPropertyStore::Commit", kEp},
    {"IPolicyConfigVistaClient::QueryInterface", kQi},
    {"IPolicyConfigVistaClient::GetPropertyValue", kEp | kFilterKey | kFilterFxStore},
    {"IPolicyConfigVistaClient::SetPropertyValue", kEp | kFilterKey | kFilterFxStore},
    {"IPolicyConfigVistaClient::SetDefaultEndpoint", kEp | kFilterRole},
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
    {"IKsControl::KsProperty", kEp | kFilterRequest},
    {"IKsControl::KsMethod", kEp},
    {"IKsControl::KsEvent", kEp},
};

bool SameGuid(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

// A text filter matches when it is absent or equals the call's text.
bool SameText(const std::optional<std::string>& filter, const char* text) {
    return !filter || (text != nullptr && *filter == text);
}

bool Matches(const Fault& fault, const Call& call) {
    if (fault.method != kAnyMethod && fault.method != call.method) {
        return false;
    }
    if (fault.endpoint && (call.endpoint == nullptr || *fault.endpoint != *call.endpoint)) {
        return false;
    }
    if (fault.key && (call.key == nullptr || !SameKey(*fault.key, *call.key))) {
        return false;
    }
    if (fault.access && (!call.access || *fault.access != *call.access)) {
        return false;
    }
    if (fault.clsid && (call.clsid == nullptr || !SameGuid(*fault.clsid, *call.clsid))) {
        return false;
    }
    if (fault.iid && (call.iid == nullptr || !SameGuid(*fault.iid, *call.iid))) {
        return false;
    }
    if (fault.flow && (!call.flow || *fault.flow != *call.flow)) {
        return false;
    }
    if (fault.role && (!call.role || *fault.role != *call.role)) {
        return false;
    }
    if (fault.fxStore && (!call.fxStore || *fault.fxStore != *call.fxStore)) {
        return false;
    }
    if (fault.part && (!call.part || *fault.part != *call.part)) {
        return false;
    }
    if (!SameText(fault.request, call.request) || !SameText(fault.form, call.form) ||
        !SameText(fault.direction, call.direction)) {
        return false;
    }
    if (fault.pin && (!call.pin || *fault.pin != *call.pin)) {
        return false;
    }
    if (fault.node && (!call.node || *fault.node != *call.node)) {
        return false;
    }
    if (fault.module && (call.module == nullptr || !SameGuid(*fault.module, *call.module))) {
        return false;
    }
    if (fault.param && (!call.param || *fault.param != *call.param)) {
        return false;
    }
    if (fault.sizeQuery && (!call.sizeQuery || *fault.sizeQuery != *call.sizeQuery)) {
        return false;
    }
    return true;
}

}  // namespace

const PropValue* PropertyMap::Find(const PROPERTYKEY& key) const {
    for (const auto& entry : m_entries) {
        if (SameKey(entry.first, key)) {
            return &entry.second;
        }
    }
    return nullptr;
}

void PropertyMap::Set(const PROPERTYKEY& key, PropValue value) {
    for (auto& entry : m_entries) {
        if (SameKey(entry.first, key)) {
            entry.second = std::move(value);
            return;
        }
    }
    m_entries.emplace_back(key, std::move(value));
}

const Part* Topology::Find(const std::string& name) const {
    for (const Part& part : parts) {
        if (part.name == name) {
            return &part;
        }
    }
    return nullptr;
}

Part* Topology::FindById(UINT localId) {
    for (Part& part : parts) {
        if (part.localId == localId) {
            return &part;
        }
    }
    return nullptr;
}

std::vector<size_t> Topology::Incoming(size_t index) const {
    std::vector<size_t> found;
    for (const auto& [from, to] : links) {
        if (to == index) {
            found.push_back(from);
        }
    }
    return found;
}

std::vector<size_t> Topology::Outgoing(size_t index) const {
    std::vector<size_t> found;
    for (const auto& [from, to] : links) {
        if (from == index) {
            found.push_back(to);
        }
    }
    return found;
}

std::optional<size_t> Topology::IndexOf(const std::string& name) const {
    for (size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].name == name) {
            return i;
        }
    }
    return std::nullopt;
}

VendorModule* FilterDriver::FindModule(const GUID& guid) {
    for (VendorModule& module : modules) {
        if (SameGuid(module.guid, guid)) {
            return &module;
        }
    }
    return nullptr;
}

Device* Machine::FindDevice(const WString& id) {
    for (auto& device : devices) {
        if (device->id == id) {
            return device.get();
        }
    }
    return nullptr;
}

Device* Machine::DefaultEndpoint(EDataFlow flow, ERole role) {
    for (auto& device : devices) {
        if (device->kind == DeviceKind::Endpoint && device->flow == flow &&
            device->state == DEVICE_STATE_ACTIVE && (device->defaultRoles & (1u << role)) != 0) {
            return device.get();
        }
    }
    return nullptr;
}

const Fault* Machine::EnterFault(const Call& call) {
    ++calls[call.method];
    ++totalCalls;
    const Fault* hit = nullptr;
    for (Fault& fault : faults) {
        if (!Matches(fault, call)) {
            continue;
        }
        const uint64_t n = ++fault.matched;
        const bool applies =
            (fault.call == 0 || n == fault.call) && (fault.from == 0 || n >= fault.from);
        if (applies && hit == nullptr) {
            hit = &fault;
        }
    }
    return hit;
}

std::optional<HRESULT> Machine::Enter(const Call& call) {
    const Fault* fault = EnterFault(call);
    if (fault == nullptr) {
        return std::nullopt;
    }
    return fault->result;
}

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

}  // namespace vexsim
