#include "topology/DeviceTopology.h"

#include "SystemGuids.h"
#include "topology/Part.h"
#include "topology/PartsList.h"
#include "machine/Simulator.h"
#include "common/Text.h"

namespace vexsim {

namespace {

// Depth-first search along the links from `at` to `to`, in link order; a mixed path (one
// through a mixer subunit) is not taken when `rejectMixed` is set.
bool FindPath(const Topology& topology, size_t at, size_t to, bool rejectMixed,
              std::vector<size_t>* path) {
    if (rejectMixed && topology.parts[at].mixer) {
        return false;
    }
    for (size_t visited : *path) {
        if (visited == at) {
            return false;  // a loop
        }
    }
    path->push_back(at);
    if (at == to) {
        return true;
    }
    for (size_t next : topology.Outgoing(at)) {
        if (FindPath(topology, next, to, rejectMixed, path)) {
            return true;
        }
    }
    path->pop_back();
    return false;
}

}  // namespace

DeviceTopologyObject::DeviceTopologyObject(std::shared_ptr<Machine> machine, Device* device)
    : ComObject("IDeviceTopology"), m_machine(std::move(machine)), m_device(device) {}

void* DeviceTopologyObject::Find(REFIID iid) {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, Guids::kIidIDeviceTopology)) {
        return static_cast<IDeviceTopology*>(this);
    }
    return nullptr;
}

std::optional<HRESULT> DeviceTopologyObject::EnterQueryInterface(REFIID iid) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Call call{"IDeviceTopology::QueryInterface"};
    call.endpoint = &m_device->id;
    call.iid = &iid;
    return m_machine->Enter(call);
}

std::vector<size_t> DeviceTopologyObject::PartsOfKind(PartKind kind) const {
    std::vector<size_t> found;
    const auto& parts = m_device->topology.parts;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].kind == kind) {
            found.push_back(i);
        }
    }
    return found;
}

HRESULT DeviceTopologyObject::CountParts(const char* method, PartKind kind, UINT* count) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Call call{method};
    call.endpoint = &m_device->id;
    const Outcome outcome(m_machine->Enter(call));
    return outcome.Hand(count, 0u, [&](UINT* out) {
        *out = static_cast<UINT>(PartsOfKind(kind).size());
        return S_OK;
    });
}

template <typename Interface>
HRESULT DeviceTopologyObject::PartAt(const char* method, PartKind kind, UINT index,
                                     Interface** part) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const std::vector<size_t> found = PartsOfKind(kind);
    Call call{method};
    call.endpoint = &m_device->id;
    if (index < found.size()) {
        call.part = m_device->topology.parts[found[index]].localId;
    }
    const Outcome outcome(m_machine->Enter(call));
    return outcome.Hand(part, nullptr, [&](Interface** out) {
        if (index >= found.size()) {
            return E_INVALIDARG;
        }
        *out = static_cast<Interface*>(PartObject::Create(m_machine, m_device, found[index]));
        return S_OK;
    });
}

HRESULT DeviceTopologyObject::GetConnectorCount(UINT* count) {
    return CountParts("IDeviceTopology::GetConnectorCount", PartKind::Connector, count);
}

HRESULT DeviceTopologyObject::GetConnector(UINT index, IConnector** connector) {
    return PartAt("IDeviceTopology::GetConnector", PartKind::Connector, index, connector);
}

HRESULT DeviceTopologyObject::GetSubunitCount(UINT* count) {
    return CountParts("IDeviceTopology::GetSubunitCount", PartKind::Subunit, count);
}

HRESULT DeviceTopologyObject::GetSubunit(UINT index, ISubunit** subunit) {
    return PartAt("IDeviceTopology::GetSubunit", PartKind::Subunit, index, subunit);
}

HRESULT DeviceTopologyObject::GetPartById(UINT id, IPart** part) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Call call{"IDeviceTopology::GetPartById"};
    call.endpoint = &m_device->id;
    call.part = id;
    const Outcome outcome(m_machine->Enter(call));
    if (part == nullptr) {
        return E_POINTER;
    }
    *part = nullptr;
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    const auto& parts = m_device->topology.parts;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].localId == id) {
            *part = static_cast<IPart*>(PartObject::Create(m_machine, m_device, i));
            return outcome.Finish(S_OK);
        }
    }
    return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
}

HRESULT DeviceTopologyObject::GetDeviceId(LPWSTR* id) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Call call{"IDeviceTopology::GetDeviceId"};
    call.endpoint = &m_device->id;
    const Outcome outcome(m_machine->Enter(call));
    if (id == nullptr) {
        return E_POINTER;
    }
    *id = nullptr;
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    *id = CoTaskCopy(m_device->id);
    return *id != nullptr ? outcome.Finish(S_OK) : E_OUTOFMEMORY;
}

HRESULT DeviceTopologyObject::GetSignalPath(IPart* from, IPart* to, BOOL rejectMixedPaths,
                                            IPartsList** parts) {
    // Recognise the parts before taking the lock: a foreign object's QueryInterface may call
    // back into the simulator.
    PartObject* start = PartObject::From(from);
    PartObject* end = PartObject::From(to);
    std::lock_guard<std::mutex> guard(MachineLock());
    Call call{"IDeviceTopology::GetSignalPath"};
    call.endpoint = &m_device->id;
    if (end != nullptr && end->OwningDevice() == m_device) {
        call.part = m_device->topology.parts[end->Index()].localId;
    }
    const Outcome outcome(m_machine->Enter(call));
    if (parts == nullptr) {
        return E_POINTER;
    }
    *parts = nullptr;
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    if (from == nullptr || to == nullptr) {
        return E_POINTER;
    }
    if (start == nullptr || end == nullptr || start->OwningDevice() != m_device ||
        end->OwningDevice() != m_device) {
        return E_INVALIDARG;
    }
    std::vector<size_t> path;
    if (!FindPath(m_device->topology, start->Index(), end->Index(), rejectMixedPaths != FALSE,
                  &path)) {
        return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    }
    *parts = new PartsListObject(m_machine, m_device, std::move(path));
    return outcome.Finish(S_OK);
}

}  // namespace vexsim
