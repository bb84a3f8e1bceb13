// The registry text form of a GUID: 38 characters, braces, upper-case hexadecimal digits.
#pragma once

#include "Platform.h"

namespace Util {

WString GuidText(const GUID& guid);

}  // namespace Util
