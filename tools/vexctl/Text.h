// Text helpers of vexctl: UTF-8 (the tool's own text) to and from UTF-16 (the platform's),
// result codes with their system text, file paths and whole-file reads and writes.
#pragma once

#include "Platform.h"

#include <filesystem>
#include <optional>
#include <string>

namespace vexctl {

// UTF-16 to UTF-8 (an unpaired surrogate becomes U+FFFD), and UTF-8 to UTF-16 (a text that is
// not UTF-8 throws UsageFailure).
std::string ToUtf8(const WCHAR* text, size_t length);
std::string ToUtf8(const WString& text);
WString ToUtf16(const std::string& text);

// "0x80004005", the code as eight lower-case hexadecimal digits.
std::string HexCode(HRESULT hr);
// The system's message text for a code (FormatMessageW), without its trailing line break;
// empty when the system has none.
std::string SystemText(HRESULT hr);
// "0x80004005 Unspecified error": the code and its system text.
std::string DescribeCode(HRESULT hr);

// "{0FE1C2A3-...}": a GUID in its registry form, upper-case hexadecimal digits in braces.
std::string GuidText(const GUID& guid);
// "{GUID},pid": a property key as the machine file and the parameter reference write it.
std::string KeyText(const PROPERTYKEY& key);

// A path from UTF-8 text, and back.
std::filesystem::path PathFromUtf8(const std::string& text);
std::string PathToUtf8(const std::filesystem::path& path);

// The value of an environment variable, when it is set and not empty.
std::optional<std::string> Environment(const char* name);

// Writes a whole file through a temporary file beside it that then replaces the target, so
// that a reader never sees half a file. Creates missing parent directories. Throws Failure.
void WriteFileReplacing(const std::filesystem::path& path, const std::string& content);

}  // namespace vexctl
