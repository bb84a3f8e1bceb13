// Text forms the simulator reads and writes: UTF-8 and UTF-16, GUIDs, property keys and
// result codes.
#pragma once

#include "Platform.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexsim {

std::string ToUtf8(const WCHAR* text, size_t length);
std::string ToUtf8(const WString& text);
// Empty when the text is not UTF-8.
WString FromUtf8(std::string_view text);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", digits of either case.
std::optional<GUID> ParseGuid(std::string_view text);
// The registry form with upper-case digits.
std::string FormatGuid(const GUID& guid);

// "{fmtid},pid" with a decimal pid; blanks after the comma are allowed.
std::optional<PROPERTYKEY> ParseKey(std::string_view text);
std::string FormatKey(const PROPERTYKEY& key);

bool SameKey(const PROPERTYKEY& a, const PROPERTYKEY& b);

// A result code: "0x80070005", a known name such as "E_ACCESSDENIED", or a decimal number.
std::optional<HRESULT> ParseResultName(std::string_view text);
std::string FormatResult(HRESULT hr);

// A CoTaskMemAlloc copy of the text with its terminating zero, or null when out of memory.
LPWSTR CoTaskCopy(const WString& text);
// Hands out a task-allocated copy of the text; E_OUTOFMEMORY when it cannot be made.
HRESULT CopyText(const WString& text, LPWSTR* out);

// Bytes as lower-case hexadecimal digits, and back (nullopt for an odd count or a non-digit).
std::string ToHex(const uint8_t* bytes, size_t count);
std::optional<std::vector<uint8_t>> FromHex(std::string_view text);

}  // namespace vexsim
