// A simulated machine: its devices (audio endpoints and the kernel-streaming filters their
// device topology reaches), registry values and injected faults.
#pragma once

#include "Platform.h"
#include "machine/Faults.h"
#include "machine/Value.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vexsim {

class PropertyStoreObject;

// Properties in the order they were given or first written.
class PropertyMap {
public:
    const PropValue* Find(const PROPERTYKEY& key) const;
    void Set(const PROPERTYKEY& key, PropValue value);
    size_t Count() const { return m_entries.size(); }
    const std::pair<PROPERTYKEY, PropValue>& At(size_t index) const { return m_entries[index]; }

private:
    std::vector<std::pair<PROPERTYKEY, PropValue>> m_entries;
};

enum class DeviceKind { Endpoint, Filter };

enum class PartKind { Connector, Subunit };
enum class SelectorKind { None, Input, Output };

// Local ids of the parts a file gives by pin or node number: the part type in the high word,
// the pin or node id in the low word.
inline constexpr UINT kConnectorIdBase = 0x00010000;
inline constexpr UINT kSubunitIdBase = 0x00020000;

// One part of a device topology.
struct Part {
    std::string name;  // unique in its device; links and connections use it
    PartKind kind = PartKind::Connector;
    UINT localId = 0;
    GUID subType{};
    // Connectors.
    ConnectorType connectorType = Software_IO;
    DataFlow dataFlow = In;
    WString connectedDevice;  // empty: not connected
    std::string connectedPart;
    // Subunits.
    SelectorKind selector = SelectorKind::None;
    bool mixer = false;  // a path through it is a mixed path
    std::optional<UINT> selection;
    std::vector<UINT> selections;  // every accepted SetSelection, in order
};

struct Topology {
    std::vector<Part> parts;                       // connectors and subunits in file order
    std::vector<std::pair<size_t, size_t>> links;  // signal flows from first to second (indexes)

    const Part* Find(const std::string& name) const;
    Part* FindById(UINT localId);
    // Indexes of the parts linked into a part, or that it links to, in link order.
    std::vector<size_t> Linked(size_t index, bool incoming) const;
    std::vector<size_t> Incoming(size_t index) const { return Linked(index, true); }
    std::vector<size_t> Outgoing(size_t index) const { return Linked(index, false); }
    std::optional<size_t> IndexOf(const std::string& name) const;
};

// The audio-engine descriptor a filter answers for one node.
struct EngineNode {
    ULONG node = 0;
    ULONG hostPin = 0;
    ULONG offloadPin = 0;
    ULONG loopbackPin = 0;
};

// One entry of a filter's audio-module descriptor list.
struct AudioModuleDescriptor {
    GUID classId{};
    ULONG instanceId = 0;
    ULONG versionMajor = 0;
    ULONG versionMinor = 0;
    WString name;
};

enum class ModuleSet { Vendor, Amd };

// A value a module keeps for one parameter id.
struct ModuleParam {
    std::vector<uint8_t> bytes;
    bool fixedLength = false;  // writes of another length are refused
    bool asWords = true;       // how the dump writes it
};

// A vendor DSP module inside a filter.
struct VendorModule {
    ModuleSet set = ModuleSet::Vendor;
    GUID guid{};
    ULONG type = 2;
    std::string name;  // narrow texts, as the module reports them
    std::string version;
    // Vendor-set modules: the pins they answer on and in which forms.
    std::vector<ULONG> pins;
    bool pinForm = true;
    bool audioModuleForm = false;
    GUID classId{};  // the audio-module command that reaches them
    ULONG instanceId = 0;
    bool enabled = true;
    bool instantiated = true;
    bool present = true;       // AMD-type: the presence probe's answer
    bool acceptOthers = true;  // parameters the file does not list: read as zero, any write kept
    ULONG otherLength = 4;     // the length such a parameter reads with
    std::map<ULONG, ModuleParam> params;
};

// One request a filter received, as the caller sent it and as it was answered.
struct KsRequest {
    std::string kind;  // request kind, "unknown" when it could not be classified
    std::vector<uint8_t> property;
    bool hasData = false;         // a data buffer was given
    ULONG dataLength = 0;         // the data buffer's length
    std::vector<uint8_t> data;    // its content on entry, for set requests
    std::vector<uint8_t> answer;  // what was written into it
    ULONG bytesReturned = 0;
    HRESULT result = S_OK;
};

enum class SizeQuery { MoreData, Success };

// The most requests a filter's log keeps.
inline constexpr size_t kRequestLogCapacity = 4096;

// What a kernel-streaming filter answers besides its topology.
struct FilterDriver {
    std::vector<EngineNode> engines;
    std::optional<std::vector<AudioModuleDescriptor>> audioModules;  // nullopt: set not offered
    SizeQuery descriptorSizeQuery = SizeQuery::MoreData;
    SizeQuery moduleListSizeQuery = SizeQuery::Success;
    unsigned interfaceVersion = 2;
    std::vector<VendorModule> modules;
    // The request log, the newest kRequestLogCapacity requests (older ones are dropped), and
    // every request received since the machine was loaded or the log cleared.
    std::deque<KsRequest> requests;
    uint64_t requestTotal = 0;

    VendorModule* FindModule(const GUID& guid);
};

struct Device {
    DeviceKind kind = DeviceKind::Endpoint;
    WString id;
    WString name;  // friendly name
    DWORD state = DEVICE_STATE_ACTIVE;
    bool readOnly = false;  // the store opens for reading only
    // Someone else (the audio service) holds the endpoint's store: every open with the same
    // access hands out one shared object that the simulator keeps a reference to, so a
    // caller's Release never frees it.
    bool holdStore = false;
    PropertyStoreObject* heldStores[2] = {nullptr, nullptr};  // read, writable (created on open)
    HRESULT readWriteResult = E_ACCESSDENIED;  // what a writable open of a read-only store gives
    PropertyMap properties;
    // Endpoints only.
    EDataFlow flow = eRender;
    unsigned defaultRoles = 0;  // bit (1 << ERole) for each role it is the default of
    PropertyMap fx;             // the effect (FX) store that the policy-config class reads
    // Every device has a topology; an endpoint without one in the file gets a single connector
    // that is connected nowhere.
    Topology topology;
    bool implicitTopology = false;  // the default one (not written by the dump)
    // Filters only.
    FilterDriver driver;
};

enum class RegistryType { String, Dword, Binary };

struct RegistryValue {
    std::string name;  // UTF-8
    RegistryType type = RegistryType::String;
    WString text;
    uint32_t dword = 0;
    std::vector<uint8_t> bytes;
};

struct RegistryKey {
    std::string path;  // under HKEY_LOCAL_MACHINE, as written in the machine file
    std::vector<RegistryValue> values;
};

struct Machine {
    std::string name;
    std::string description;
    std::vector<std::unique_ptr<Device>> devices;
    std::vector<RegistryKey> registry;
    std::vector<Fault> faults;
    std::map<std::string, uint64_t> calls;
    uint64_t totalCalls = 0;     // calls of every method
    bool requestLogging = true;  // filters log the requests they receive

    Device* FindDevice(const WString& id);
    Device* DefaultEndpoint(EDataFlow flow, ERole role);
    // Counts the call; gives the code of the first fault that applies to it, if any.
    std::optional<HRESULT> Enter(const Call& call);
    // The same, giving the first fault that applies (valid until the faults change).
    const Fault* EnterFault(const Call& call);
};

}  // namespace vexsim
