#include "topology/PartsList.h"

#include "SystemGuids.h"
#include "topology/Part.h"
#include "machine/Simulator.h"

namespace vexsim {

PartsListObject::PartsListObject(std::shared_ptr<Machine> machine, Device* device,
                                 std::vector<size_t> parts)
    : ComObject("IPartsList"),
      m_machine(std::move(machine)),
      m_device(device),
      m_parts(std::move(parts)) {}

void* PartsListObject::Find(REFIID iid) {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, Guids::kIidIPartsList)) {
        return static_cast<IPartsList*>(this);
    }
    return nullptr;
}

std::optional<HRESULT> PartsListObject::EnterQueryInterface(REFIID iid) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Call call{"IPartsList::QueryInterface"};
    call.endpoint = &m_device->id;
    call.iid = &iid;
    return m_machine->Enter(call);
}

HRESULT PartsListObject::GetCount(UINT* count) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Call call{"IPartsList::GetCount"};
    call.endpoint = &m_device->id;
    const Outcome outcome(m_machine->Enter(call));
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = 0;
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    *count = static_cast<UINT>(m_parts.size());
    return outcome.Finish(S_OK);
}

HRESULT PartsListObject::GetPart(UINT index, IPart** part) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Call call{"IPartsList::GetPart"};
    call.endpoint = &m_device->id;
    if (index < m_parts.size()) {
        call.part = m_device->topology.parts[m_parts[index]].localId;
    }
    const Outcome outcome(m_machine->Enter(call));
    if (part == nullptr) {
        return E_POINTER;
    }
    *part = nullptr;
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    if (index >= m_parts.size()) {
        return E_INVALIDARG;
    }
    *part = static_cast<IPart*>(PartObject::Create(m_machine, m_device, m_parts[index]));
    return outcome.Finish(S_OK);
}

}  // namespace vexsim
