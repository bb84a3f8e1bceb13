// Loads the built library (Orv3VexControl.dll, or the shared object on Linux) at run time and
// finds its five exports by name, as a host does; unloading it runs the library's unload.
#pragma once

#include "support/TestSupport.h"

#include "Orv3VexControl.h"

#ifndef _WIN32
#include <dlfcn.h>
// Library tests name the built shared object's path; others find it by name.
#ifndef VEX_LIBRARY_PATH
#define VEX_LIBRARY_PATH "libOrv3VexControl.so"
#endif
#endif

namespace vextest {

class VexLibrary {
public:
    using OpenFn = HRESULT(WINAPI*)(ControlHandle*, LPCWSTR);
    using CloseFn = HRESULT(WINAPI*)(ControlHandle);
    using SetFn = HRESULT(WINAPI*)(ControlHandle, LONG, const void*, ULONG, ULONG);
    using SetVariantFn = HRESULT(WINAPI*)(ControlHandle, LONG, const PROPVARIANT*, ULONG);
    using GetFn = HRESULT(WINAPI*)(ControlHandle, LONG, void*, ULONG*, ULONG);

    VexLibrary() { Load(); }
    VexLibrary(const VexLibrary&) = delete;
    VexLibrary& operator=(const VexLibrary&) = delete;
    ~VexLibrary() { Unload(); }

    bool Loaded() const { return m_module != nullptr; }

    void Unload() {
        if (m_module == nullptr) {
            return;
        }
#ifdef _WIN32
        FreeLibrary(static_cast<HMODULE>(m_module));
#else
        dlclose(m_module);
#endif
        m_module = nullptr;
        Open = nullptr;
        Close = nullptr;
        Set = nullptr;
        SetVariant = nullptr;
        Get = nullptr;
    }

    OpenFn Open = nullptr;
    CloseFn Close = nullptr;
    SetFn Set = nullptr;
    SetVariantFn SetVariant = nullptr;
    GetFn Get = nullptr;

private:
    void Load() {
#ifdef _WIN32
        m_module = LoadLibraryW(L"Orv3VexControl.dll");
#else
        m_module = dlopen(VEX_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
#endif
        if (m_module == nullptr) {
            return;
        }
        Open = reinterpret_cast<OpenFn>(Find("OpenVexControl"));
        Close = reinterpret_cast<CloseFn>(Find("CloseVexControl"));
        Set = reinterpret_cast<SetFn>(Find("SetVexParam"));
        SetVariant = reinterpret_cast<SetVariantFn>(Find("SetVexVariantParam"));
        Get = reinterpret_cast<GetFn>(Find("GetVexParam"));
    }

    void* Find(const char* name) {
#ifdef _WIN32
        return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(m_module), name));
#else
        return dlsym(m_module, name);
#endif
    }

    void* m_module = nullptr;
};

}  // namespace vextest
