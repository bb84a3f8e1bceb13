// The simulated machine that vexctl runs on, and what it keeps between runs.
//
// A simulated machine keeps what was written to it, as a real one does: the default machine
// lives in a state file in the user's state directory ($XDG_STATE_HOME/vexctl or
// ~/.local/state/vexctl; %LOCALAPPDATA%\vexctl on Windows), created from the built-in default
// machine on first use; a machine file given with --machine is its own state. After a command
// the machine is written back when the command changed it.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vexctl {

class FileLock;

// The state file of the default machine. Throws Failure when there is no state directory.
std::filesystem::path DefaultMachineStateFile();
// Puts the built-in default machine into the state file.
void ResetDefaultMachineState();

// A shipped simulated machine, from the simulator's machines directory.
struct ShippedMachine {
    std::string name;  // the file's name without ".json"
    std::string description;
    std::filesystem::path file;
};
// The shipped machines, by name.
std::vector<ShippedMachine> ShippedMachines();
// The state file that keeps what was written to a shipped machine run by name.
std::filesystem::path ShippedMachineStateFile(const std::string& name);

class SimulatedMachine {
public:
    // Loads the default machine (no file), a machine file, or with `initial` a state file that
    // starts as the text `initial` (the default machine's, a shipped machine's), on a thread
    // that has initialised COM; from then on the platform's audio classes are the simulator's.
    // With `save` the machine is written back by Save. Throws Failure.
    SimulatedMachine(const std::optional<std::filesystem::path>& file, bool save,
                     const std::optional<std::string>& initial = std::nullopt);
    SimulatedMachine(const SimulatedMachine&) = delete;
    SimulatedMachine& operator=(const SimulatedMachine&) = delete;
    // Empties the simulator (its registry values go with it) and revokes its classes.
    ~SimulatedMachine();

    // Writes the machine to its file when saving is on and the machine is not as it was
    // loaded. Throws Failure.
    void Save();

    // Removes a value from an endpoint's property store (the library has no call for it); the
    // machine is loaded again without it, so no control handle may be open. Throws Failure when
    // the endpoint does not hold the value.
    void RemoveStoreValue(const std::string& endpointId, const std::string& key);

    const std::filesystem::path& File() const { return m_file; }

private:
    std::filesystem::path m_file;
    bool m_save;
    std::string m_loaded;              // the machine as it was after loading
    std::unique_ptr<FileLock> m_lock;  // held from loading to saving when saving is on
};

// Trace capture of the library's records, where the platform offers one.
struct TraceRecord {
    int level;
    std::string text;
};
// Starts capturing records up to `level`; the reason when capture is not available.
std::optional<std::string> StartTraceCapture(int level);
// The records captured since the start.
std::vector<TraceRecord> CapturedTraceRecords();

}  // namespace vexctl
