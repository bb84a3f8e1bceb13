#include "common/Simulator.h"

#include "machine/MachineRegistry.h"
#include "devices/PropertyStore.h"

namespace vexsim {

namespace {

struct State {
    std::mutex machineLock;
    std::mutex replaceLock;  // one replacement (registry included) at a time
    std::shared_ptr<Machine> machine = std::make_shared<Machine>();
};

State& TheState() {
    static State* state = new State();  // objects may outlive static destruction
    return *state;
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

}  // namespace vexsim
