// Runs a program as a child process and collects its exit status and output: natively with
// posix_spawn, on Windows (and Wine) with CreateProcessW.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace vextest {

struct ProgramResult {
    int exitCode = -1;  // -1: not started
    std::string out;
    std::string err;
};

// Runs `program` with UTF-8 `arguments` and this process's environment changed by
// `environment`, standard input empty, its output captured through files in `scratch`.
ProgramResult RunProgram(const std::filesystem::path& program,
                         const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment,
                         const std::filesystem::path& scratch);

std::string ReadText(const std::filesystem::path& path);  // empty when it cannot be read
// The built vexctl: natively the one the build names, on Windows vexctl.exe beside the test.
std::filesystem::path VexctlProgram();
// UTF-8 text of a path, and a path from UTF-8 text.
std::string PathText(const std::filesystem::path& path);
std::filesystem::path PathOf(const std::string& text);

}  // namespace vextest
