// The process-wide state of the simulator: the current machine and the lock that guards every
// machine.
#pragma once

#include "machine/Machine.h"

#include <memory>
#include <mutex>
#include <string>

namespace vexsim {

// Held around every read or change of a machine (current or not).
std::mutex& MachineLock();

// The machine that new enumerators and policy-config objects see (never null). Caller holds
// MachineLock.
const std::shared_ptr<Machine>& CurrentMachine();
// Makes `machine` current and applies its registry values, removing the previous machine's.
// On failure nothing changes and `error` says why. Takes MachineLock itself.
bool ReplaceMachine(std::unique_ptr<Machine> machine, std::string* error);

}  // namespace vexsim
