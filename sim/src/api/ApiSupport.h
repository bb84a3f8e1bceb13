// What the C API's functions share: the calling thread's last error and returned texts.
#pragma once

#include <string>

namespace vexsim {

// Records the reason for a failure and gives the API's failure result (-1).
int FailWith(const std::string& message);
// Clears the last error and gives the success result (0).
int Succeed();
// Keeps a text for the caller until the next call that hands one out through the same slot.
const char* HandOut(std::string* slot, std::string text);

}  // namespace vexsim
