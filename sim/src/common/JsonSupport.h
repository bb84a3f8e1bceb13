// Helpers shared by the readers and writers of machine files: typed members, JSON paths for
// the messages, the errors that name them, and the names of values.
#pragma once

#include "Platform.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace vexsim {

using Json = nlohmann::ordered_json;

// What is wrong with a machine file, as "JSON path: message".
class MachineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

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
                  const std::vector<const char*>& allowed);
// An object with only the allowed members.
void ExpectMembers(const Json& object, const std::string& path,
                   const std::vector<const char*>& allowed);
// The member, which must be there: without it the object fails with `message`.
const Json& Require(const Json& object, const std::string& path, const char* name,
                    const char* message);
// When the object has the member: *out = read(member, its path).
template <typename T, typename Read>
void ReadMember(const Json& object, const std::string& path, const char* name, T* out, Read read) {
    if (object.contains(name)) {
        *out = static_cast<T>(read(object[name], Member(path, name)));
    }
}

std::string GetString(const Json& value, const std::string& path);
// A string as UTF-16.
WString GetText(const Json& value, const std::string& path);
bool GetBool(const Json& value, const std::string& path);
// An integer within [low, high]; returned as its 64-bit pattern.
uint64_t GetInteger(const Json& value, const std::string& path, int64_t low, uint64_t high);
uint32_t GetU32(const Json& value, const std::string& path);
HRESULT GetResult(const Json& value, const std::string& path);
GUID GetGuid(const Json& value, const std::string& path);
PROPERTYKEY GetKey(const std::string& text, const std::string& path);
// An array, each element read with Read(element, its path).
template <typename T, auto Read>
std::vector<T> GetList(const Json& value, const std::string& path) {
    ExpectArray(value, path);
    std::vector<T> list;
    for (size_t i = 0; i < value.size(); ++i) {
        list.push_back(static_cast<T>(Read(value[i], Index(path, i))));
    }
    return list;
}
// An array of bytes (0 to 255), or of 32-bit words (-2147483648 to 4294967295) stored
// little-endian.
std::vector<uint8_t> GetBytes(const Json& value, const std::string& path);
std::vector<uint8_t> GetWords(const Json& value, const std::string& path);
// Bytes as "words" when asWords and their count is a multiple of 4, else as "bytes".
Json BytesOrWords(const std::vector<uint8_t>& bytes, bool asWords);

// The index of the text among `names`; anything else fails with "unknown <what> <text>
// (expected a, b<last>c)".
size_t ReadName(const Json& value, const std::string& path, const char* what,
                std::span<const char* const> names, const char* last = " or ");
size_t ReadName(const Json& value, const std::string& path, const char* what,
                std::initializer_list<const char*> names, const char* last = " or ");

// Data flows (render, capture, all) and roles by their EDataFlow and ERole numbers.
inline constexpr const char* kFlowNames[] = {"render", "capture", "all"};
inline constexpr const char* kRoleNames[] = {"console", "multimedia", "communications"};
int ReadFlow(const Json& value, const std::string& path, bool allowAll);
int ReadRole(const Json& value, const std::string& path);
// A device state: "active", "disabled", "notpresent" or "unplugged".
DWORD ReadState(const Json& value, const std::string& path);
const char* StateName(DWORD state);

}  // namespace vexsim
