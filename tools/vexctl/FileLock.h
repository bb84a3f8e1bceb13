// Serialises the read-modify-write of a file that several vexctl runs may share (the default
// machine's state file, a machine file): each run holds an exclusive lock on FILE.lock, a file
// beside it that is never replaced, from before it reads the file until it has written it back.
// The file itself is replaced whole (WriteFileReplacing), so that a run that reads without the
// lock never sees half a file.
#pragma once

#include <filesystem>

namespace vexctl {

class FileLock {
public:
    // Waits until this process holds the lock of `file`. Creates missing parent directories
    // and the lock file. Throws Failure naming the system's reason.
    explicit FileLock(const std::filesystem::path& file);
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

    // The lock file of `file`: its name followed by ".lock".
    static std::filesystem::path LockFileOf(const std::filesystem::path& file);

private:
#ifdef _WIN32
    void* m_handle = nullptr;
#else
    int m_descriptor = -1;
#endif
};

}  // namespace vexctl
