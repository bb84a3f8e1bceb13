#include "SimulatedMachine.h"

#include "Failure.h"
#include "FileAccess.h"
#include "FileLock.h"
#include "Text.h"

#include <nlohmann/json.hpp>
#include <vexsim.h>

#include <algorithm>

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

SimulatedMachine::SimulatedMachine(const std::optional<std::filesystem::path>& file, bool save,
                                   const std::optional<std::string>& initial)
    : m_save(save) {
    std::string text;
    const bool stateFile = !file || initial;
    m_file = file ? *file : DefaultMachineStateFile();
    const std::string origin =
        (stateFile ? "machine's state file " : "machine file ") + PathToUtf8(m_file);
    const std::string wayOut = !file ? " (vexctl reset restores the default machine)" : "";
    // A run that writes the machine back holds its lock from this read to that write, so that
    // runs at the same time take turns instead of losing each other's writes. A machine file
    // that cannot be used leaves no lock file of this run behind.
    const std::filesystem::path lockFile = FileLock::LockFileOf(m_file);
    std::error_code error;
    const bool lockExisted = std::filesystem::exists(lockFile, error);
    const auto fail = [&](const std::string& message) {
        if (m_lock && !lockExisted && file && !initial) {
            std::filesystem::remove(lockFile, error);
        }
        m_lock.reset();
        return Failure(message);
    };
    if (m_save) {
        m_lock = std::make_unique<FileLock>(m_file);
    }
    FileContent content = ReadFileReporting(m_file);
    if (content.text) {
        text = std::move(*content.text);
    } else if (content.missing && stateFile) {
        text = initial ? *initial : std::string(kBuiltInDefaultMachine);
        if (m_save) {
            WriteFileReplacing(m_file, text);
        }
    } else {
        throw fail("cannot read the " + origin + ": " + content.reason + wayOut);
    }
    if (vexsim_LoadMachineJson(text.c_str()) != 0) {
        const std::string message = "cannot load the " + origin + ": " + vexsim_LastError();
        vexsim_Unregister();
        throw fail(message + wayOut);
    }
    m_loaded = TakeDump();
}

void SimulatedMachine::RemoveStoreValue(const std::string& endpointId, const std::string& key) {
    nlohmann::json machine = nlohmann::json::parse(TakeDump());
    for (auto& endpoint : machine.at("endpoints")) {
        if (endpoint.value("id", "") != endpointId) {
            continue;
        }
        if (!endpoint.contains("properties") || endpoint["properties"].erase(key) == 0) {
            throw Failure("it is not set on this endpoint");
        }
        if (vexsim_LoadMachineJson(machine.dump().c_str()) != 0) {
            throw Failure(std::string("cannot load the machine again: ") + vexsim_LastError());
        }
        return;
    }
    throw Failure("no endpoint " + endpointId + " on the machine");
}

std::vector<ShippedMachine> ShippedMachines() {
    std::vector<ShippedMachine> machines;
    const char* directory = vexsim_MachinesDirectory();
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(
             PathFromUtf8(directory != nullptr ? directory : ""), error)) {
        if (entry.path().extension() != ".json") {
            continue;
        }
        ShippedMachine machine{PathToUtf8(entry.path().stem()), "", entry.path()};
        if (const std::optional<std::string> text = ReadFileReporting(entry.path()).text) {
            try {
                machine.description = nlohmann::json::parse(*text).value("description", "");
            } catch (const nlohmann::json::exception&) {
                machine.description = "(not a machine file)";
            }
        }
        machines.push_back(std::move(machine));
    }
    std::sort(machines.begin(), machines.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    return machines;
}

std::filesystem::path ShippedMachineStateFile(const std::string& name) {
    return StateDirectory() / "machines" / (name + ".json");
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
