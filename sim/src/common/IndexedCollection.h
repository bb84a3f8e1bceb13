// A list fixed when it was handed out, whose entries are handed out by index: the devices of an
// IMMDeviceCollection, the parts of an IPartsList.
#pragma once

#include "common/ComObject.h"

#include <vector>

namespace vexsim {

// `Kept` is what the list keeps of an entry, `Handed` the interface an entry is handed out as.
// A derived list names an entry in a call (NameEntry) and makes its object (CreateEntry).
template <typename Interface, typename Handed, typename Kept>
class IndexedCollection : public ComObject<Interface> {
public:
    IndexedCollection(const char* kind, const IID& iid, std::shared_ptr<Machine> machine,
                      Device* device, std::vector<Kept> entries)
        : ComObject<Interface>(kind, iid, std::move(machine), device),
          m_count(std::string(kind) + "::GetCount"),
          m_entries(std::move(entries)) {}

    HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override {
        return this->Enter(m_count.c_str()).Hand(count, 0u, [&](UINT* out) {
            *out = static_cast<UINT>(m_entries.size());
            return S_OK;
        });
    }

protected:
    // The method `method` that hands out entry `index`.
    HRESULT EntryAt(const char* method, UINT index, Handed** item) {
        Call call = this->Describe(method);
        if (index < m_entries.size()) {
            NameEntry(&call, m_entries[index]);
        }
        return this->Enter(call).Hand(item, nullptr, [&](Handed** out) {
            if (index >= m_entries.size()) {
                return E_INVALIDARG;
            }
            *out = CreateEntry(m_entries[index]);
            return S_OK;
        });
    }
    virtual void NameEntry(Call* call, const Kept& entry) const = 0;
    // A new object for the entry, with the creator's reference.
    virtual Handed* CreateEntry(const Kept& entry) = 0;

private:
    const std::string m_count;  // the GetCount method's name
    const std::vector<Kept> m_entries;
};

}  // namespace vexsim
