// A simulated machine: its devices (audio endpoints today; the filters that a device topology
// reaches can join them as devices of another kind), registry values and injected faults.
#pragma once

#include "Platform.h"
#include "Value.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vexsim {

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

enum class DeviceKind { Endpoint };

struct Device {
    DeviceKind kind = DeviceKind::Endpoint;
    WString id;
    WString name;  // friendly name
    DWORD state = DEVICE_STATE_ACTIVE;
    bool readOnly = false;                     // the store opens for reading only
    HRESULT readWriteResult = E_ACCESSDENIED;  // what a writable open of a read-only store gives
    PropertyMap properties;
    // Endpoints only.
    EDataFlow flow = eRender;
    unsigned defaultRoles = 0;  // bit (1 << ERole) for each role it is the default of
    PropertyMap fx;             // the effect (FX) store that the policy-config class reads
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

// One injected fault: the calls it applies to (a method and optional filters) and what those
// calls give. A failure code makes the call fail without effect; a success code lets the call
// do its work and return that code instead of S_OK.
struct Fault {
    std::string method;
    std::optional<WString> endpoint;
    std::optional<PROPERTYKEY> key;
    std::optional<DWORD> access;
    std::optional<GUID> clsid;
    std::optional<GUID> iid;
    std::optional<int> flow;
    std::optional<int> role;
    std::optional<bool> fxStore;
    uint64_t call = 0;  // only the n-th matching call (1-based); 0: not limited this way
    uint64_t from = 0;  // the n-th matching call and every later one; 0: not limited this way
    HRESULT result = E_FAIL;
    uint64_t matched = 0;  // matching calls so far
};

// What a call offers to the fault filters.
struct Call {
    explicit Call(const char* name) : method(name) {}

    const char* method;
    const WString* endpoint = nullptr;
    const PROPERTYKEY* key = nullptr;
    std::optional<DWORD> access;
    const GUID* clsid = nullptr;
    const GUID* iid = nullptr;
    std::optional<int> flow;
    std::optional<int> role;
    std::optional<bool> fxStore;
};

struct Machine {
    std::string name;
    std::string description;
    std::vector<std::unique_ptr<Device>> devices;
    std::vector<RegistryKey> registry;
    std::vector<Fault> faults;
    std::map<std::string, uint64_t> calls;

    Device* FindDevice(const WString& id);
    Device* DefaultEndpoint(EDataFlow flow, ERole role);
    // Counts the call; gives the code of the first fault that applies to it, if any.
    std::optional<HRESULT> Enter(const Call& call);
};

// The filters that a method's faults may use.
enum FaultFilter : unsigned {
    kFilterEndpoint = 1u << 0,
    kFilterKey = 1u << 1,
    kFilterAccess = 1u << 2,
    kFilterClass = 1u << 3,
    kFilterIid = 1u << 4,
    kFilterFlow = 1u << 5,
    kFilterRole = 1u << 6,
    kFilterFxStore = 1u << 7,
};

// The filters of a method that faults may name, or nullopt for a method the simulator lacks.
std::optional<unsigned> MethodFilters(const std::string& method);
std::string MethodNameList();

}  // namespace vexsim
