#include "common/ClassFactory.h"

#include "devices/DeviceEnumerator.h"
#include "devices/PolicyConfigClient.h"

#include <atomic>
#include <mutex>

namespace vexsim {

namespace {

// The class object of one class: CoCreateInstance of `clsid` creates an `Object`.
template <typename Object>
class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(const CLSID& clsid) : m_clsid(clsid) {}
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
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
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override {
        return --m_references;  // never freed: the process owns it
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        Call call{"CoCreateInstance"};
        call.clsid = &m_clsid;
        return Entry(nullptr, call).Run([&] {
            if (outer != nullptr) {
                return CLASS_E_NOAGGREGATION;
            }
            auto* created = new Object();
            const HRESULT hr = created->Query(iid, object);
            created->Release();
            return hr;
        });
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL /*lock*/) override { return S_OK; }

private:
    const CLSID m_clsid;
    std::atomic<ULONG> m_references{1};
};

struct Registration {
    std::mutex lock;
    DWORD cookies[2] = {0, 0};
};

Registration& TheRegistration() {
    static Registration* registration = new Registration();  // used until the process ends
    return *registration;
}

void RevokeLocked(Registration& registration) {
    for (DWORD& cookie : registration.cookies) {
        if (cookie != 0) {
            CoRevokeClassObject(cookie);
            cookie = 0;
        }
    }
}

}  // namespace

HRESULT RegisterClasses() {
    static auto* enumerator =
        new ClassFactory<DeviceEnumeratorObject>(Guids::kClsidMMDeviceEnumerator);
    static auto* policyConfig = new ClassFactory<PolicyConfigObject>(CLSID_PolicyConfigVistaClient);
    const CLSID* const classes[] = {&Guids::kClsidMMDeviceEnumerator,
                                    &CLSID_PolicyConfigVistaClient};
    IClassFactory* const factories[] = {enumerator, policyConfig};
    Registration& registration = TheRegistration();
    std::lock_guard<std::mutex> guard(registration.lock);
    RevokeLocked(registration);
    for (size_t i = 0; i < 2; ++i) {
        const HRESULT hr = CoRegisterClassObject(*classes[i], factories[i], CLSCTX_INPROC_SERVER,
                                                 REGCLS_MULTIPLEUSE, &registration.cookies[i]);
        if (FAILED(hr)) {
            registration.cookies[i] = 0;
            RevokeLocked(registration);
            return hr;
        }
    }
    return S_OK;
}

void RevokeClasses() {
    std::lock_guard<std::mutex> guard(TheRegistration().lock);
    RevokeLocked(TheRegistration());
}

}  // namespace vexsim
