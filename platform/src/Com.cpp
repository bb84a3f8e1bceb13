// The COM runtime: per-thread apartment counts, the process-wide class table and the task
// allocator.
#include <windows.h>

#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

struct ThreadApartment {
    ULONG count = 0;
    DWORD model = 0;
};

thread_local ThreadApartment t_apartment;

struct RegisteredClass {
    CLSID clsid;
    IUnknown* object;
    DWORD context;
    DWORD cookie;
};

struct ComState {
    std::mutex lock;
    std::vector<RegisteredClass> classes;
    DWORD nextCookie = 1;
    ULONG multithreadedUsers = 0;  // threads in the process's multithreaded apartment
};

ComState& State() {
    static ComState* state = new ComState();  // lives as long as the process
    return *state;
}

DWORD ModelOf(DWORD coInit) {
    return (coInit & COINIT_APARTMENTTHREADED) ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED;
}

// True when the calling thread may use COM: it initialised it, or the process has a
// multithreaded apartment that an uninitialised thread joins implicitly, as on Windows.
bool ThreadCanUseCom() {
    if (t_apartment.count > 0) {
        return true;
    }
    std::lock_guard<std::mutex> guard(State().lock);
    return State().multithreadedUsers > 0;
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
    if (model == COINIT_MULTITHREADED) {
        std::lock_guard<std::mutex> guard(State().lock);
        ++State().multithreadedUsers;
    }
    return S_OK;
}

extern "C" void CoUninitialize() {
    if (t_apartment.count == 0) {
        return;
    }
    if (--t_apartment.count == 0 && t_apartment.model == COINIT_MULTITHREADED) {
        std::lock_guard<std::mutex> guard(State().lock);
        --State().multithreadedUsers;
    }
}

extern "C" HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* object, DWORD context,
                                         DWORD /*flags*/, LPDWORD cookie) {
    if (object == nullptr || cookie == nullptr) {
        return E_INVALIDARG;
    }
    *cookie = 0;
    if (!ThreadCanUseCom()) {
        return CO_E_NOTINITIALIZED;
    }
    object->AddRef();
    std::lock_guard<std::mutex> guard(State().lock);
    const DWORD assigned = State().nextCookie++;
    State().classes.push_back(RegisteredClass{clsid, object, context, assigned});
    *cookie = assigned;
    return S_OK;
}

extern "C" HRESULT CoRevokeClassObject(DWORD cookie) {
    IUnknown* object = nullptr;
    {
        std::lock_guard<std::mutex> guard(State().lock);
        auto& classes = State().classes;
        for (auto it = classes.begin(); it != classes.end(); ++it) {
            if (it->cookie == cookie) {
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
    if (!ThreadCanUseCom()) {
        return CO_E_NOTINITIALIZED;
    }
    IUnknown* classObject = nullptr;
    {
        std::lock_guard<std::mutex> guard(State().lock);
        for (const RegisteredClass& entry : State().classes) {
            if (IsEqualCLSID(entry.clsid, clsid) && (entry.context & context) != 0) {
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
    return std::malloc(size == 0 ? 1 : size);
}

extern "C" LPVOID CoTaskMemRealloc(LPVOID memory, SIZE_T size) {
    return std::realloc(memory, size == 0 ? 1 : size);
}

extern "C" void CoTaskMemFree(LPVOID memory) {
    std::free(memory);
}
