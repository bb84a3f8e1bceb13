// Injected faults: the methods a fault may name, the filters that narrow the calls it applies
// to, and their forms in machine files. Each filter is declared once, in the table in
// Faults.cpp, from which it is read, matched against calls and written.
#pragma once

#include "Platform.h"
#include "common/JsonSupport.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexsim {

struct Machine;

// What a fault makes a driver answer instead of its own answer to a kernel-streaming read.
struct AnswerOverride {
    std::optional<std::vector<uint8_t>> bytes;  // written from the buffer's start instead
    std::optional<ULONG> returned;              // the bytes-returned value the caller gets
    std::optional<uint32_t> length;             // the first u32 of the answer (a size or length)
    std::optional<uint32_t> count;              // the second u32 (a list's count)
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
    std::optional<UINT> part;  // a part's local id
    std::optional<std::string> request;
    std::optional<std::string> form;
    std::optional<std::string> direction;
    std::optional<ULONG> pin;
    std::optional<ULONG> node;
    std::optional<GUID> module;
    std::optional<ULONG> param;
    std::optional<bool> sizeQuery;  // a request without a data buffer
    std::optional<AnswerOverride> answer;
    uint64_t call = 0;  // only the n-th matching call (1-based); 0: not limited this way
    uint64_t from = 0;  // the n-th matching call and every later one; 0: not limited this way
    HRESULT result = E_FAIL;
    bool hasResult = true;  // false: an answer fault that keeps the driver's own result
    uint64_t matched = 0;   // matching calls so far
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
    std::optional<UINT> part;
    const char* request = nullptr;
    const char* form = nullptr;
    const char* direction = nullptr;
    std::optional<ULONG> pin;
    std::optional<ULONG> node;
    const GUID* module = nullptr;
    std::optional<ULONG> param;
    std::optional<bool> sizeQuery;
};

// The method name of a fault that counts the calls of every method (it takes no filters).
inline constexpr const char* kAnyMethod = "*";

// Whether the fault applies to the call: the same method (or kAnyMethod) and every filter the
// fault gives satisfied by the call.
bool Matches(const Fault& fault, const Call& call);
// A fault object of a machine file, checked against the machine it joins (MachineError).
Fault ReadFault(const Json& json, const std::string& path, const Machine& machine);
Json WriteFault(const Fault& fault);

}  // namespace vexsim
