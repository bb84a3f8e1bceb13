// A list of parts of one device topology (IPartsList).
#pragma once

#include "common/IndexedCollection.h"
#include "topology/Part.h"

namespace vexsim {

class PartsListObject final : public IndexedCollection<IPartsList, IPart, size_t> {
public:
    PartsListObject(std::shared_ptr<Machine> machine, Device* device, std::vector<size_t> parts)
        : IndexedCollection("IPartsList", Guids::kIidIPartsList, std::move(machine), device,
                            std::move(parts)) {}

    HRESULT STDMETHODCALLTYPE GetPart(UINT index, IPart** part) override {
        return EntryAt("IPartsList::GetPart", index, part);
    }

private:
    void NameEntry(Call* call, const size_t& part) const override {
        call->part = m_device->topology.parts[part].localId;
    }
    IPart* CreateEntry(const size_t& part) override {
        return PartObject::Create(m_machine, m_device, part);
    }
};

}  // namespace vexsim
