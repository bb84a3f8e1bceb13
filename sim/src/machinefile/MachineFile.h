// Machine files: reading a machine from JSON text, with a message that names the JSON path of
// anything wrong, and writing a machine back in the same format.
#pragma once

#include "machine/Machine.h"

#include <memory>
#include <string>
#include <vector>

namespace vexsim {

// Throws MachineError (common/JsonSupport.h).
std::unique_ptr<Machine> ParseMachine(const std::string& text);
// One fault object or an array of them, checked against the machine they will join.
std::vector<Fault> ParseFaults(const std::string& text, const Machine& machine);

std::string DumpMachine(const Machine& machine);

}  // namespace vexsim
