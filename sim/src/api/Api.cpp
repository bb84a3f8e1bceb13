// The C API of the simulator: machines, registration, object and call counts.
#include "vexsim.h"

#include "api/ApiSupport.h"
#include "machinefile/MachineFile.h"
#include "common/ObjectCounter.h"
#include "devices/PropertyStore.h"
#include "common/ClassFactory.h"
#include "common/Simulator.h"
#include "common/Text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#ifndef VEXSIM_MACHINES_DIR
#define VEXSIM_MACHINES_DIR ""
#endif
#ifndef VEXSIM_INSTALLED_MACHINES_DIR
#define VEXSIM_INSTALLED_MACHINES_DIR ""
#endif

namespace vexsim {

namespace {

thread_local std::string t_lastError;
thread_local std::string t_dump;
thread_local std::string t_machinesDirectory;

FILE* OpenFile(const char* path, const char* mode) {
#ifdef _WIN32
    const WString widePath = FromUtf8(path);
    const WString wideMode = FromUtf8(mode);
    return _wfopen(widePath.c_str(), wideMode.c_str());
#else
    return std::fopen(path, mode);
#endif
}

bool ReadFile(const char* path, std::string* text, std::string* error) {
    FILE* file = OpenFile(path, "rb");
    if (file == nullptr) {
        *error = std::string(path) + ": cannot open the file (" + std::strerror(errno) + ")";
        return false;
    }
    char buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text->append(buffer, n);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        *error = std::string(path) + ": cannot read the file";
        return false;
    }
    return true;
}

// The directory this library's own file lies in ("" when it cannot be told).
std::string ModuleDirectory() {
    std::string path;
#ifdef _WIN32
    HMODULE module = nullptr;
    if (GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&ModuleDirectory), &module)) {
        WCHAR buffer[32768];
        const DWORD length = GetModuleFileNameW(module, buffer, 32768);
        if (length > 0 && length < 32768) {
            path = ToUtf8(buffer, length);
        }
    }
#else
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ModuleDirectory), &info) != 0 &&
        info.dli_fname != nullptr) {
        path = info.dli_fname;
    }
#endif
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// The machines of an installed simulator, when this library is one and they are in place.
std::string InstalledMachinesDirectory() {
    const std::string module = ModuleDirectory();
    if (module.empty() || *VEXSIM_INSTALLED_MACHINES_DIR == 0) {
        return std::string();
    }
    const std::string directory = module + "/" + VEXSIM_INSTALLED_MACHINES_DIR;
    FILE* probe = OpenFile((directory + "/default.json").c_str(), "rb");
    if (probe == nullptr) {
        return std::string();
    }
    std::fclose(probe);
    return directory;
}

// Registers the classes for this thread when it has COM; a thread without COM leaves it for
// later (vexsim_Register or the next load).
int RegisterAfterLoad() {
    const HRESULT hr = RegisterClasses();
    if (SUCCEEDED(hr) || hr == CO_E_NOTINITIALIZED) {
        return Succeed();
    }
    return FailWith("the machine is loaded, but registering its COM classes failed with " +
                    FormatResult(hr));
}

int Load(const std::string& text, const std::string& origin) {
    std::unique_ptr<Machine> machine;
    try {
        machine = ParseMachine(text);
    } catch (const MachineError& error) {
        return FailWith(origin.empty() ? error.what() : origin + ": " + error.what());
    }
    std::string error;
    if (!ReplaceMachine(std::move(machine), &error)) {
        return FailWith((origin.empty() ? std::string() : origin + ": ") + error);
    }
    return RegisterAfterLoad();
}

}  // namespace

int FailWith(const std::string& message) {
    t_lastError = message;
    return -1;
}

int Succeed() {
    t_lastError.clear();
    return 0;
}

const char* HandOut(std::string* slot, std::string text) {
    *slot = std::move(text);
    return slot->c_str();
}

Device* FindDevice(const char* id, std::optional<DeviceKind> kind) {
    Device* device = id != nullptr ? CurrentMachine()->FindDevice(FromUtf8(id)) : nullptr;
    return device != nullptr && (!kind || device->kind == *kind) ? device : nullptr;
}

}  // namespace vexsim

using namespace vexsim;

extern "C" VEXSIM_API int vexsim_LoadMachineFile(const char* path) {
    if (path == nullptr) {
        return FailWith("no file name given");
    }
    std::string text;
    std::string error;
    if (!ReadFile(path, &text, &error)) {
        return FailWith(error);
    }
    return Load(text, path);
}

extern "C" VEXSIM_API int vexsim_LoadMachineJson(const char* json) {
    if (json == nullptr) {
        return FailWith("no JSON text given");
    }
    return Load(json, "");
}

extern "C" VEXSIM_API const char* vexsim_MachinesDirectory(void) {
    const char* fromEnvironment = std::getenv("VEXSIM_MACHINES_DIR");
    std::string directory;
    if (fromEnvironment != nullptr && *fromEnvironment != 0) {
        directory = fromEnvironment;
    } else {
        directory = InstalledMachinesDirectory();
        if (directory.empty()) {
            directory = VEXSIM_MACHINES_DIR;
        }
    }
#ifdef _WIN32
    if (!directory.empty() && directory[0] == '/') {
        directory = "Z:" + directory;  // Wine maps the Linux root to drive Z:
    }
#endif
    return HandOut(&t_machinesDirectory, directory);
}

extern "C" VEXSIM_API int vexsim_LoadMachine(const char* name) {
    if (name == nullptr || *name == 0) {
        return FailWith("no machine name given");
    }
    const std::string path = std::string(vexsim_MachinesDirectory()) + "/" + name + ".json";
    return vexsim_LoadMachineFile(path.c_str());
}

extern "C" VEXSIM_API int vexsim_AddFaults(const char* json) {
    if (json == nullptr) {
        return FailWith("no JSON text given");
    }
    std::lock_guard<std::mutex> guard(MachineLock());
    try {
        std::vector<Fault> faults = ParseFaults(json, *CurrentMachine());
        for (Fault& fault : faults) {
            CurrentMachine()->faults.push_back(std::move(fault));
        }
    } catch (const MachineError& error) {
        return FailWith(error.what());
    }
    return Succeed();
}

extern "C" VEXSIM_API void vexsim_Reset(void) {
    std::string error;
    ReplaceMachine(std::make_unique<Machine>(), &error);  // an empty machine writes nothing
}

extern "C" VEXSIM_API const char* vexsim_DumpJson(void) {
    std::lock_guard<std::mutex> guard(MachineLock());
    return HandOut(&t_dump, DumpMachine(*CurrentMachine()));
}

extern "C" VEXSIM_API int vexsim_DumpToFile(const char* path) {
    if (path == nullptr) {
        return FailWith("no file name given");
    }
    const std::string text = vexsim_DumpJson();
    FILE* file = OpenFile(path, "wb");
    if (file == nullptr) {
        return FailWith(std::string(path) + ": cannot create the file (" + std::strerror(errno) +
                        ")");
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        return FailWith(std::string(path) + ": cannot write the file");
    }
    return Succeed();
}

extern "C" VEXSIM_API const char* vexsim_LastError(void) {
    return t_lastError.c_str();
}

extern "C" VEXSIM_API int vexsim_Register(void) {
    const HRESULT hr = RegisterClasses();
    if (FAILED(hr)) {
        return FailWith(
            "CoRegisterClassObject failed with " + FormatResult(hr) +
            (hr == CO_E_NOTINITIALIZED ? " (COM is not initialised on this thread)" : ""));
    }
    return Succeed();
}

extern "C" VEXSIM_API void vexsim_Unregister(void) {
    RevokeClasses();
}

extern "C" VEXSIM_API long vexsim_LiveObjectCount(void) {
    return ObjectCounter::Live();
}

extern "C" VEXSIM_API long vexsim_OutstandingReferenceCount(void) {
    return ObjectCounter::References();
}

extern "C" VEXSIM_API long vexsim_LiveObjectCountOf(const char* kind) {
    return kind != nullptr ? ObjectCounter::LiveOf(kind) : 0;
}

extern "C" VEXSIM_API int vexsim_HoldPropertyStore(const char* endpointId) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Device* endpoint = FindDevice(endpointId, DeviceKind::Endpoint);
    if (endpoint == nullptr) {
        return FailWith("no endpoint of the machine has that id");
    }
    endpoint->holdStore = true;
    return Succeed();
}

extern "C" VEXSIM_API int vexsim_ReleasePropertyStore(const char* endpointId) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Device* endpoint = FindDevice(endpointId, DeviceKind::Endpoint);
    if (endpoint == nullptr) {
        return FailWith("no endpoint of the machine has that id");
    }
    endpoint->holdStore = false;
    PropertyStoreObject::ReleaseHeld(endpoint);
    return Succeed();
}

extern "C" VEXSIM_API long vexsim_PropertyStoreReferences(const char* endpointId) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Device* endpoint = FindDevice(endpointId, DeviceKind::Endpoint);
    if (endpoint == nullptr) {
        return FailWith("no endpoint of the machine has that id");
    }
    if (!endpoint->holdStore) {
        return FailWith("the endpoint's store is not held (vexsim_HoldPropertyStore)");
    }
    Succeed();
    return PropertyStoreObject::HeldReferences(*endpoint);
}

extern "C" VEXSIM_API int vexsim_SetEndpointState(const char* id, unsigned long state) {
    if (state != DEVICE_STATE_ACTIVE && state != DEVICE_STATE_DISABLED &&
        state != DEVICE_STATE_NOTPRESENT && state != DEVICE_STATE_UNPLUGGED) {
        return FailWith(
            "a device state is one of DEVICE_STATE_ACTIVE (1), DEVICE_STATE_DISABLED "
            "(2), DEVICE_STATE_NOTPRESENT (4) and DEVICE_STATE_UNPLUGGED (8)");
    }
    std::lock_guard<std::mutex> guard(MachineLock());
    Device* device = FindDevice(id);
    if (device == nullptr) {
        return FailWith("no endpoint of the machine has that id (nor has any filter)");
    }
    device->state = static_cast<DWORD>(state);
    return Succeed();
}

extern "C" VEXSIM_API unsigned long vexsim_CallCount(const char* method) {
    if (method == nullptr) {
        return 0;
    }
    std::lock_guard<std::mutex> guard(MachineLock());
    if (std::string(method) == kAnyMethod) {
        return static_cast<unsigned long>(CurrentMachine()->totalCalls);
    }
    const auto& calls = CurrentMachine()->calls;
    auto it = calls.find(method);
    return it != calls.end() ? static_cast<unsigned long>(it->second) : 0;
}
