#include "topology/Part.h"

#include "topology/DeviceTopology.h"
#include "SystemGuids.h"
#include "topology/PartsList.h"
#include "topology/Selector.h"
#include "machine/Simulator.h"
#include "common/Text.h"

#include <cstdio>

namespace vexsim {

WString GlobalPartId(const Device& device, const Part& part) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "/%08X", part.localId);
    return device.id + FromUtf8(digits);
}

PartObject::PartObject(std::shared_ptr<Machine> machine, Device* device, size_t index)
    : ComObject("IPart"), m_machine(std::move(machine)), m_device(device), m_index(index) {}

PartObject* PartObject::Create(const std::shared_ptr<Machine>& machine, Device* device,
                               size_t index) {
    return new PartObject(machine, device, index);
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
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, Guids::kIidIPart) ||
        IsEqualGUID(iid, kIidSimPart)) {
        return static_cast<IPart*>(this);
    }
    if (IsEqualGUID(iid, Guids::kIidIConnector) && ThePart().kind == PartKind::Connector) {
        return static_cast<IConnector*>(this);
    }
    if (IsEqualGUID(iid, Guids::kIidISubunit) && ThePart().kind == PartKind::Subunit) {
        return static_cast<ISubunit*>(this);
    }
    return nullptr;
}

std::optional<HRESULT> PartObject::EnterQueryInterface(REFIID iid) {
    if (IsEqualGUID(iid, kIidSimPart)) {
        return std::nullopt;  // the simulator's own look-up is not a caller's call
    }
    std::lock_guard<std::mutex> guard(MachineLock());
    Call call = MakeCall("IPart::QueryInterface");
    call.iid = &iid;
    return m_machine->Enter(call);
}

Call PartObject::MakeCall(const char* method) const {
    Call call{method};
    call.endpoint = &m_device->id;
    call.part = ThePart().localId;
    return call;
}

HRESULT PartObject::GetName(LPWSTR* name) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(m_machine->Enter(MakeCall("IPart::GetName")));
    return outcome.Hand(name, nullptr,
                        [&](LPWSTR* out) { return CopyText(FromUtf8(ThePart().name), out); });
}

HRESULT PartObject::GetLocalId(UINT* id) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(m_machine->Enter(MakeCall("IPart::GetLocalId")));
    return outcome.Hand(id, 0u, [&](UINT* out) {
        *out = ThePart().localId;
        return S_OK;
    });
}

HRESULT PartObject::GetGlobalId(LPWSTR* id) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(m_machine->Enter(MakeCall("IPart::GetGlobalId")));
    return outcome.Hand(id, nullptr, [&](LPWSTR* out) {
        return CopyText(GlobalPartId(*m_device, ThePart()), out);
    });
}

HRESULT PartObject::GetPartType(PartType* type) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(m_machine->Enter(MakeCall("IPart::GetPartType")));
    return outcome.Hand(type, Connector, [&](PartType* out) {
        *out = ThePart().kind == PartKind::Connector ? Connector : Subunit;
        return S_OK;
    });
}

HRESULT PartObject::GetSubType(GUID* subType) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(m_machine->Enter(MakeCall("IPart::GetSubType")));
    return outcome.Hand(subType, GUID{}, [&](GUID* out) {
        *out = ThePart().subType;
        return S_OK;
    });
}

HRESULT PartObject::GetControlInterfaceCount(UINT* count) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(m_machine->Enter(MakeCall("IPart::GetControlInterfaceCount")));
    return outcome.Hand(count, 0u, [&](UINT*) {
        return S_OK;  // control interfaces are reached through Activate only
    });
}

HRESULT PartObject::GetControlInterface(UINT /*index*/, IControlInterface** control) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(m_machine->Enter(MakeCall("IPart::GetControlInterface")));
    return outcome.Hand(control, static_cast<IControlInterface*>(nullptr),
                        [&](IControlInterface**) { return E_INVALIDARG; });
}

HRESULT PartObject::EnumParts(const char* method, bool incoming, IPartsList** parts) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(m_machine->Enter(MakeCall(method)));
    return outcome.Hand(parts, static_cast<IPartsList*>(nullptr), [&](IPartsList** out) {
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
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(m_machine->Enter(MakeCall("IPart::GetTopologyObject")));
    return outcome.Hand(topology, static_cast<IDeviceTopology*>(nullptr),
                        [&](IDeviceTopology** out) {
                            *out = new DeviceTopologyObject(m_machine, m_device);
                            return S_OK;
                        });
}

HRESULT PartObject::Activate(DWORD /*context*/, REFIID iid, void** object) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Call call = MakeCall("IPart::Activate");
    call.iid = &iid;
    const Outcome outcome(m_machine->Enter(call));
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    const SelectorKind selector = ThePart().selector;
    const bool wanted =
        (selector == SelectorKind::Input && IsEqualGUID(iid, Guids::kIidIAudioInputSelector)) ||
        (selector == SelectorKind::Output && IsEqualGUID(iid, Guids::kIidIAudioOutputSelector));
    if (!wanted) {
        return E_NOINTERFACE;
    }
    auto* control = new SelectorObject(m_machine, m_device, m_index);
    const HRESULT hr = control->Query(iid, object);
    control->Release();
    return outcome.Finish(hr);
}

HRESULT PartObject::RegisterControlChangeCallback(REFGUID /*iid*/, IControlChangeNotify* notify) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(m_machine->Enter(MakeCall("IPart::RegisterControlChangeCallback")));
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    return notify == nullptr ? E_POINTER : outcome.Finish(S_OK);  // nothing ever changes
}

HRESULT PartObject::UnregisterControlChangeCallback(IControlChangeNotify* notify) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(m_machine->Enter(MakeCall("IPart::UnregisterControlChangeCallback")));
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    return notify == nullptr ? E_POINTER : outcome.Finish(S_OK);
}

HRESULT PartObject::GetType(ConnectorType* type) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(m_machine->Enter(MakeCall("IConnector::GetType")));
    return outcome.Hand(type, Unknown_Connector, [&](ConnectorType* out) {
        *out = ThePart().connectorType;
        return S_OK;
    });
}

HRESULT PartObject::GetDataFlow(DataFlow* flow) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(m_machine->Enter(MakeCall("IConnector::GetDataFlow")));
    return outcome.Hand(flow, In, [&](DataFlow* out) {
        *out = ThePart().dataFlow;
        return S_OK;
    });
}

HRESULT PartObject::ConnectTo(IConnector* /*other*/) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(m_machine->Enter(MakeCall("IConnector::ConnectTo")));
    return outcome.Failed() ? outcome.Failure() : E_NOTIMPL;  // the graph is the machine's
}

HRESULT PartObject::Disconnect() {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(m_machine->Enter(MakeCall("IConnector::Disconnect")));
    return outcome.Failed() ? outcome.Failure() : E_NOTIMPL;
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
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(m_machine->Enter(MakeCall("IConnector::IsConnected")));
    return outcome.Hand(connected, FALSE, [&](BOOL* out) {
        Device* device = nullptr;
        size_t index = 0;
        *out = FarEnd(&device, &index) ? TRUE : FALSE;
        return S_OK;
    });
}

HRESULT PartObject::GetConnectedTo(IConnector** other) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(m_machine->Enter(MakeCall("IConnector::GetConnectedTo")));
    return outcome.Hand(other, static_cast<IConnector*>(nullptr), [&](IConnector** out) {
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
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(m_machine->Enter(MakeCall("IConnector::GetConnectorIdConnectedTo")));
    return outcome.Hand(id, nullptr, [&](LPWSTR* out) {
        Device* device = nullptr;
        size_t index = 0;
        if (!FarEnd(&device, &index)) {
            return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        }
        return CopyText(GlobalPartId(*device, device->topology.parts[index]), out);
    });
}

HRESULT PartObject::GetDeviceIdConnectedTo(LPWSTR* id) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(m_machine->Enter(MakeCall("IConnector::GetDeviceIdConnectedTo")));
    return outcome.Hand(id, nullptr, [&](LPWSTR* out) {
        Device* device = nullptr;
        size_t index = 0;
        if (!FarEnd(&device, &index)) {
            return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        }
        return CopyText(device->id, out);
    });
}

}  // namespace vexsim
