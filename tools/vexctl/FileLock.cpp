#include "FileLock.h"

#include "Failure.h"
#include "FileAccess.h"
#include "Text.h"

#include <system_error>

#ifdef _WIN32
#include "Platform.h"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace vexctl {

std::filesystem::path FileLock::LockFileOf(const std::filesystem::path& file) {
    std::filesystem::path lock = file;
    lock += PathFromUtf8(".lock");
    return lock;
}

FileLock::FileLock(const std::filesystem::path& file) {
    const std::filesystem::path lock = LockFileOf(file);
    if (lock.has_parent_path()) {
        std::error_code error;
        std::filesystem::create_directories(lock.parent_path(), error);
        if (error) {
            throw Failure("cannot create the directory " + PathToUtf8(lock.parent_path()) + ": " +
                          error.message());
        }
    }
#ifdef _WIN32
    const HANDLE handle = CreateFileW(lock.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        throw Failure("cannot open the lock file " + PathToUtf8(lock) + ": " +
                      LastSystemErrorText());
    }
    OVERLAPPED whole{};
    if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        const std::string reason = LastSystemErrorText();
        CloseHandle(handle);
        throw Failure("cannot lock " + PathToUtf8(lock) + ": " + reason);
    }
    m_handle = handle;
#else
    const int descriptor = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        throw Failure("cannot open the lock file " + PathToUtf8(lock) + ": " +
                      LastSystemErrorText());
    }
    int result = 0;
    do {
        result = flock(descriptor, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const std::string reason = LastSystemErrorText();
        close(descriptor);
        throw Failure("cannot lock " + PathToUtf8(lock) + ": " + reason);
    }
    m_descriptor = descriptor;
#endif
}

FileLock::~FileLock() {
#ifdef _WIN32
    if (m_handle != nullptr) {
        OVERLAPPED whole{};
        UnlockFileEx(m_handle, 0, MAXDWORD, MAXDWORD, &whole);
        CloseHandle(m_handle);
    }
#else
    if (m_descriptor >= 0) {
        flock(m_descriptor, LOCK_UN);
        close(m_descriptor);
    }
#endif
}

}  // namespace vexctl
