#include "GuidText.h"

namespace Util {

WString GuidText(const GUID& guid) {
    WCHAR text[39] = {};
    const int written = StringFromGUID2(guid, text, 39);
    return written > 0 ? WString(text) : WString();
}

}  // namespace Util
