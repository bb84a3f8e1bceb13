#include "topology/Part.h"

#include "topology/DeviceTopology.h"
#include "topology/PartsList.h"
#include "topology/Selector.h"
#include "common/Text.h"

#include <cstdio>

namespace vexsim {

WString GlobalPartId(const Device& device, const Part& part) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "/%08X", part.localId);
    return device.id + FromUtf8(digits);
}

PartObject* PartObject::From(IUnknown* object) {
    if (object == nullptr) {
        return nullptr;
    }
    void* found = nullptr;
    if (FAILED(object->QueryInterface(kIidSimPart, &found)) || found == nullptr) {
        return nullptr;
    }
    auto* part = static_cast<PartObject*>(static_cast<IPart*>(found));
    part->Release();  // the caller's reference keeps it alive
    return part;
}

void* PartObject::Find(REFIID iid) {
    if (IsEqualGUID(iid, kIidSimPart)) {
        return static_cast<IPart*>(this);
    }
    if (IsEqualGUID(iid, Guids::kIidIConnector) && ThePart().kind == PartKind::Connector) {
        return static_cast<IConnector*>(this);
    }
    if (IsEqualGUID(iid, Guids::kIidISubunit) && ThePart().kind == PartKind::Subunit) {
        return static_cast<ISubunit*>(this);
    }
    return ComObject::Find(iid);
}

Call PartObject::Describe(const char* method) const {
    Call call = ComObject::Describe(method);
    call.part = ThePart().localId;
    return call;
}

HRESULT PartObject::GetName(LPWSTR* name) {
    return Enter("IPart::GetName").Hand(name, nullptr, [&](LPWSTR* out) {
        return CopyText(FromUtf8(ThePart().name), out);
    });
}

HRESULT PartObject::GetLocalId(UINT* id) {
    return Enter("IPart::GetLocalId").Hand(id, 0u, [&](UINT* out) {
        *out = ThePart().localId;
        return S_OK;
    });
}

HRESULT PartObject::GetGlobalId(LPWSTR* id) {
    return Enter("IPart::GetGlobalId").Hand(id, nullptr, [&](LPWSTR* out) {
        return CopyText(GlobalPartId(*m_device, ThePart()), out);
    });
}

HRESULT PartObject::GetPartType(PartType* type) {
    return Enter("IPart::GetPartType").Hand(type, Connector, [&](PartType* out) {
        *out = ThePart().kind == PartKind::Connector ? Connector : Subunit;
        return S_OK;
    });
}

HRESULT PartObject::GetSubType(GUID* subType) {
    return Enter("IPart::GetSubType").Hand(subType, GUID{}, [&](GUID* out) {
        *out = ThePart().subType;
        return S_OK;
    });
}

HRESULT PartObject::GetControlInterfaceCount(UINT* count) {
    return Enter("IPart::GetControlInterfaceCount").Hand(count, 0u, [&](UINT*) {
        return S_OK;  // control interfaces are reached through Activate only
    });
}

HRESULT PartObject::GetControlInterface(UINT /*index*/, IControlInterface** control) {
    return Enter("IPart::GetControlInterface")
        .Hand(control, static_cast<IControlInterface*>(nullptr),
              [&](IControlInterface**) { return E_INVALIDARG; });
}

HRESULT PartObject::EnumParts(const char* method, bool incoming, IPartsList** parts) {
    return Enter(method).Hand(parts, static_cast<IPartsList*>(nullptr), [&](IPartsList** out) {
        const Topology& topology = m_device->topology;
        std::vector<size_t> found =
            incoming ? topology.Incoming(m_index) : topology.Outgoing(m_index);
        if (found.empty()) {
            return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        }
        *out = new PartsListObject(m_machine, m_device, std::move(found));
        return S_OK;
    });
}

HRESULT PartObject::EnumPartsIncoming(IPartsList** parts) {
    return EnumParts("IPart::EnumPartsIncoming", true, parts);
}

HRESULT PartObject::EnumPartsOutgoing(IPartsList** parts) {
    return EnumParts("IPart::EnumPartsOutgoing", false, parts);
}

HRESULT PartObject::GetTopologyObject(IDeviceTopology** topology) {
    return Enter("IPart::GetTopologyObject")
        .Hand(topology, static_cast<IDeviceTopology*>(nullptr), [&](IDeviceTopology** out) {
            *out = new DeviceTopologyObject(m_machine, m_device);
            return S_OK;
        });
}

HRESULT PartObject::Activate(DWORD /*context*/, REFIID iid, void** object) {
    Call call = Describe("IPart::Activate");
    call.iid = &iid;
    return Enter(call).Hand(object, nullptr, [&](void** out) {
        const SelectorKind selector = ThePart().selector;
        const bool wanted =
            (selector == SelectorKind::Input && IsEqualGUID(iid, Guids::kIidIAudioInputSelector)) ||
            (selector == SelectorKind::Output && IsEqualGUID(iid, Guids::kIidIAudioOutputSelector));
        if (!wanted) {
            return E_NOINTERFACE;
        }
        auto* control = new SelectorObject(m_machine, m_device, m_index);
        const HRESULT hr = control->Query(iid, out);
        control->Release();
        return hr;
    });
}

// Nothing ever notifies.
HRESULT PartObject::RegisterControlChangeCallback(REFGUID /*iid*/, IControlChangeNotify* notify) {
    return Enter("IPart::RegisterControlChangeCallback").Run([&] {
        return notify == nullptr ? E_POINTER : S_OK;
    });
}

HRESULT PartObject::UnregisterControlChangeCallback(IControlChangeNotify* notify) {
    return Enter("IPart::UnregisterControlChangeCallback").Run([&] {
        return notify == nullptr ? E_POINTER : S_OK;
    });
}

HRESULT PartObject::GetType(ConnectorType* type) {
    return Enter("IConnector::GetType").Hand(type, Unknown_Connector, [&](ConnectorType* out) {
        *out = ThePart().connectorType;
        return S_OK;
    });
}

HRESULT PartObject::GetDataFlow(DataFlow* flow) {
    return Enter("IConnector::GetDataFlow").Hand(flow, In, [&](DataFlow* out) {
        *out = ThePart().dataFlow;
        return S_OK;
    });
}

HRESULT PartObject::ConnectTo(IConnector* /*other*/) {
    return Enter("IConnector::ConnectTo").Run([] { return E_NOTIMPL; });  // the graph is fixed
}

HRESULT PartObject::Disconnect() {
    return Enter("IConnector::Disconnect").Run([] { return E_NOTIMPL; });
}

bool PartObject::FarEnd(Device** device, size_t* index) const {
    const Part& part = ThePart();
    if (part.connectedDevice.empty()) {
        return false;
    }
    Device* remote = m_machine->FindDevice(part.connectedDevice);
    if (remote == nullptr) {
        return false;
    }
    const auto found = remote->topology.IndexOf(part.connectedPart);
    if (!found) {
        return false;
    }
    *device = remote;
    *index = *found;
    return true;
}

HRESULT PartObject::IsConnected(BOOL* connected) {
    return Enter("IConnector::IsConnected").Hand(connected, FALSE, [&](BOOL* out) {
        Device* device = nullptr;
        size_t index = 0;
        *out = FarEnd(&device, &index) ? TRUE : FALSE;
        return S_OK;
    });
}

HRESULT PartObject::GetConnectedTo(IConnector** other) {
    return Enter("IConnector::GetConnectedTo")
        .Hand(other, static_cast<IConnector*>(nullptr), [&](IConnector** out) {
            Device* device = nullptr;
            size_t index = 0;
            if (!FarEnd(&device, &index)) {
                return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
            }
            *out = static_cast<IConnector*>(Create(m_machine, device, index));
            return S_OK;
        });
}

HRESULT PartObject::GetConnectorIdConnectedTo(LPWSTR* id) {
    return Enter("IConnector::GetConnectorIdConnectedTo").Hand(id, nullptr, [&](LPWSTR* out) {
        Device* device = nullptr;
        size_t index = 0;
        if (!FarEnd(&device, &index)) {
            return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        }
        return CopyText(GlobalPartId(*device, device->topology.parts[index]), out);
    });
}

HRESULT PartObject::GetDeviceIdConnectedTo(LPWSTR* id) {
    return Enter("IConnector::GetDeviceIdConnectedTo").Hand(id, nullptr, [&](LPWSTR* out) {
        Device* device = nullptr;
        size_t index = 0;
        if (!FarEnd(&device, &index)) {
            return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        }
        return CopyText(device->id, out);
    });
}

}  // namespace vexsim
