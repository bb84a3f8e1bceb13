// The COM runtime: per-thread apartments, the process-wide class table and the task allocator.
//
// Every thread that initialises COM as apartment-threaded gets an apartment of its own; the
// threads that initialise it as multithreaded share the process's multithreaded apartment,
// which a thread that never initialised COM joins implicitly while the apartment exists. A class
// registration belongs to the apartment it was made in: only that apartment reaches it, only
// that apartment revokes it, and it goes away when that apartment is torn down.
#include <windows.h>

#include "Memory.h"

#include <mutex>
#include <vector>

namespace {

struct ThreadApartment {
    ULONG count = 0;
    DWORD model = 0;
    uint64_t id = 0;  // of the thread's single-threaded apartment
};

thread_local ThreadApartment t_apartment;

struct RegisteredClass {
    CLSID clsid;
    IUnknown* object;
    DWORD cookie;
    uint64_t apartment;
};

struct ComState {
    std::mutex lock;
    std::vector<RegisteredClass> classes;
    DWORD nextCookie = 1;
    uint64_t nextApartment = 1;
    ULONG multithreadedUsers = 0;  // threads in the process's multithreaded apartment
    uint64_t multithreadedId = 0;  // the multithreaded apartment while it exists, else 0
};

ComState& State() {
    static ComState* state = new ComState();  // lives as long as the process
    return *state;
}

DWORD ModelOf(DWORD coInit) {
    return (coInit & COINIT_APARTMENTTHREADED) ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED;
}

// The apartment the calling thread is in (the lock held), or 0 when it may not use COM.
uint64_t CurrentApartment(const ComState& state) {
    if (t_apartment.count > 0 && t_apartment.model == COINIT_APARTMENTTHREADED) {
        return t_apartment.id;
    }
    return state.multithreadedId;
}

// Drops every registration of an apartment that is being torn down.
void RevokeApartment(uint64_t apartment) {
    std::vector<IUnknown*> released;
    {
        std::lock_guard<std::mutex> guard(State().lock);
        auto& classes = State().classes;
        for (auto it = classes.begin(); it != classes.end();) {
            if (it->apartment == apartment) {
                released.push_back(it->object);
                it = classes.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (IUnknown* object : released) {
        object->Release();
    }
}

}  // namespace

extern "C" HRESULT CoInitializeEx(LPVOID /*reserved*/, DWORD coInit) {
    const DWORD model = ModelOf(coInit);
    if (t_apartment.count > 0) {
        if (t_apartment.model != model) {
            return RPC_E_CHANGED_MODE;
        }
        ++t_apartment.count;
        return S_FALSE;
    }
    t_apartment.count = 1;
    t_apartment.model = model;
    std::lock_guard<std::mutex> guard(State().lock);
    if (model == COINIT_MULTITHREADED) {
        if (State().multithreadedUsers++ == 0) {
            State().multithreadedId = State().nextApartment++;
        }
    } else {
        t_apartment.id = State().nextApartment++;
    }
    return S_OK;
}

extern "C" void CoUninitialize() {
    if (t_apartment.count == 0 || --t_apartment.count > 0) {
        return;
    }
    uint64_t torn = 0;
    if (t_apartment.model == COINIT_APARTMENTTHREADED) {
        torn = t_apartment.id;
        t_apartment.id = 0;
    } else {
        std::lock_guard<std::mutex> guard(State().lock);
        if (--State().multithreadedUsers == 0) {
            torn = State().multithreadedId;
            State().multithreadedId = 0;
        }
    }
    if (torn != 0) {
        RevokeApartment(torn);
    }
}

extern "C" HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* object, DWORD context,
                                         DWORD flags, LPDWORD cookie) {
    if (object == nullptr || cookie == nullptr) {
        return E_INVALIDARG;
    }
    std::lock_guard<std::mutex> guard(State().lock);
    const uint64_t apartment = CurrentApartment(State());
    if (apartment == 0) {
        return CO_E_NOTINITIALIZED;  // the cookie is left as it was
    }
    *cookie = 0;
    if (flags != REGCLS_MULTIPLEUSE || context != CLSCTX_INPROC_SERVER) {
        return E_INVALIDARG;  // a registration kind this runtime does not implement
    }
    for (const RegisteredClass& entry : State().classes) {
        if (entry.apartment == apartment && IsEqualCLSID(entry.clsid, clsid)) {
            // A second registration of a class the apartment already serves succeeds without
            // a registration of its own.
            return S_OK;
        }
    }
    object->AddRef();
    const DWORD assigned = State().nextCookie++;
    State().classes.push_back(RegisteredClass{clsid, object, assigned, apartment});
    *cookie = assigned;
    return S_OK;
}

extern "C" HRESULT CoRevokeClassObject(DWORD cookie) {
    IUnknown* object = nullptr;
    {
        std::lock_guard<std::mutex> guard(State().lock);
        const uint64_t apartment = CurrentApartment(State());
        if (apartment == 0) {
            return CO_E_NOTINITIALIZED;
        }
        auto& classes = State().classes;
        for (auto it = classes.begin(); it != classes.end(); ++it) {
            if (it->cookie == cookie) {
                if (it->apartment != apartment) {
                    return RPC_E_WRONG_THREAD;
                }
                object = it->object;
                classes.erase(it);
                break;
            }
        }
    }
    if (object == nullptr) {
        return E_INVALIDARG;
    }
    object->Release();
    return S_OK;
}

extern "C" HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid,
                                    LPVOID* object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    IUnknown* classObject = nullptr;
    {
        std::lock_guard<std::mutex> guard(State().lock);
        const uint64_t apartment = CurrentApartment(State());
        if (apartment == 0) {
            return CO_E_NOTINITIALIZED;
        }
        for (const RegisteredClass& entry : State().classes) {
            if (entry.apartment == apartment && IsEqualCLSID(entry.clsid, clsid) &&
                (context & CLSCTX_INPROC_SERVER) != 0) {
                classObject = entry.object;
                classObject->AddRef();
                break;
            }
        }
    }
    if (classObject == nullptr) {
        return REGDB_E_CLASSNOTREG;
    }
    IClassFactory* factory = nullptr;
    HRESULT hr = classObject->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&factory));
    classObject->Release();
    if (FAILED(hr)) {
        return hr;
    }
    hr = factory->CreateInstance(outer, iid, object);
    factory->Release();
    if (FAILED(hr)) {
        *object = nullptr;
    }
    return hr;
}

extern "C" LPVOID CoTaskMemAlloc(SIZE_T size) {
    return vexplat::AllocateBlock(vexplat::Family::TaskMemory, size);
}

extern "C" void CoTaskMemFree(LPVOID memory) {
    vexplat::FreeBlock(vexplat::Family::TaskMemory, "CoTaskMemFree", memory);
}
