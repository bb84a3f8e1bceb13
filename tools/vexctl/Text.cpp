#include "Text.h"

#include "Failure.h"

#include <cstdio>
#include <sstream>
#include <system_error>

#include "FileAccess.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#endif

namespace vexctl {

// Both directions go through the platform's converters: the text a tool reads is UTF-8, and
// what is not is refused rather than guessed at.
std::string ToUtf8(const WCHAR* text, size_t length) {
    if (length == 0) {
        return std::string();
    }
    const int units = static_cast<int>(length);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, units, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text, units, out.data(), bytes, nullptr, nullptr);
    }
    return out;
}

std::string ToUtf8(const WString& text) {
    return ToUtf8(text.data(), text.size());
}

WString ToUtf16(const std::string& text) {
    if (text.empty()) {
        return WString();
    }
    const int bytes = static_cast<int>(text.size());
    const int units =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), bytes, nullptr, 0);
    if (units <= 0) {
        throw UsageFailure("\"" + text + "\" is not UTF-8 text");
    }
    WString out(static_cast<size_t>(units), 0);
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), bytes, out.data(), units);
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

std::string GuidText(const GUID& guid) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                  guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                  guid.Data4[6], guid.Data4[7]);
    return text;
}

std::string KeyText(const PROPERTYKEY& key) {
    return GuidText(key.fmtid) + "," + std::to_string(key.pid);
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
    const auto cannotWrite = [&](const std::string& reason) {
        std::filesystem::remove(temporary, error);
        return Failure("cannot write " + PathToUtf8(path) + ": " + reason);
    };
#ifdef _WIN32
    {
        const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            throw cannotWrite(LastSystemErrorText());
        }
        DWORD written = 0;
        const BOOL wrote =
            WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        const std::string reason = wrote ? std::string() : LastSystemErrorText();
        CloseHandle(file);
        if (!wrote || written != content.size()) {
            throw cannotWrite(reason.empty() ? "short write" : reason);
        }
    }
#else
    {
        // A file that is replaced keeps its permissions.
        struct stat existing {};
        const mode_t mode = stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644;
        const int file = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (file < 0) {
            throw cannotWrite(LastSystemErrorText());
        }
        size_t done = 0;
        while (done < content.size()) {
            const ssize_t wrote = write(file, content.data() + done, content.size() - done);
            if (wrote < 0 && errno == EINTR) {
                continue;
            }
            if (wrote < 0) {
                const std::string reason = LastSystemErrorText();
                close(file);
                throw cannotWrite(reason);
            }
            done += static_cast<size_t>(wrote);
        }
        if (fchmod(file, mode) != 0 || close(file) != 0) {
            throw cannotWrite(LastSystemErrorText());
        }
    }
#endif
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
        throw Failure("cannot write " + PathToUtf8(path), hr);
    }
#else
    std::filesystem::rename(temporary, path, error);
    if (error) {
        const std::string reason = error.message();
        std::filesystem::remove(temporary, error);
        throw Failure("cannot write " + PathToUtf8(path) + ": " + reason);
    }
#endif
}

}  // namespace vexctl
