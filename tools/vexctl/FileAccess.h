// Whole-file reads that say why they failed, in the system's own words.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace vexctl {

// The system's text for the last failure of a file call on this thread: strerror(errno)
// natively, FormatMessageW of GetLastError() on Windows.
std::string LastSystemErrorText();

struct FileContent {
    std::optional<std::string> text;  // the file, when it could be read
    bool missing = false;             // it does not exist
    std::string reason;               // the system's reason when it could not be read
};

// Reads a whole file.
FileContent ReadFileReporting(const std::filesystem::path& path);
// Reads a whole file; throws Failure "cannot read the WHAT PATH: REASON" when it cannot.
std::string ReadFileOrFail(const std::filesystem::path& path, const std::string& what);

}  // namespace vexctl
