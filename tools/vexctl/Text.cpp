#include "Text.h"

#include "Failure.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>

#include <cstdlib>
#endif

namespace vexctl {

namespace {

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendUtf16(WString& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<WCHAR>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<WCHAR>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<WCHAR>(0xDC00 + (cp & 0x3FF)));
    }
}

constexpr char32_t kReplacement = 0xFFFD;

// One code point from UTF-8 at text[*i]; a malformed sequence gives U+FFFD for its first byte.
char32_t DecodeUtf8(const std::string& text, size_t* i) {
    const auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(*i);
    size_t extra = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++*i;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        cp = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        cp = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        cp = lead & 0x07;
        minimum = 0x10000;
    } else {
        ++*i;
        return kReplacement;
    }
    if (*i + extra >= text.size()) {
        ++*i;
        return kReplacement;
    }
    for (size_t k = 1; k <= extra; ++k) {
        const unsigned char next = byte(*i + k);
        if ((next & 0xC0) != 0x80) {
            ++*i;
            return kReplacement;
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++*i;
        return kReplacement;
    }
    *i += extra + 1;
    return cp;
}

}  // namespace

std::string ToUtf8(const WCHAR* text, size_t length) {
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        char32_t cp = static_cast<char16_t>(text[i]);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < length) {
            const char32_t low = static_cast<char16_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::string ToUtf8(const WString& text) {
    return ToUtf8(text.data(), text.size());
}

WString ToUtf16(const std::string& text) {
    WString out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        AppendUtf16(out, DecodeUtf8(text, &i));
    }
    return out;
}

std::string HexCode(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(hr));
    return text;
}

std::string SystemText(HRESULT hr) {
    WCHAR* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    std::string text;
    if (length > 0 && buffer != nullptr) {
        text = ToUtf8(buffer, length);
    }
    if (buffer != nullptr) {
        LocalFree(buffer);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

std::string DescribeCode(HRESULT hr) {
    const std::string text = SystemText(hr);
    return text.empty() ? HexCode(hr) + " (the system has no text for this code)"
                        : HexCode(hr) + " " + text;
}

std::filesystem::path PathFromUtf8(const std::string& text) {
#ifdef _WIN32
    const WString wide = ToUtf16(text);
    return std::filesystem::path(std::wstring(wide.begin(), wide.end()));
#else
    return std::filesystem::path(text);
#endif
}

std::string PathToUtf8(const std::filesystem::path& path) {
#ifdef _WIN32
    const std::wstring wide = path.wstring();
    return ToUtf8(WString(wide.begin(), wide.end()));
#else
    return path.string();
#endif
}

std::optional<std::string> Environment(const char* name) {
#ifdef _WIN32
    const WString wideName = ToUtf16(name);
    const DWORD needed = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (needed <= 1) {
        return std::nullopt;
    }
    WString value(needed, 0);
    const DWORD length = GetEnvironmentVariableW(wideName.c_str(), value.data(), needed);
    if (length == 0 || length >= needed) {
        return std::nullopt;
    }
    value.resize(length);
    return ToUtf8(value);
#else
    const char* value = std::getenv(name);
    if (value == nullptr || *value == 0) {
        return std::nullopt;
    }
    return std::string(value);
#endif
}

void WriteFileReplacing(const std::filesystem::path& path, const std::string& content) {
    std::error_code error;
    if (path.has_parent_path()) {
        std::filesystem::create_directories(path.parent_path(), error);
        if (error) {
            throw Failure("cannot create the directory " + PathToUtf8(path.parent_path()) + ": " +
                          error.message());
        }
    }
#ifdef _WIN32
    const unsigned long pid = GetCurrentProcessId();
#else
    const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
    std::filesystem::path temporary = path;
    temporary += PathFromUtf8(".tmp" + std::to_string(pid));
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        if (!out) {
            std::filesystem::remove(temporary, error);
            throw Failure("cannot write " + PathToUtf8(temporary));
        }
    }
#ifdef _WIN32
    // A reader that has the file open keeps it from being replaced for a moment: try again.
    bool moved = false;
    DWORD moveError = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 200 && !moved; ++attempt) {
        moved = MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
        if (!moved) {
            moveError = GetLastError();
            if (moveError != ERROR_ACCESS_DENIED && moveError != ERROR_SHARING_VIOLATION &&
                moveError != ERROR_LOCK_VIOLATION) {
                break;
            }
            Sleep(10);
        }
    }
    if (!moved) {
        const HRESULT hr = HRESULT_FROM_WIN32(moveError);
        std::filesystem::remove(temporary, error);
        throw Failure("cannot replace " + PathToUtf8(path), hr);
    }
#else
    std::filesystem::rename(temporary, path, error);
    if (error) {
        const std::string reason = error.message();
        std::filesystem::remove(temporary, error);
        throw Failure("cannot replace " + PathToUtf8(path) + ": " + reason);
    }
#endif
}

}  // namespace vexctl
