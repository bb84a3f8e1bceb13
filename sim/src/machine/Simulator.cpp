#include "machine/Simulator.h"

#include "common/ClassFactory.h"
#include "PolicyConfig.h"
#include "SystemGuids.h"
#include "machine/MachineRegistry.h"
#include "devices/PropertyStore.h"

namespace vexsim {

namespace {

struct State {
    std::mutex machineLock;
    std::mutex replaceLock;  // one replacement (registry included) at a time
    std::shared_ptr<Machine> machine = std::make_shared<Machine>();
    std::mutex registrationLock;
    DWORD enumeratorCookie = 0;
    DWORD policyConfigCookie = 0;
};

State& TheState() {
    static State* state = new State();  // objects may outlive static destruction
    return *state;
}

void RevokeLocked() {
    State& state = TheState();
    if (state.enumeratorCookie != 0) {
        CoRevokeClassObject(state.enumeratorCookie);
        state.enumeratorCookie = 0;
    }
    if (state.policyConfigCookie != 0) {
        CoRevokeClassObject(state.policyConfigCookie);
        state.policyConfigCookie = 0;
    }
}

}  // namespace

std::mutex& MachineLock() {
    return TheState().machineLock;
}

const std::shared_ptr<Machine>& CurrentMachine() {
    return TheState().machine;
}

bool ReplaceMachine(std::unique_ptr<Machine> machine, std::string* error) {
    State& state = TheState();
    std::lock_guard<std::mutex> replacing(state.replaceLock);
    std::shared_ptr<Machine> previous;
    {
        std::lock_guard<std::mutex> guard(state.machineLock);
        previous = state.machine;
    }
    RemoveRegistry();
    if (!ApplyRegistry(*machine, error)) {
        std::string ignored;
        ApplyRegistry(*previous, &ignored);
        return false;
    }
    std::lock_guard<std::mutex> guard(state.machineLock);
    state.machine = std::shared_ptr<Machine>(std::move(machine));
    // The previous machine's service lets go of the stores it held.
    for (auto& device : previous->devices) {
        PropertyStoreObject::ReleaseHeld(device.get());
    }
    return true;
}

HRESULT RegisterClasses() {
    State& state = TheState();
    std::lock_guard<std::mutex> guard(state.registrationLock);
    RevokeLocked();
    HRESULT hr =
        CoRegisterClassObject(Guids::kClsidMMDeviceEnumerator, &ClassFactory::Enumerator(),
                              CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &state.enumeratorCookie);
    if (FAILED(hr)) {
        state.enumeratorCookie = 0;
        return hr;
    }
    hr = CoRegisterClassObject(CLSID_PolicyConfigVistaClient, &ClassFactory::PolicyConfig(),
                               CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &state.policyConfigCookie);
    if (FAILED(hr)) {
        state.policyConfigCookie = 0;
        RevokeLocked();
    }
    return hr;
}

void RevokeClasses() {
    std::lock_guard<std::mutex> guard(TheState().registrationLock);
    RevokeLocked();
}

}  // namespace vexsim
