// vexctl: a host of the Orv3VexControl library for the terminal.
#include "CommandLine.h"
#include "Commands.h"
#include "Failure.h"
#include "JsonText.h"
#include "Text.h"
#include "ValueLayout.h"

#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#endif

namespace {

// The arguments after the program name, as UTF-8.
std::vector<std::string> ProgramArguments(int argc, char** argv) {
    std::vector<std::string> arguments;
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide != nullptr) {
        for (int i = 1; i < count; ++i) {
            arguments.push_back(vexctl::ToUtf8(WString(wide[i])));
        }
        LocalFree(wide);
    }
#else
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(argv[i]);
    }
#endif
    return arguments;
}

void Print(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // UTF-8 text with plain line ends, as on every other platform.
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    const std::vector<std::string> arguments = ProgramArguments(argc, argv);
    vexctl::Options options;
    try {
        options = vexctl::ParseCommandLine(arguments);
    } catch (const vexctl::Failure& failure) {
        bool json = false;
        for (const std::string& argument : arguments) {
            json = json || argument == "--json";
        }
        if (json) {
            vexctl::Json error = vexctl::Json::object();
            error["error"] = {{"message", failure.what()}};
            Print(stdout, vexctl::PrettyJson(error));
        } else {
            Print(stderr, std::string("vexctl: ") + failure.what() + "\n");
        }
        return failure.Status();
    }
    if (options.version) {
        Print(stdout, vexctl::VersionText());
        return vexctl::kExitSuccess;
    }
    if (options.help || options.command == vexctl::Command::Help) {
        vexctl::Command topic = options.command;
        if (options.command == vexctl::Command::Help && !options.arguments.empty()) {
            topic = vexctl::CommandNamed(options.arguments[0]).value_or(topic);
        }
        Print(stdout, vexctl::HelpText(topic));
        return vexctl::kExitSuccess;
    }
    return vexctl::RunCommand(options);
}
