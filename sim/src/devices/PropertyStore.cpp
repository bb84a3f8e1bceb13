#include "devices/PropertyStore.h"

#include "SystemGuids.h"
#include "machine/Simulator.h"

namespace vexsim {

PropertyStoreObject::PropertyStoreObject(std::shared_ptr<Machine> machine, Device* device,
                                         bool writable)
    : ComObject("IPropertyStore"),
      m_machine(std::move(machine)),
      m_device(device),
      m_writable(writable) {}

IPropertyStore* PropertyStoreObject::Create(const std::shared_ptr<Machine>& machine, Device* device,
                                            bool writable) {
    return new PropertyStoreObject(machine, device, writable);
}

IPropertyStore* PropertyStoreObject::Open(const std::shared_ptr<Machine>& machine, Device* device,
                                          bool writable) {
    if (!device->holdStore) {
        return Create(machine, device, writable);
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

void* PropertyStoreObject::Find(REFIID iid) {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, Guids::kIidIPropertyStore)) {
        return static_cast<IPropertyStore*>(this);
    }
    return nullptr;
}

std::optional<HRESULT> PropertyStoreObject::Enter(const char* method, const PROPERTYKEY* key) {
    Call call{method};
    call.endpoint = &m_device->id;
    call.key = key;
    return m_machine->Enter(call);
}

std::optional<HRESULT> PropertyStoreObject::EnterQueryInterface(REFIID iid) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Call call{"IPropertyStore::QueryInterface"};
    call.endpoint = &m_device->id;
    call.iid = &iid;
    return m_machine->Enter(call);
}

HRESULT PropertyStoreObject::GetCount(DWORD* count) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(Enter("IPropertyStore::GetCount"));
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = 0;
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    *count = static_cast<DWORD>(m_device->properties.Count());
    return outcome.Finish(S_OK);
}

HRESULT PropertyStoreObject::GetAt(DWORD index, PROPERTYKEY* key) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(Enter("IPropertyStore::GetAt"));
    if (key == nullptr) {
        return E_POINTER;
    }
    *key = PROPERTYKEY{};
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    if (index >= m_device->properties.Count()) {
        return E_INVALIDARG;
    }
    *key = m_device->properties.At(index).first;
    return outcome.Finish(S_OK);
}

HRESULT PropertyStoreObject::GetValue(REFPROPERTYKEY key, PROPVARIANT* value) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(Enter("IPropertyStore::GetValue", &key));
    if (value == nullptr) {
        return E_POINTER;
    }
    PropVariantInit(value);
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    const PropValue* stored = m_device->properties.Find(key);
    if (stored == nullptr) {
        return outcome.Finish(S_OK);  // an unset key reads as VT_EMPTY
    }
    return outcome.Finish(ToPropVariant(*stored, value));
}

HRESULT PropertyStoreObject::SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(Enter("IPropertyStore::SetValue", &key));
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    if (!m_writable) {
        return STG_E_ACCESSDENIED;
    }
    PropValue copy;
    const HRESULT hr = FromPropVariant(value, &copy);
    if (FAILED(hr)) {
        return hr;
    }
    m_device->properties.Set(key, std::move(copy));
    return outcome.Finish(S_OK);
}

HRESULT PropertyStoreObject::Commit() {
    std::lock_guard<std::mutex> guard(MachineLock());
    const Outcome outcome(Enter("IPropertyStore::Commit"));
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    return outcome.Finish(m_writable ? S_OK : STG_E_ACCESSDENIED);
}

}  // namespace vexsim
