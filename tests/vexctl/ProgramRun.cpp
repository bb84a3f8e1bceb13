#include "ProgramRun.h"

#include <fstream>
#include <mutex>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;
#endif

namespace vextest {

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::filesystem::path VexctlProgram() {
#ifdef _WIN32
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return std::filesystem::path(self).parent_path() / "vexctl.exe";
#else
    return std::filesystem::path(VEXCTL_PROGRAM);
#endif
}

std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::filesystem::path PathOf(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

namespace {

// The child inherits this process's environment: the changes are made here, under a lock that
// keeps them and the start of the child together.
template <typename Start>
auto StartWith(const std::map<std::string, std::string>& environment, Start start) {
    static std::mutex lock;
    const std::lock_guard<std::mutex> held(lock);
    for (const auto& [name, value] : environment) {
#ifdef _WIN32
        SetEnvironmentVariableW(PathOf(name).wstring().c_str(), PathOf(value).wstring().c_str());
#else
        setenv(name.c_str(), value.c_str(), 1);
#endif
    }
    return start();
}

#ifdef _WIN32

// One argument quoted the way the C runtime's command-line parser reads it back.
std::wstring Quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out.push_back(c);
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

HANDLE InheritableFile(const std::filesystem::path& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
    return CreateFileW(path.wstring().c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &security, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

int Spawn(const std::filesystem::path& program, const std::vector<std::string>& arguments,
          const std::map<std::string, std::string>& environment,
          const std::filesystem::path& outPath, const std::filesystem::path& errPath) {
    std::wstring commandLine = Quoted(program.wstring());
    for (const std::string& argument : arguments) {
        commandLine += L" " + Quoted(PathOf(argument).wstring());
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = InheritableFile(L"NUL", GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = InheritableFile(outPath, GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = InheritableFile(errPath, GENERIC_WRITE, CREATE_ALWAYS);
    PROCESS_INFORMATION process{};
    const BOOL started = StartWith(environment, [&] {
        return CreateProcessW(program.wstring().c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                              CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    });
    CloseHandle(startup.hStdInput);
    CloseHandle(startup.hStdOutput);
    CloseHandle(startup.hStdError);
    if (!started) {
        return -1;
    }
    DWORD exitCode = static_cast<DWORD>(-1);
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}

#else

int Spawn(const std::filesystem::path& program, const std::vector<std::string>& arguments,
          const std::map<std::string, std::string>& environment,
          const std::filesystem::path& outPath, const std::filesystem::path& errPath) {
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const int flags = O_WRONLY | O_CREAT | O_TRUNC;
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), flags, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), flags, 0644);
    pid_t pid = 0;
    const int spawned = StartWith(environment, [&] {
        return posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    });
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status)     ? WEXITSTATUS(status)
           : WIFSIGNALED(status) ? 128 + WTERMSIG(status)
                                 : -1;
}

#endif

}  // namespace

ProgramResult RunProgram(const std::filesystem::path& program,
                         const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment,
                         const std::filesystem::path& scratch) {
    std::filesystem::create_directories(scratch);
    ProgramResult result;
    result.exitCode =
        Spawn(program, arguments, environment, scratch / "stdout.txt", scratch / "stderr.txt");
    result.out = ReadText(scratch / "stdout.txt");
    result.err = ReadText(scratch / "stderr.txt");
    return result;
}

}  // namespace vextest
