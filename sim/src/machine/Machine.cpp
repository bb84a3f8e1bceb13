#include "machine/Machine.h"

#include "common/Text.h"

#include <cstring>

namespace vexsim {

namespace {}  // namespace

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

std::vector<size_t> Topology::Linked(size_t index, bool incoming) const {
    std::vector<size_t> found;
    for (const auto& [from, to] : links) {
        if ((incoming ? to : from) == index) {
            found.push_back(incoming ? from : to);
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
        if (IsEqualGUID(module.guid, guid)) {
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

}  // namespace vexsim
