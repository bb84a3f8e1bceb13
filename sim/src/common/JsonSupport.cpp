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

// Refuses members other than the allowed ones (and "comment", allowed everywhere).
void CheckMembers(const Json& object, const std::string& path,
                  std::initializer_list<const char*> allowed) {
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

std::string GetString(const Json& value, const std::string& path) {
    if (!value.is_string()) {
        Fail(path, std::string("expected a string, found ") + KindOf(value));
    }
    return value.get<std::string>();
}

bool GetBool(const Json& value, const std::string& path) {
    if (!value.is_boolean()) {
        Fail(path, std::string("expected true or false, found ") + KindOf(value));
    }
    return value.get<bool>();
}

// An integer within [low, high]; returned as its 64-bit pattern.
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

DWORD ReadState(const Json& json, const std::string& path) {
    const std::string text = GetString(json, path);
    if (text == "active") {
        return DEVICE_STATE_ACTIVE;
    }
    if (text == "disabled") {
        return DEVICE_STATE_DISABLED;
    }
    if (text == "notpresent") {
        return DEVICE_STATE_NOTPRESENT;
    }
    if (text == "unplugged") {
        return DEVICE_STATE_UNPLUGGED;
    }
    Fail(path,
         "unknown state " + json.dump() + " (expected active, disabled, notpresent or unplugged)");
}

const char* StateName(DWORD state) {
    switch (state) {
        case DEVICE_STATE_DISABLED:
            return "disabled";
        case DEVICE_STATE_NOTPRESENT:
            return "notpresent";
        case DEVICE_STATE_UNPLUGGED:
            return "unplugged";
        default:
            return "active";
    }
}

}  // namespace vexsim
