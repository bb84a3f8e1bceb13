// Runs a program as a child process and collects its exit status and output: natively with
// posix_spawn, on Windows (and Wine) with CreateProcessW.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace vextest {

struct ProgramResult {
    int exitCode = -1;
    std::string out;  // standard output, as bytes
    std::string err;  // standard error, as bytes
};

// Runs `program` with `arguments` (UTF-8) in the current directory, with the environment of
// this process changed by `environment` (name to value), standard input empty and standard
// output and error captured through files in `scratch`. The exit code is -1 when the program
// could not be started (or, on Windows, was killed after running for two minutes).
ProgramResult RunProgram(const std::filesystem::path& program,
                         const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment,
                         const std::filesystem::path& scratch);

// The bytes of a file (empty when it cannot be read).
std::string ReadText(const std::filesystem::path& path);

// The built vexctl: natively the program the build names, on Windows vexctl.exe beside the
// test program.
std::filesystem::path VexctlProgram();

// UTF-8 text of a path, and a path from UTF-8 text.
std::string PathText(const std::filesystem::path& path);
std::filesystem::path PathOf(const std::string& text);

}  // namespace vextest
