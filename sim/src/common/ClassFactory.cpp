#include "common/ClassFactory.h"

#include "devices/DeviceEnumerator.h"
#include "PolicyConfig.h"
#include "SystemGuids.h"
#include "devices/PolicyConfigClient.h"
#include "machine/Simulator.h"

namespace vexsim {

ClassFactory& ClassFactory::Enumerator() {
    static ClassFactory* factory = new ClassFactory(Guids::kClsidMMDeviceEnumerator);
    return *factory;
}

ClassFactory& ClassFactory::PolicyConfig() {
    static ClassFactory* factory = new ClassFactory(CLSID_PolicyConfigVistaClient);
    return *factory;
}

HRESULT ClassFactory::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IClassFactory)) {
        AddRef();
        *object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG ClassFactory::AddRef() {
    return ++m_references;
}

ULONG ClassFactory::Release() {
    return --m_references;  // never freed: the process owns it
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    std::optional<HRESULT> fault;
    {
        std::lock_guard<std::mutex> guard(MachineLock());
        Call call{"CoCreateInstance"};
        call.clsid = &m_clsid;
        fault = CurrentMachine()->Enter(call);
    }
    const Outcome outcome(fault);
    if (outcome.Failed()) {
        return outcome.Failure();
    }
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    HRESULT hr = E_NOINTERFACE;
    if (IsEqualGUID(m_clsid, Guids::kClsidMMDeviceEnumerator)) {
        auto* created = new DeviceEnumeratorObject();
        hr = created->Query(iid, object);
        created->Release();
    } else {
        auto* created = new PolicyConfigObject();
        hr = created->Query(iid, object);
        created->Release();
    }
    return outcome.Finish(hr);
}

HRESULT ClassFactory::LockServer(BOOL /*lock*/) {
    return S_OK;
}

}  // namespace vexsim
