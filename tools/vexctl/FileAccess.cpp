#include "FileAccess.h"

#include "Failure.h"
#include "Text.h"

#ifdef _WIN32
#include "Platform.h"
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace vexctl {

std::string LastSystemErrorText() {
#ifdef _WIN32
    const DWORD error = GetLastError();
    const std::string text = SystemText(static_cast<HRESULT>(error));
    return text.empty() ? "system error " + std::to_string(error) : text;
#else
    return std::strerror(errno);
#endif
}

FileContent ReadFileReporting(const std::filesystem::path& path) {
    FileContent content;
    std::string text;
#ifdef _WIN32
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        content.missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        SetLastError(error);
        content.reason = LastSystemErrorText();
        return content;
    }
    char chunk[16384];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, chunk, sizeof chunk, &got, nullptr)) {
            content.reason = LastSystemErrorText();
            CloseHandle(file);
            return content;
        }
        if (got == 0) {
            break;
        }
        text.append(chunk, got);
    }
    CloseHandle(file);
#else
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        content.missing = errno == ENOENT;
        content.reason = LastSystemErrorText();
        return content;
    }
    char chunk[16384];
    for (;;) {
        const ssize_t got = read(file, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            content.reason = LastSystemErrorText();
            close(file);
            return content;
        }
        if (got == 0) {
            break;
        }
        text.append(chunk, static_cast<size_t>(got));
    }
    close(file);
#endif
    content.text = std::move(text);
    return content;
}

std::string ReadFileOrFail(const std::filesystem::path& path, const std::string& what) {
    FileContent content = ReadFileReporting(path);
    if (!content.text) {
        throw Failure("cannot read the " + what + " " + PathToUtf8(path) + ": " + content.reason);
    }
    return std::move(*content.text);
}

}  // namespace vexctl
