// Ordering of the tables keyed by endpoint id. The ids are long and mostly share their first
// few dozen characters, so comparing them character by character, as std::less does for
// char16_t text, costs more than the store call the table leads to. This ordering compares the
// lengths first and then the bytes, which finds the same entry for the same exact text.
#pragma once

#include "Platform.h"

#include <cstring>
#include <string_view>

namespace Util {

// True for the same text, compared as bytes.
inline bool SameText(std::basic_string_view<WCHAR> a, std::basic_string_view<WCHAR> b) {
    return a.size() == b.size() &&
           (a.size() == 0 || std::memcmp(a.data(), b.data(), a.size() * sizeof(WCHAR)) == 0);
}

struct TextKeyLess {
    using is_transparent = void;

    bool operator()(std::basic_string_view<WCHAR> a, std::basic_string_view<WCHAR> b) const {
        if (a.size() != b.size()) {
            return a.size() < b.size();
        }
        return a.size() != 0 && std::memcmp(a.data(), b.data(), a.size() * sizeof(WCHAR)) < 0;
    }
};

}  // namespace Util
