// JSON text for people as well as programs: objects one member a line, lists of numbers on
// one line, so that a preset with many 20-band lists stays readable.
#pragma once

#include "ValueLayout.h"

#include <string>

namespace vexctl {

// The document as indented text, ending with a line break.
std::string PrettyJson(const Json& document);

}  // namespace vexctl
