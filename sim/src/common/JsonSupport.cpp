// Helpers for reading machine files: typed members with the JSON path of anything wrong.
#include "common/JsonSupport.h"

#include "common/Text.h"

#include <cctype>
#include <limits>

namespace vexsim {

[[noreturn]] void Fail(const std::string& path, const std::string& message) {
    throw MachineError(path + ": " + message);
}

namespace {

bool IsPlainName(const std::string& name) {
    if (name.empty()) {
        return false;
    }
    for (char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string Member(const std::string& path, const std::string& name) {
    if (IsPlainName(name)) {
        return path + "." + name;
    }
    return path + "[" + Json(name).dump() + "]";
}

std::string Index(const std::string& path, size_t index) {
    return path + "[" + std::to_string(index) + "]";
}

const char* KindOf(const Json& value) {
    switch (value.type()) {
        case Json::value_t::null:
            return "null";
        case Json::value_t::object:
            return "an object";
        case Json::value_t::array:
            return "an array";
        case Json::value_t::string:
            return "a string";
        case Json::value_t::boolean:
            return "a boolean";
        case Json::value_t::number_float:
            return "a fractional number";
        default:
            return "an integer";
    }
}

void ExpectObject(const Json& value, const std::string& path) {
    if (!value.is_object()) {
        Fail(path, std::string("expected an object, found ") + KindOf(value));
    }
}

void ExpectArray(const Json& value, const std::string& path) {
    if (!value.is_array()) {
        Fail(path, std::string("expected an array, found ") + KindOf(value));
    }
}

void CheckMembers(const Json& object, const std::string& path,
                  const std::vector<const char*>& allowed) {
    for (const auto& item : object.items()) {
        if (item.key() == "comment") {
            continue;
        }
        bool known = false;
        std::string list;
        for (const char* name : allowed) {
            known = known || item.key() == name;
            list += list.empty() ? "" : ", ";
            list += name;
        }
        if (!known) {
            Fail(Member(path, item.key()), "unknown member (expected one of: " + list + ")");
        }
    }
}

void ExpectMembers(const Json& object, const std::string& path,
                   const std::vector<const char*>& allowed) {
    ExpectObject(object, path);
    CheckMembers(object, path, allowed);
}

const Json& Require(const Json& object, const std::string& path, const char* name,
                    const char* message) {
    if (!object.contains(name)) {
        Fail(path, message);
    }
    return object[name];
}

std::string GetString(const Json& value, const std::string& path) {
    if (!value.is_string()) {
        Fail(path, std::string("expected a string, found ") + KindOf(value));
    }
    return value.get<std::string>();
}

WString GetText(const Json& value, const std::string& path) {
    return FromUtf8(GetString(value, path));
}

bool GetBool(const Json& value, const std::string& path) {
    if (!value.is_boolean()) {
        Fail(path, std::string("expected true or false, found ") + KindOf(value));
    }
    return value.get<bool>();
}

uint64_t GetInteger(const Json& value, const std::string& path, int64_t low, uint64_t high) {
    if (!value.is_number_integer()) {
        Fail(path, std::string("expected an integer, found ") + KindOf(value));
    }
    bool inRange = false;
    uint64_t bits = 0;
    if (value.is_number_unsigned()) {
        bits = value.get<uint64_t>();
        inRange = bits <= high && (low <= 0 || bits >= static_cast<uint64_t>(low));
    } else {
        const int64_t signedValue = value.get<int64_t>();
        bits = static_cast<uint64_t>(signedValue);
        inRange =
            signedValue >= low && (signedValue < 0 || static_cast<uint64_t>(signedValue) <= high);
    }
    if (!inRange) {
        Fail(path,
             "integer out of range (" + std::to_string(low) + " to " + std::to_string(high) + ")");
    }
    return bits;
}

uint32_t GetU32(const Json& value, const std::string& path) {
    return static_cast<uint32_t>(GetInteger(value, path, 0, 0xFFFFFFFFull));
}

HRESULT GetResult(const Json& value, const std::string& path) {
    if (value.is_number_integer()) {
        return static_cast<HRESULT>(static_cast<uint32_t>(
            GetInteger(value, path, std::numeric_limits<int32_t>::min(), 0xFFFFFFFFull)));
    }
    if (!value.is_string()) {
        Fail(path,
             std::string(
                 "expected a result code such as \"0x80070005\" or \"E_ACCESSDENIED\", found ") +
                 KindOf(value));
    }
    const auto hr = ParseResultName(value.get<std::string>());
    if (!hr) {
        Fail(path,
             "not a result code: " + value.dump() +
                 " (write it as 8 hexadecimal digits such as \"0x80070005\", or a name such as "
                 "\"E_ACCESSDENIED\")");
    }
    return *hr;
}

GUID GetGuid(const Json& value, const std::string& path) {
    const auto guid = ParseGuid(GetString(value, path));
    if (!guid) {
        Fail(path,
             "not a GUID: " + value.dump() + " (expected {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX})");
    }
    return *guid;
}

PROPERTYKEY GetKey(const std::string& text, const std::string& path) {
    const auto key = ParseKey(text);
    if (!key) {
        Fail(path, "not a property key: " + Json(text).dump() + " (expected \"{fmtid},pid\")");
    }
    return *key;
}

std::vector<uint8_t> GetBytes(const Json& value, const std::string& path) {
    ExpectArray(value, path);
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < value.size(); ++i) {
        bytes.push_back(static_cast<uint8_t>(GetInteger(value[i], Index(path, i), 0, 255)));
    }
    return bytes;
}

std::vector<uint8_t> GetWords(const Json& value, const std::string& path) {
    ExpectArray(value, path);
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < value.size(); ++i) {
        const auto word = static_cast<uint32_t>(GetInteger(
            value[i], Index(path, i), std::numeric_limits<int32_t>::min(), 0xFFFFFFFFull));
        for (int b = 0; b < 4; ++b) {
            bytes.push_back(static_cast<uint8_t>(word >> (8 * b)));
        }
    }
    return bytes;
}

Json BytesOrWords(const std::vector<uint8_t>& bytes, bool asWords) {
    if (!asWords || bytes.size() % 4 != 0) {
        return Json{{"bytes", bytes}};
    }
    Json words = Json::array();
    for (size_t i = 0; i < bytes.size(); i += 4) {
        uint32_t word = 0;
        for (int b = 0; b < 4; ++b) {
            word |= static_cast<uint32_t>(bytes[i + b]) << (8 * b);
        }
        words.push_back(static_cast<int32_t>(word));
    }
    return Json{{"words", words}};
}

size_t ReadName(const Json& value, const std::string& path, const char* what,
                std::span<const char* const> names, const char* last) {
    const std::string text = GetString(value, path);
    std::string list;
    for (size_t i = 0; i < names.size(); ++i) {
        if (text == names[i]) {
            return i;
        }
        list += i == 0 ? "" : i + 1 == names.size() ? last : ", ";
        list += names[i];
    }
    Fail(path, std::string("unknown ") + what + " " + value.dump() + " (expected " + list + ")");
}

size_t ReadName(const Json& value, const std::string& path, const char* what,
                std::initializer_list<const char*> names, const char* last) {
    return ReadName(value, path, what, std::span(names.begin(), names.size()), last);
}

int ReadFlow(const Json& value, const std::string& path, bool allowAll) {
    return static_cast<int>(
        ReadName(value, path, "data flow", std::span(kFlowNames, allowAll ? 3 : 2)));
}

int ReadRole(const Json& value, const std::string& path) {
    return static_cast<int>(ReadName(value, path, "role", kRoleNames));
}

const char* const kStateNames[] = {"active", "disabled", "notpresent", "unplugged"};

DWORD ReadState(const Json& value, const std::string& path) {
    return 1u << ReadName(value, path, "state", kStateNames);  // DEVICE_STATE_ACTIVE is 1
}

const char* StateName(DWORD state) {
    for (size_t i = 1; i < std::size(kStateNames); ++i) {
        if (state == 1u << i) {
            return kStateNames[i];
        }
    }
    return kStateNames[0];
}

}  // namespace vexsim
