// The simulator's own interface id; the system's ids come from SystemGuids.h.
#pragma once

#include "PolicyConfig.h"
#include "SystemGuids.h"

namespace vexsim {

// A part object answers it with itself, so that a part handed back to the simulator
// (GetSignalPath) is recognised. {5C1E7A30-0D44-4F4B-9A7E-6B2D0F1C9E51}
inline constexpr IID kIidSimPart = {
    0x5C1E7A30, 0x0D44, 0x4F4B, {0x9A, 0x7E, 0x6B, 0x2D, 0x0F, 0x1C, 0x9E, 0x51}};

}  // namespace vexsim
