#include "topology/Selector.h"

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
                    : "IAudioOutputSelector",
                Guids::kIidIAudioInputSelector, std::move(machine), device),
      m_index(index) {}

void* SelectorObject::Find(REFIID iid) {
    if (IsInput()) {
        return ComObject::Find(iid);
    }
    const bool own =
        IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, Guids::kIidIAudioOutputSelector);
    return own ? static_cast<IAudioOutputSelector*>(this) : nullptr;
}

Call SelectorObject::Describe(const char* method) const {
    Call call = ComObject::Describe(method);
    call.part = ThePart().localId;
    return call;
}

HRESULT SelectorObject::GetSelection(UINT* localId) {
    const Entry entry = Enter(IsInput() ? "IAudioInputSelector::GetSelection"
                                        : "IAudioOutputSelector::GetSelection");
    if (localId == nullptr) {
        return E_POINTER;
    }
    return entry.Run([&] {
        const Part& part = ThePart();
        if (part.selection) {
            *localId = *part.selection;
            return S_OK;
        }
        const std::vector<UINT> ids = SelectableIds(m_device->topology, m_index);
        if (ids.empty()) {
            return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        }
        *localId = ids.front();
        return S_OK;
    });
}

HRESULT SelectorObject::SetSelection(UINT localId, LPCGUID /*eventContext*/) {
    return Enter(IsInput() ? "IAudioInputSelector::SetSelection"
                           : "IAudioOutputSelector::SetSelection")
        .Run([&] {
            const std::vector<UINT> ids = SelectableIds(m_device->topology, m_index);
            if (std::find(ids.begin(), ids.end(), localId) == ids.end()) {
                return E_INVALIDARG;
            }
            Part& part = ThePart();
            part.selection = localId;
            part.selections.push_back(localId);
            return S_OK;
        });
}

}  // namespace vexsim
