#include "devices/PropertyStore.h"

namespace vexsim {

IPropertyStore* PropertyStoreObject::Open(const std::shared_ptr<Machine>& machine, Device* device,
                                          bool writable) {
    if (!device->holdStore) {
        return new PropertyStoreObject(machine, device, writable);
    }
    PropertyStoreObject*& held = device->heldStores[writable ? 1 : 0];
    if (held == nullptr) {
        held = new PropertyStoreObject(machine, device, writable);
        ObjectCounter::Unreferenced();  // the simulator's own is not a caller's reference
    }
    held->AddRef();
    return held;
}

void PropertyStoreObject::ReleaseHeld(Device* device) {
    for (PropertyStoreObject*& held : device->heldStores) {
        PropertyStoreObject* store = held;
        held = nullptr;
        if (store != nullptr) {
            ObjectCounter::Referenced();
            store->Release();
        }
    }
}

long PropertyStoreObject::HeldReferences(const Device& device) {
    long references = 0;
    for (const PropertyStoreObject* held : device.heldStores) {
        if (held != nullptr) {
            references += static_cast<long>(held->ReferenceCount()) - 1;
        }
    }
    return references;
}

Entry PropertyStoreObject::EnterWithKey(const char* method, const PROPERTYKEY& key) const {
    Call call = Describe(method);
    call.key = &key;
    return Enter(call);
}

HRESULT PropertyStoreObject::GetCount(DWORD* count) {
    return Enter("IPropertyStore::GetCount").Hand(count, 0u, [&](DWORD* out) {
        *out = static_cast<DWORD>(m_device->properties.Count());
        return S_OK;
    });
}

HRESULT PropertyStoreObject::GetAt(DWORD index, PROPERTYKEY* key) {
    return Enter("IPropertyStore::GetAt").Hand(key, PROPERTYKEY{}, [&](PROPERTYKEY* out) {
        if (index >= m_device->properties.Count()) {
            return E_INVALIDARG;
        }
        *out = m_device->properties.At(index).first;
        return S_OK;
    });
}

HRESULT PropertyStoreObject::GetValue(REFPROPERTYKEY key, PROPVARIANT* value) {
    return EnterWithKey("IPropertyStore::GetValue", key)
        .Hand(value, PROPVARIANT{}, [&](PROPVARIANT* out) {
            const PropValue* stored = m_device->properties.Find(key);
            // An unset key reads as VT_EMPTY.
            return stored != nullptr ? ToPropVariant(*stored, out) : S_OK;
        });
}

HRESULT PropertyStoreObject::SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) {
    return EnterWithKey("IPropertyStore::SetValue", key).Run([&] {
        if (!m_writable) {
            return STG_E_ACCESSDENIED;
        }
        PropValue copy;
        const HRESULT hr = FromPropVariant(value, &copy);
        if (SUCCEEDED(hr)) {
            m_device->properties.Set(key, std::move(copy));
        }
        return hr;
    });
}

HRESULT PropertyStoreObject::Commit() {
    return Enter("IPropertyStore::Commit").Run([&] {
        return m_writable ? S_OK : STG_E_ACCESSDENIED;
    });
}

}  // namespace vexsim
