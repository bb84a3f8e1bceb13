// Helpers shared by the readers and writers of machine files: typed members, JSON paths for
// the messages, and the errors that name them.
#pragma once

#include "machinefile/MachineJson.h"
#include "Platform.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <initializer_list>
#include <string>

namespace vexsim {

using Json = nlohmann::ordered_json;

// Throws MachineError with "path: message".
[[noreturn]] void Fail(const std::string& path, const std::string& message);
// The path of a member or of an array element.
std::string Member(const std::string& path, const std::string& name);
std::string Index(const std::string& path, size_t index);
// "an object", "a string", ... for messages.
const char* KindOf(const Json& value);

void ExpectObject(const Json& value, const std::string& path);
void ExpectArray(const Json& value, const std::string& path);
// Refuses members other than the allowed ones (and "comment", allowed everywhere).
void CheckMembers(const Json& object, const std::string& path,
                  std::initializer_list<const char*> allowed);

std::string GetString(const Json& value, const std::string& path);
bool GetBool(const Json& value, const std::string& path);
// An integer within [low, high]; returned as its 64-bit pattern.
uint64_t GetInteger(const Json& value, const std::string& path, int64_t low, uint64_t high);
HRESULT GetResult(const Json& value, const std::string& path);
GUID GetGuid(const Json& value, const std::string& path);
PROPERTYKEY GetKey(const std::string& text, const std::string& path);

// A device state: "active", "disabled", "notpresent" or "unplugged".
DWORD ReadState(const Json& json, const std::string& path);
const char* StateName(DWORD state);

}  // namespace vexsim
