// A device's property store as OpenPropertyStore hands it out: values are copied in and out,
// writes reach the machine at once, and a store opened for reading refuses them.
#pragma once

#include "common/ComObject.h"

namespace vexsim {

class PropertyStoreObject final : public ComObject<IPropertyStore> {
public:
    PropertyStoreObject(std::shared_ptr<Machine> machine, Device* device, bool writable)
        : ComObject("IPropertyStore", Guids::kIidIPropertyStore, std::move(machine), device),
          m_writable(writable) {}

    HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override;
    HRESULT STDMETHODCALLTYPE GetAt(DWORD index, PROPERTYKEY* key) override;
    HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override;
    HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) override;
    HRESULT STDMETHODCALLTYPE Commit() override;

    // The store an open hands out: a new object, or, on an endpoint whose store someone else
    // holds, the shared one for that access (created on the first open), with a reference
    // added for the caller. Caller holds MachineLock.
    static IPropertyStore* Open(const std::shared_ptr<Machine>& machine, Device* device,
                                bool writable);
    // Drops the simulator's own references on the device's shared stores; they go when their
    // last caller releases them.
    static void ReleaseHeld(Device* device);
    // The references callers hold on the device's shared stores.
    static long HeldReferences(const Device& device);

private:
    Entry EnterWithKey(const char* method, const PROPERTYKEY& key) const;

    bool m_writable;
};

}  // namespace vexsim
