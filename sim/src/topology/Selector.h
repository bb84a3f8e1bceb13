// The selector control of a subunit: IAudioInputSelector (choose one of the parts linked into
// the selector) or IAudioOutputSelector (one of the parts it links to). Every accepted
// selection is recorded in the machine.
#pragma once

#include "common/ComObject.h"

namespace vexsim {

class SelectorObject final : public ComObject<IAudioInputSelector, IAudioOutputSelector> {
public:
    SelectorObject(std::shared_ptr<Machine> machine, Device* device, size_t index);

    HRESULT STDMETHODCALLTYPE GetSelection(UINT* localId) override;
    HRESULT STDMETHODCALLTYPE SetSelection(UINT localId, LPCGUID eventContext) override;

protected:
    void* Find(REFIID iid) override;
    Call Describe(const char* method) const override;

private:
    Part& ThePart() const { return m_device->topology.parts[m_index]; }
    bool IsInput() const { return ThePart().selector == SelectorKind::Input; }

    size_t m_index;
};

// The local ids a selector may choose (its incoming parts for an input selector, its outgoing
// parts for an output selector), in link order.
std::vector<UINT> SelectableIds(const Topology& topology, size_t selector);

}  // namespace vexsim
