#include "topology/DeviceTopology.h"

#include "topology/PartsList.h"
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
    return Enter(method).Hand(count, 0u, [&](UINT* out) {
        *out = static_cast<UINT>(PartsOfKind(kind).size());
        return S_OK;
    });
}

template <typename Interface>
HRESULT DeviceTopologyObject::PartAt(const char* method, PartKind kind, UINT index,
                                     Interface** part) {
    const std::vector<size_t> found = PartsOfKind(kind);
    Call call = Describe(method);
    if (index < found.size()) {
        call.part = m_device->topology.parts[found[index]].localId;
    }
    return Enter(call).Hand(part, nullptr, [&](Interface** out) {
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
    Call call = Describe("IDeviceTopology::GetPartById");
    call.part = id;
    return Enter(call).Hand(part, nullptr, [&](IPart** out) {
        const auto& parts = m_device->topology.parts;
        for (size_t i = 0; i < parts.size(); ++i) {
            if (parts[i].localId == id) {
                *out = PartObject::Create(m_machine, m_device, i);
                return S_OK;
            }
        }
        return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    });
}

HRESULT DeviceTopologyObject::GetDeviceId(LPWSTR* id) {
    return Enter("IDeviceTopology::GetDeviceId").Hand(id, nullptr, [&](LPWSTR* out) {
        return CopyText(m_device->id, out);
    });
}

HRESULT DeviceTopologyObject::GetSignalPath(IPart* from, IPart* to, BOOL rejectMixedPaths,
                                            IPartsList** parts) {
    // Recognise the parts before taking the lock: a foreign object's QueryInterface may call
    // back into the simulator.
    PartObject* start = PartObject::From(from);
    PartObject* end = PartObject::From(to);
    Call call = Describe("IDeviceTopology::GetSignalPath");
    if (end != nullptr && end->OwningDevice() == m_device) {
        call.part = m_device->topology.parts[end->Index()].localId;
    }
    return Enter(call).Hand(parts, nullptr, [&](IPartsList** out) {
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
        *out = new PartsListObject(m_machine, m_device, std::move(path));
        return S_OK;
    });
}

}  // namespace vexsim
