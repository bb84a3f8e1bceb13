#include "Machine.h"

#include "Text.h"

#include <cstring>

namespace vexsim {

namespace {

struct MethodEntry {
    const char* name;
    unsigned filters;
};

constexpr unsigned kQi = kFilterIid;
constexpr unsigned kEp = kFilterEndpoint;

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
};

bool SameGuid(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

bool Matches(const Fault& fault, const Call& call) {
    if (fault.method != call.method) {
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

std::optional<HRESULT> Machine::Enter(const Call& call) {
    ++calls[call.method];
    std::optional<HRESULT> result;
    for (Fault& fault : faults) {
        if (!Matches(fault, call)) {
            continue;
        }
        const uint64_t n = ++fault.matched;
        const bool applies =
            (fault.call == 0 || n == fault.call) && (fault.from == 0 || n >= fault.from);
        if (applies && !result) {
            result = fault.result;
        }
    }
    return result;
}

std::optional<unsigned> MethodFilters(const std::string& method) {
    for (const MethodEntry& entry : kMethods) {
        if (method == entry.name) {
            return entry.filters;
        }
    }
    return std::nullopt;
}

std::string MethodNameList() {
    std::string list;
    for (const MethodEntry& entry : kMethods) {
        if (!list.empty()) {
            list += ", ";
        }
        list += entry.name;
    }
    return list;
}

}  // namespace vexsim
