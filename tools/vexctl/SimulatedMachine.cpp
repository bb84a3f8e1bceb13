#include "SimulatedMachine.h"

#include "Failure.h"
#include "FileAccess.h"
#include "FileLock.h"
#include "Text.h"

#include <vexsim.h>

extern const char kBuiltInDefaultMachine[];

namespace vexctl {

namespace {

// The keyword of the library's records.
constexpr unsigned long long kLibraryKeyword = 0x400;

std::filesystem::path StateDirectory() {
#ifdef _WIN32
    if (const std::optional<std::string> local = Environment("LOCALAPPDATA")) {
        return PathFromUtf8(*local) / "vexctl";
    }
    throw Failure("no state directory: LOCALAPPDATA is not set");
#else
    // A relative XDG_STATE_HOME is to be ignored.
    if (const std::optional<std::string> state = Environment("XDG_STATE_HOME");
        state && !state->empty() && (*state)[0] == '/') {
        return PathFromUtf8(*state) / "vexctl";
    }
    if (const std::optional<std::string> home = Environment("HOME")) {
        return PathFromUtf8(*home) / ".local" / "state" / "vexctl";
    }
    throw Failure("no state directory: neither XDG_STATE_HOME nor HOME is set");
#endif
}

std::string TakeDump() {
    const char* dump = vexsim_DumpJson();
    return dump != nullptr ? std::string(dump) : std::string();
}

}  // namespace

std::filesystem::path DefaultMachineStateFile() {
    return StateDirectory() / "default-machine.json";
}

void ResetDefaultMachineState() {
    const std::filesystem::path file = DefaultMachineStateFile();
    const FileLock lock(file);
    WriteFileReplacing(file, kBuiltInDefaultMachine);
}

SimulatedMachine::SimulatedMachine(const std::optional<std::filesystem::path>& file, bool save)
    : m_save(save) {
    std::string text;
    std::string origin;
    m_file = file ? *file : DefaultMachineStateFile();
    // A run that writes the machine back holds its lock from this read to that write, so that
    // runs at the same time take turns instead of losing each other's writes.
    if (m_save) {
        m_lock = std::make_unique<FileLock>(m_file);
    }
    if (file) {
        origin = "machine file " + PathToUtf8(m_file);
        text = ReadFileOrFail(m_file, origin);
    } else {
        origin = "default machine's state file " + PathToUtf8(m_file);
        FileContent content = ReadFileReporting(m_file);
        if (content.text) {
            text = std::move(*content.text);
        } else if (content.missing) {
            text = kBuiltInDefaultMachine;
            if (m_save) {
                WriteFileReplacing(m_file, kBuiltInDefaultMachine);
            }
        } else {
            throw Failure("cannot read the " + origin + ": " + content.reason +
                          " (vexctl reset restores the default machine)");
        }
    }
    if (vexsim_LoadMachineJson(text.c_str()) != 0) {
        std::string message = "cannot load the " + origin + ": " + vexsim_LastError();
        if (!file) {
            message += " (vexctl reset restores the default machine)";
        }
        vexsim_Unregister();
        throw Failure(message);
    }
    m_loaded = TakeDump();
}

SimulatedMachine::~SimulatedMachine() {
    vexsim_Reset();
    vexsim_Unregister();
}

void SimulatedMachine::Save() {
    if (!m_save) {
        return;
    }
    // The dump never holds the filters' request logs, so the file does not grow with them.
    const std::string now = TakeDump();
    if (now == m_loaded) {
        return;
    }
    WriteFileReplacing(m_file, now);
    m_loaded = now;
    m_lock.reset();
}

std::optional<std::string> StartTraceCapture(int level) {
    if (vexsim_TraceStart(static_cast<unsigned char>(level), kLibraryKeyword) != 0) {
        return std::string(vexsim_LastError());
    }
    return std::nullopt;
}

std::vector<TraceRecord> CapturedTraceRecords() {
    std::vector<TraceRecord> records;
    const int count = vexsim_TraceRecordCount();
    for (int i = 0; i < count; ++i) {
        int level = 0;
        const char* text = vexsim_TraceRecord(i, &level, nullptr);
        if (text != nullptr) {
            records.push_back({level, text});
        }
    }
    vexsim_TraceStop();
    return records;
}

}  // namespace vexctl
