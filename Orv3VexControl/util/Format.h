// The library's message formatter: printf-style formats over WCHAR with the Microsoft
// meanings ("%s" a wide string, "%S" a narrow one), a type-checked argument list, and the
// length measured before the text is produced into a buffer of exactly that length.
#pragma once

#include "Platform.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace Util {

// The failure text of a code, produced only when a record is really formatted.
struct ErrorText {
    HRESULT code;
};

// One argument of a format: an integer, a wide or narrow text, or a failure text.
class FormatArg {
public:
    enum class Kind { Signed, Unsigned, Wide, Narrow, Error };

    FormatArg(int value) : m_kind(Kind::Signed), m_int(value), m_bits(32) {}
    FormatArg(long value) : m_kind(Kind::Signed), m_int(value), m_bits(sizeof(long) * 8) {}
    FormatArg(long long value) : m_kind(Kind::Signed), m_int(value), m_bits(64) {}
    FormatArg(unsigned value) : m_kind(Kind::Unsigned), m_uint(value), m_bits(32) {}
    FormatArg(unsigned long value)
        : m_kind(Kind::Unsigned), m_uint(value), m_bits(sizeof(long) * 8) {}
    FormatArg(unsigned long long value) : m_kind(Kind::Unsigned), m_uint(value), m_bits(64) {}
    FormatArg(const WCHAR* text) : m_kind(Kind::Wide), m_wide(text != nullptr ? text : u16null()) {}
    FormatArg(const WString& text) : m_kind(Kind::Wide), m_wide(text) {}
    FormatArg(const char* text)
        : m_kind(Kind::Narrow), m_narrow(text != nullptr ? text : "(null)") {}
    FormatArg(const std::string& text) : m_kind(Kind::Narrow), m_narrow(text) {}
    FormatArg(ErrorText error) : m_kind(Kind::Error), m_int(error.code), m_bits(32) {}

    Kind kind() const { return m_kind; }
    int64_t Signed() const;     // the value as a signed integer of its own width
    uint64_t Unsigned() const;  // the value's bits
    unsigned Bits() const { return m_bits; }
    std::basic_string_view<WCHAR> Wide() const { return m_wide; }
    std::string_view Narrow() const { return m_narrow; }

private:
    static const WCHAR* u16null();

    Kind m_kind;
    int64_t m_int = 0;
    uint64_t m_uint = 0;
    unsigned m_bits = 0;
    std::basic_string_view<WCHAR> m_wide;
    std::string_view m_narrow;
};

// Formats `format` with `args`. A conversion without an argument left, or an unknown one,
// is copied literally.
WString FormatText(const WCHAR* format, std::initializer_list<FormatArg> args);

template <typename... Args>
WString Format(const WCHAR* format, const Args&... args) {
    return FormatText(format, {FormatArg(args)...});
}

// A narrow (ASCII) text as wide text, such as a source file name.
WString Widen(const char* text);

// How many times FormatText has run in this process (for tests and benchmarks).
uint64_t FormatCount();

}  // namespace Util
