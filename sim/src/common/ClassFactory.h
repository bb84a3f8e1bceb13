// The class objects that CoRegisterClassObject publishes. They live as long as the process and
// are not counted among the live objects.
#pragma once

#include "Platform.h"

#include <atomic>

namespace vexsim {

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(const CLSID& clsid) : m_clsid(clsid) {}
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

    static ClassFactory& Enumerator();
    static ClassFactory& PolicyConfig();

private:
    CLSID m_clsid;
    std::atomic<ULONG> m_references{1};
};

}  // namespace vexsim
