#include "common/Text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vexsim {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool ReadHex(std::string_view text, size_t pos, size_t digits, uint64_t* value) {
    uint64_t result = 0;
    for (size_t i = 0; i < digits; ++i) {
        const int d = HexDigit(text[pos + i]);
        if (d < 0) {
            return false;
        }
        result = (result << 4) | static_cast<uint64_t>(d);
    }
    *value = result;
    return true;
}

struct NamedResult {
    const char* name;
    uint32_t value;
};

const NamedResult kResults[] = {
    {"S_OK", 0x00000000},
    {"S_FALSE", 0x00000001},
    {"E_NOTIMPL", 0x80004001},
    {"E_NOINTERFACE", 0x80004002},
    {"E_POINTER", 0x80004003},
    {"E_FAIL", 0x80004005},
    {"E_UNEXPECTED", 0x8000FFFF},
    {"E_ACCESSDENIED", 0x80070005},
    {"E_OUTOFMEMORY", 0x8007000E},
    {"E_INVALIDARG", 0x80070057},
    {"E_NOTFOUND", 0x80070490},
    {"ERROR_NOT_SUPPORTED", 0x80070032},
    {"ERROR_INSUFFICIENT_BUFFER", 0x8007007A},
    {"ERROR_MORE_DATA", 0x800700EA},
    {"ERROR_INVALID_PARAMETER", 0x80070057},
    {"ERROR_SET_NOT_FOUND", 0x80070492},
    {"CLASS_E_NOAGGREGATION", 0x80040110},
    {"CLASS_E_CLASSNOTAVAILABLE", 0x80040111},
    {"REGDB_E_CLASSNOTREG", 0x80040154},
    {"CO_E_NOTINITIALIZED", 0x800401F0},
    {"STG_E_ACCESSDENIED", 0x80030005},
    {"STG_E_INVALIDPARAMETER", 0x80030057},
    {"DISP_E_BADVARTYPE", 0x80020008},
    {"AUDCLNT_E_DEVICE_INVALIDATED", 0x88890004},
};

}  // namespace

// The platform's encoder, as FromUtf8 takes its decoder: a lone surrogate becomes U+FFFD.
std::string ToUtf8(const WCHAR* text, size_t length) {
    const int chars = static_cast<int>(length);
    const int bytes =
        length == 0 ? 0
                    : WideCharToMultiByte(CP_UTF8, 0, text, chars, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(std::max(bytes, 0)), '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text, chars, out.data(), bytes, nullptr, nullptr);
    }
    return out;
}

std::string ToUtf8(const WString& text) {
    return ToUtf8(text.data(), text.size());
}

// The platform's decoder is the one decoder: text that is not UTF-8 gives an empty string.
WString FromUtf8(std::string_view text) {
    const int bytes = static_cast<int>(text.size());
    const int length = text.empty() ? 0
                                    : MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS,
                                                          text.data(), bytes, nullptr, 0);
    WString wide(static_cast<size_t>(std::max(length, 0)), 0);
    if (length > 0) {
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), bytes, wide.data(), length);
    }
    return wide;
}

std::optional<GUID> ParseGuid(std::string_view text) {
    if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' ||
        text[14] != '-' || text[19] != '-' || text[24] != '-') {
        return std::nullopt;
    }
    GUID guid{};
    uint64_t v = 0;
    if (!ReadHex(text, 1, 8, &v)) {
        return std::nullopt;
    }
    guid.Data1 = static_cast<uint32_t>(v);
    if (!ReadHex(text, 10, 4, &v)) {
        return std::nullopt;
    }
    guid.Data2 = static_cast<uint16_t>(v);
    if (!ReadHex(text, 15, 4, &v)) {
        return std::nullopt;
    }
    guid.Data3 = static_cast<uint16_t>(v);
    static const size_t kBytes[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(text, kBytes[i], 2, &v)) {
            return std::nullopt;
        }
        guid.Data4[i] = static_cast<uint8_t>(v);
    }
    return guid;
}

std::string FormatGuid(const GUID& guid) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), static_cast<unsigned>(guid.Data2),
                  static_cast<unsigned>(guid.Data3), guid.Data4[0], guid.Data4[1], guid.Data4[2],
                  guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

std::optional<PROPERTYKEY> ParseKey(std::string_view text) {
    const size_t comma = text.find(',');
    if (comma == std::string_view::npos) {
        return std::nullopt;
    }
    const auto guid = ParseGuid(text.substr(0, comma));
    if (!guid) {
        return std::nullopt;
    }
    size_t i = comma + 1;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    uint64_t pid = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        pid = pid * 10 + static_cast<uint64_t>(text[i] - '0');
        if (pid > 0xFFFFFFFFull) {
            return std::nullopt;
        }
    }
    PROPERTYKEY key{};
    key.fmtid = *guid;
    key.pid = static_cast<DWORD>(pid);
    return key;
}

std::string FormatKey(const PROPERTYKEY& key) {
    return FormatGuid(key.fmtid) + "," + std::to_string(static_cast<unsigned long>(key.pid));
}

bool SameKey(const PROPERTYKEY& a, const PROPERTYKEY& b) {
    return a.pid == b.pid && std::memcmp(&a.fmtid, &b.fmtid, sizeof(GUID)) == 0;
}

std::optional<HRESULT> ParseResultName(std::string_view text) {
    for (const NamedResult& named : kResults) {
        if (text == named.name) {
            return static_cast<HRESULT>(named.value);
        }
    }
    if (text.size() > 2 && text.size() <= 10 && text[0] == '0' &&
        (text[1] == 'x' || text[1] == 'X')) {
        uint64_t v = 0;
        if (ReadHex(text, 2, text.size() - 2, &v)) {
            return static_cast<HRESULT>(static_cast<uint32_t>(v));
        }
    }
    return std::nullopt;
}

std::string FormatResult(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

LPWSTR CoTaskCopy(const WString& text) {
    const size_t bytes = (text.size() + 1) * sizeof(WCHAR);
    auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (copy != nullptr) {
        std::memcpy(copy, text.c_str(), bytes);
    }
    return copy;
}

std::string ToHex(const uint8_t* bytes, size_t count) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        text.push_back(kDigits[bytes[i] >> 4]);
        text.push_back(kDigits[bytes[i] & 0xF]);
    }
    return text;
}

std::optional<std::vector<uint8_t>> FromHex(std::string_view text) {
    if (text.size() % 2 != 0) {
        return std::nullopt;
    }
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() / 2);
    for (size_t i = 0; i < text.size(); i += 2) {
        const int high = HexDigit(text[i]);
        const int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<uint8_t>((high << 4) | low));
    }
    return bytes;
}

HRESULT CopyText(const WString& text, LPWSTR* out) {
    *out = CoTaskCopy(text);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace vexsim
