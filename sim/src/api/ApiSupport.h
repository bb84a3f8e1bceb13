// What the C API's functions share: the calling thread's last error and returned texts.
#pragma once

#include "machine/Machine.h"

#include <optional>
#include <string>

namespace vexsim {

// Records the reason for a failure and gives the API's failure result (-1).
int FailWith(const std::string& message);
// Clears the last error and gives the success result (0).
int Succeed();
// Keeps a text for the caller until the next call that hands one out through the same slot.
const char* HandOut(std::string* slot, std::string text);
// A device of the current machine by its UTF-8 id, of the kind given (or of either); null when
// there is none. Caller holds MachineLock.
Device* FindDevice(const char* id, std::optional<DeviceKind> kind = std::nullopt);

}  // namespace vexsim
