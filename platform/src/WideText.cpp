// UTF-16 to UTF-8, the one direction of code-page conversion that the tools need besides
// MultiByteToWideChar.
#include <windows.h>

namespace {

// The UTF-8 bytes of one code point.
size_t Encode(char32_t cp, char* out) {
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | (cp >> 6));
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (cp >> 12));
        out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

bool IsHigh(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLow(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

extern "C" int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int chars, LPSTR text,
                                   int capacity, LPCSTR defaultChar, BOOL* usedDefaultChar) {
    // UTF-8 takes no default character and no flag but WC_ERR_INVALID_CHARS.
    if (codePage != CP_UTF8 || wide == nullptr || chars == 0 || capacity < 0 ||
        (text == nullptr && capacity != 0) || defaultChar != nullptr ||
        usedDefaultChar != nullptr || (flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) {
        return 0;
    }
    size_t length = 0;
    if (chars < 0) {
        while (wide[length] != 0) {
            ++length;
        }
        ++length;  // the terminator is converted too
    } else {
        length = static_cast<size_t>(chars);
    }
    size_t produced = 0;
    for (size_t i = 0; i < length; ++i) {
        char32_t cp = static_cast<char16_t>(wide[i]);
        if (IsHigh(cp) && i + 1 < length && IsLow(static_cast<char16_t>(wide[i + 1]))) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char16_t>(wide[i + 1]) - 0xDC00);
            ++i;
        } else if (IsHigh(cp) || IsLow(cp)) {
            if ((flags & WC_ERR_INVALID_CHARS) != 0) {
                return 0;
            }
            cp = 0xFFFD;
        }
        char bytes[4];
        const size_t count = Encode(cp, bytes);
        if (capacity > 0) {
            if (produced + count > static_cast<size_t>(capacity)) {
                return 0;
            }
            for (size_t k = 0; k < count; ++k) {
                text[produced + k] = bytes[k];
            }
        }
        produced += count;
    }
    return static_cast<int>(produced);
}
