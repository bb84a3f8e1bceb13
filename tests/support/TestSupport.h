// Helpers shared by the tests: COM apartments, the platform in use, and text for messages.
#pragma once

#include "Platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace vextest {

// Endpoint ids of the default machine.
inline const WCHAR* const kSpeakers =
    TEXT("{0.0.0.00000000}.{6f1f6a2e-3c1b-4d59-9a51-0b7e2d1c4a01}");
inline const WCHAR* const kHeadphones =
    TEXT("{0.0.0.00000000}.{6f1f6a2e-3c1b-4d59-9a51-0b7e2d1c4a02}");

// Initialises COM on the calling thread for the lifetime of the object.
class ComApartment {
public:
    explicit ComApartment(DWORD model = COINIT_MULTITHREADED) {
        m_hr = CoInitializeEx(nullptr, model);
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (SUCCEEDED(m_hr)) {
            CoUninitialize();
        }
    }
    HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
};

// True when the test runs under Wine, whose platform DLLs answer instead of Windows.
inline bool RunningUnderWine() {
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

// True where the in-process trace controller can enable providers (not under Windows or Wine).
inline bool HaveTraceController() {
#ifdef _WIN32
    return false;
#else
    return true;
#endif
}

inline std::string Narrow(const WCHAR* text) {
    std::string out;
    for (; text != nullptr && *text != 0; ++text) {
        const unsigned c = static_cast<unsigned>(*text);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            char escaped[12];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        }
    }
    return out;
}
inline std::string Narrow(const WString& text) {
    return Narrow(text.c_str());
}

inline WString Widen(const char* text) {
    WString out;
    for (; *text != 0; ++text) {
        out.push_back(static_cast<WCHAR>(static_cast<unsigned char>(*text)));
    }
    return out;
}

inline std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(hr));
    return text;
}

// The system's own message text for a code, as FormatMessageW gives it (empty when none).
inline WString SystemMessage(HRESULT hr) {
    WCHAR* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    WString text;
    if (length > 0 && buffer != nullptr) {
        text.assign(buffer, length);
    }
    if (buffer != nullptr) {
        LocalFree(buffer);
    }
    return text;
}

// A blob value over bytes the test owns (the value only points at them).
inline PROPVARIANT BlobOver(std::vector<BYTE>& bytes) {
    PROPVARIANT value;
    PropVariantInit(&value);
    value.vt = VT_BLOB;
    value.blob.cbSize = static_cast<ULONG>(bytes.size());
    value.blob.pBlobData = bytes.empty() ? nullptr : bytes.data();
    return value;
}

// The same text as one line of UTF-8, without its line break, as records and programs print it.
inline std::string SystemText(HRESULT hr) {
    std::string text = Narrow(SystemMessage(hr));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

}  // namespace vextest

// Compare result codes as hexadecimal text, so a failure shows both codes readably.
#define EXPECT_HR(expected, actual) \
    EXPECT_EQ(::vextest::Hex(expected), ::vextest::Hex(actual)) << #actual << ": "
#define ASSERT_HR(expected, actual) \
    ASSERT_EQ(::vextest::Hex(expected), ::vextest::Hex(actual)) << #actual << ": "
