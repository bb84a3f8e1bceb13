// A machine's registry values in the process's HKEY_LOCAL_MACHINE. What the simulator writes
// is recorded under HKLM\SOFTWARE\VexSim, so that it can be removed later even by another
// process (under Wine the registry outlives the process).
#pragma once

#include "machine/Machine.h"

#include <string>

namespace vexsim {

// Writes the values, creating keys as needed. On failure removes what it wrote.
bool ApplyRegistry(const Machine& machine, std::string* error);
// Removes every key and value that the simulator recorded as its own.
void RemoveRegistry();

}  // namespace vexsim
