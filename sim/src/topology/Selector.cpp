#include "topology/Selector.h"

#include "SystemGuids.h"
#include "machine/Simulator.h"

#include <algorithm>

namespace vexsim {

std::vector<UINT> SelectableIds(const Topology& topology, size_t selector) {
    const Part& part = topology.parts[selector];
    const std::vector<size_t> neighbours = part.selector == SelectorKind::Input
                                               ? topology.Incoming(selector)
                                               : topology.Outgoing(selector);
    std::vector<UINT> ids;
    for (size_t index : neighbours) {
        ids.push_back(topology.parts[index].localId);
    }
    return ids;
}

SelectorObject::SelectorObject(std::shared_ptr<Machine> machine, Device* device, size_t index)
    : ComObject(device->topology.parts[index].selector == SelectorKind::Input
                    ? "IAudioInputSelector"
                    : "IAudioOutputSelector"),
      m_machine(std::move(machine)),
      m_device(device),
      m_index(index) {}

void* SelectorObject::Find(REFIID iid) {
    if (IsInput()) {
        if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, Guids::kIidIAudioInputSelector)) {
            return static_cast<IAudioInputSelector*>(this);
        }
    } else if (IsEqualGUID(iid, IID_IUnknown) ||
               IsEqualGUID(iid, Guids::kIidIAudioOutputSelector)) {
        return static_cast<IAudioOutputSelector*>(this);
    }
    return nullptr;
}

Call SelectorObject::MakeCall(const char* inputMethod, const char* outputMethod) const {
    Call call{IsInput() ? inputMethod : outputMethod};
    call.endpoint = &m_device->id;
    call.part = ThePart().localId;
    return call;
}

std::optional<HRESULT> SelectorObject::EnterQueryInterface(REFIID iid) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Call call =
        MakeCall("IAudioInputSelector::QueryInterface", "IAudioOutputSelector::QueryInterface");
    call.iid = &iid;
    return m_machine->Enter(call);
}

HRESULT SelectorObject::GetSelection(UINT* localId) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(m_machine->Enter(
        MakeCall("IAudioInputSelector::GetSelection", "IAudioOutputSelector::GetSelection")));
    if (localId == nullptr) {
        return E_POINTER;
    }
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    const Part& part = ThePart();
    if (part.selection) {
        *localId = *part.selection;
    } else {
        const std::vector<UINT> ids = SelectableIds(m_device->topology, m_index);
        if (ids.empty()) {
            return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        }
        *localId = ids.front();
    }
    return outcome.Finish(S_OK);
}

HRESULT SelectorObject::SetSelection(UINT localId, LPCGUID /*eventContext*/) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(m_machine->Enter(
        MakeCall("IAudioInputSelector::SetSelection", "IAudioOutputSelector::SetSelection")));
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    const std::vector<UINT> ids = SelectableIds(m_device->topology, m_index);
    if (std::find(ids.begin(), ids.end(), localId) == ids.end()) {
        return E_INVALIDARG;
    }
    Part& part = ThePart();
    part.selection = localId;
    part.selections.push_back(localId);
    return outcome.Finish(S_OK);
}

}  // namespace vexsim
