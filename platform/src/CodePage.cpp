// Code-page conversion and the thread's last error. The system's ANSI code page here is 1252,
// as on a Western European Windows; UTF-8 is decoded strictly.
#include <windows.h>

#include <cstring>

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

constexpr UINT kAnsiCodePage = 1252;

// Code page 1252 above 0x7F: 0x80 to 0x9F as the table below, and 0xA0 to 0xFF as the same
// code points. The five bytes the code page leaves undefined stand for the C1 controls.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr char32_t kReplacement = 0xFFFD;

char32_t DecodeAnsi(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : byte;
}

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Decodes one UTF-8 sequence at text[*i]. Whatever is not a well-formed sequence (a stray
// continuation byte, the lead bytes C0, C1 and F5 to FF, an overlong form, a surrogate, a code
// point above U+10FFFF, a sequence cut short) gives U+FFFD and clears *valid. A sequence cut
// by the end of the input is one replacement; one whose first continuation byte puts it out of
// range is replaced with that byte; a later byte that does not continue it ends it.
char32_t DecodeUtf8(const unsigned char* text, size_t length, size_t* i, bool* valid) {
    const unsigned char lead = text[*i];
    if (lead < 0x80) {
        ++*i;
        return lead;
    }
    size_t extra = 0;
    char32_t cp = 0;
    unsigned char low = 0x80;  // the range of the first continuation byte
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        cp = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // shorter forms are overlong
        high = lead == 0xED ? 0x9F : 0xBF;  // U+D800 to U+DFFF are surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        cp = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;   // shorter forms are overlong
        high = lead == 0xF4 ? 0x8F : 0xBF;  // above U+10FFFF
    } else {
        ++*i;
        *valid = false;
        return kReplacement;
    }
    if (length - *i <= extra) {
        *i = length;
        *valid = false;
        return kReplacement;
    }
    const unsigned char first = text[*i + 1];
    if (!IsContinuation(first)) {
        ++*i;
        *valid = false;
        return kReplacement;
    }
    if (first < low || first > high) {
        *i += 2;
        *valid = false;
        return kReplacement;
    }
    for (size_t k = 1; k <= extra; ++k) {
        const unsigned char next = text[*i + k];
        if (!IsContinuation(next)) {
            *i += k;
            *valid = false;
            return kReplacement;
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    *i += extra + 1;
    return cp;
}

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

int Fail(DWORD error) {
    t_lastError = error;
    return 0;
}

}  // namespace

extern "C" DWORD GetLastError() {
    return t_lastError;
}

extern "C" void SetLastError(DWORD error) {
    t_lastError = error;
}

extern "C" UINT GetACP() {
    return kAnsiCodePage;
}

extern "C" int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int bytes, LPWSTR wide,
                                   int capacity) {
    const bool utf8 = codePage == CP_UTF8;
    const bool ansi = codePage == CP_ACP || codePage == CP_THREAD_ACP || codePage == kAnsiCodePage;
    if (text == nullptr || bytes == 0 || capacity < 0 || (wide == nullptr && capacity != 0) ||
        (!utf8 && !ansi)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    // UTF-8 takes no flag but MB_ERR_INVALID_CHARS; precomposed is what a single-byte page
    // gives anyway. Composite forms and glyph characters are not implemented.
    const DWORD allowed = utf8 ? MB_ERR_INVALID_CHARS : MB_PRECOMPOSED | MB_ERR_INVALID_CHARS;
    if ((flags & ~allowed) != 0) {
        return Fail(ERROR_INVALID_FLAGS);
    }
    const size_t length = bytes < 0 ? std::strlen(text) + 1 : static_cast<size_t>(bytes);
    const auto* input = reinterpret_cast<const unsigned char*>(text);
    size_t produced = 0;
    size_t i = 0;
    while (i < length) {
        bool valid = true;
        const char32_t cp = utf8 ? DecodeUtf8(input, length, &i, &valid) : DecodeAnsi(input[i++]);
        if (!valid && (flags & MB_ERR_INVALID_CHARS) != 0) {
            return Fail(ERROR_NO_UNICODE_TRANSLATION);
        }
        const size_t units = cp >= 0x10000 ? 2 : 1;
        if (capacity > 0) {
            if (produced + units > static_cast<size_t>(capacity)) {
                return Fail(ERROR_INSUFFICIENT_BUFFER);
            }
            if (units == 2) {
                const char32_t v = cp - 0x10000;
                wide[produced] = static_cast<WCHAR>(0xD800 + (v >> 10));
                wide[produced + 1] = static_cast<WCHAR>(0xDC00 + (v & 0x3FF));
            } else {
                wide[produced] = static_cast<WCHAR>(cp);
            }
        }
        produced += units;
    }
    return static_cast<int>(produced);
}

extern "C" int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int chars, LPSTR text,
                                   int capacity, LPCSTR defaultChar, BOOL* usedDefaultChar) {
    // UTF-8 takes no default character and no flag but WC_ERR_INVALID_CHARS.
    if (codePage != CP_UTF8 || wide == nullptr || chars == 0 || capacity < 0 ||
        (text == nullptr && capacity != 0) || defaultChar != nullptr ||
        usedDefaultChar != nullptr || (flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) {
        return Fail(ERROR_INVALID_PARAMETER);
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
                return Fail(ERROR_NO_UNICODE_TRANSLATION);
            }
            cp = 0xFFFD;
        }
        char bytes[4];
        const size_t count = Encode(cp, bytes);
        if (capacity > 0) {
            if (produced + count > static_cast<size_t>(capacity)) {
                return Fail(ERROR_INSUFFICIENT_BUFFER);
            }
            for (size_t k = 0; k < count; ++k) {
                text[produced + k] = bytes[k];
            }
        }
        produced += count;
    }
    return static_cast<int>(produced);
}
