// An in-memory registry: one HKEY_LOCAL_MACHINE tree per process, key names compared without
// regard to case as Windows does, values stored as typed bytes.
#include <windows.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct HKEY__ {
    std::vector<std::u16string> path;  // folded names from the root
    REGSAM access;                     // specific rights, generic ones mapped
};

namespace {

struct Value {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct Key {
    std::map<std::u16string, std::unique_ptr<Key>> children;  // by folded name
    std::map<std::u16string, Value> values;                   // by folded name
};

struct Registry {
    std::mutex lock;
    Key localMachine;
};

Registry& TheRegistry() {
    static Registry* registry = new Registry();  // lives as long as the process
    return *registry;
}

std::u16string Fold(const WCHAR* text) {
    std::u16string folded;
    for (; text != nullptr && *text != 0; ++text) {
        const WCHAR c = *text;
        folded.push_back((c >= u'a' && c <= u'z') ? static_cast<WCHAR>(c - (u'a' - u'A')) : c);
    }
    return folded;
}

std::vector<std::u16string> SplitPath(const WCHAR* subKey) {
    std::vector<std::u16string> parts;
    const std::u16string folded = Fold(subKey);
    std::u16string part;
    for (WCHAR c : folded) {
        if (c == u'\\') {
            if (!part.empty()) {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part.push_back(c);
        }
    }
    if (!part.empty()) {
        parts.push_back(part);
    }
    return parts;
}

// The rights a requested access mask grants, with the generic rights mapped to key rights.
REGSAM Granted(REGSAM requested) {
    if ((requested & (MAXIMUM_ALLOWED | GENERIC_ALL)) != 0) {
        return KEY_ALL_ACCESS;
    }
    REGSAM granted = requested & KEY_ALL_ACCESS;
    if ((requested & GENERIC_READ) != 0) {
        granted |= KEY_READ;
    }
    if ((requested & GENERIC_WRITE) != 0) {
        granted |= KEY_WRITE;
    }
    return granted;
}

// The access an open key allows; the predefined root allows everything.
REGSAM AccessOf(HKEY key) {
    return key == HKEY_LOCAL_MACHINE ? static_cast<REGSAM>(KEY_ALL_ACCESS) : key->access;
}

bool Allows(HKEY key, REGSAM needed) {
    return (AccessOf(key) & needed) == needed;
}

bool BasePath(HKEY key, std::vector<std::u16string>* path) {
    if (key == HKEY_LOCAL_MACHINE) {
        path->clear();
        return true;
    }
    if (key == nullptr) {
        return false;
    }
    *path = key->path;
    return true;
}

// The path of a subkey of an open key (or of the key itself when subKey is null).
bool FullPath(HKEY key, LPCWSTR subKey, std::vector<std::u16string>* path) {
    if (!BasePath(key, path)) {
        return false;
    }
    for (std::u16string& part : SplitPath(subKey)) {
        path->push_back(std::move(part));
    }
    return true;
}

// Finds (or, with create, makes) the key at path; null when it is absent.
Key* Walk(const std::vector<std::u16string>& path, bool create) {
    Key* key = &TheRegistry().localMachine;
    for (const std::u16string& name : path) {
        auto it = key->children.find(name);
        if (it == key->children.end()) {
            if (!create) {
                return nullptr;
            }
            it = key->children.emplace(name, std::make_unique<Key>()).first;
        }
        key = it->second.get();
    }
    return key;
}

LSTATUS OpenOrCreate(HKEY key, LPCWSTR subKey, REGSAM access, PHKEY result, bool create,
                     LPDWORD disposition) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    std::vector<std::u16string> path;
    if (!FullPath(key, subKey, &path)) {
        return ERROR_INVALID_HANDLE;
    }
    std::lock_guard<std::mutex> guard(TheRegistry().lock);
    const bool existed = Walk(path, false) != nullptr;
    if (!existed && !create) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (!existed && !Allows(key, KEY_CREATE_SUB_KEY)) {
        return ERROR_ACCESS_DENIED;  // a new subkey needs the right to create one
    }
    Walk(path, true);
    if (disposition != nullptr) {
        *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    }
    *result = new HKEY__{std::move(path), Granted(access)};
    return ERROR_SUCCESS;
}

}  // namespace

extern "C" LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD /*options*/, REGSAM access,
                                 PHKEY result) {
    return OpenOrCreate(key, subKey, access, result, false, nullptr);
}

extern "C" LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD /*reserved*/,
                                   LPWSTR /*keyClass*/, DWORD /*options*/, REGSAM access,
                                   void* /*security*/, PHKEY result, LPDWORD disposition) {
    return OpenOrCreate(key, subKey, access, result, true, disposition);
}

extern "C" LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD /*reserved*/, DWORD type,
                                  const BYTE* data, DWORD dataSize) {
    std::vector<std::u16string> path;
    if (!BasePath(key, &path)) {
        return ERROR_INVALID_HANDLE;
    }
    if (!Allows(key, KEY_SET_VALUE)) {
        return ERROR_ACCESS_DENIED;
    }
    if (data == nullptr && dataSize > 0) {
        return ERROR_INVALID_PARAMETER;
    }
    std::lock_guard<std::mutex> guard(TheRegistry().lock);
    Key* node = Walk(path, false);
    if (node == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    Value& value = node->values[Fold(valueName)];
    value.type = type;
    value.data.assign(data, data + dataSize);
    return ERROR_SUCCESS;
}

extern "C" LSTATUS RegGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR valueName, DWORD flags,
                                LPDWORD type, void* data, LPDWORD dataSize) {
    if (data != nullptr && dataSize == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    std::vector<std::u16string> path;
    if (!FullPath(key, subKey, &path)) {
        return ERROR_INVALID_HANDLE;
    }
    // A named subkey is opened for querying on its own; the key's own values need the right.
    const bool ownValues = subKey == nullptr || subKey[0] == 0;
    if (ownValues && !Allows(key, KEY_QUERY_VALUE)) {
        return ERROR_ACCESS_DENIED;
    }
    std::lock_guard<std::mutex> guard(TheRegistry().lock);
    const Key* node = Walk(path, false);
    if (node == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    auto it = node->values.find(Fold(valueName));
    if (it == node->values.end()) {
        return ERROR_FILE_NOT_FOUND;
    }
    const Value& value = it->second;
    if (type != nullptr) {
        *type = value.type;
    }
    const bool allowed = (value.type == REG_SZ && (flags & RRF_RT_REG_SZ) != 0) ||
                         (value.type == REG_DWORD && (flags & RRF_RT_REG_DWORD) != 0) ||
                         (flags & RRF_RT_ANY) == RRF_RT_ANY;
    // A size query, and a value of a type not asked for, report the stored byte count.
    if (!allowed || data == nullptr) {
        if (dataSize != nullptr) {
            *dataSize = static_cast<DWORD>(value.data.size());
        }
        return allowed ? ERROR_SUCCESS : ERROR_UNSUPPORTED_TYPE;
    }
    // A string is copied terminated: an odd byte count is padded to whole code units, and a
    // terminator is added when the last unit is not one. The buffer must hold both, so a
    // string stored without its terminator does not fit the size the query reported.
    std::vector<BYTE> bytes = value.data;
    if (value.type == REG_SZ) {
        if (bytes.size() % 2 != 0) {
            bytes.push_back(0);
        }
        const bool terminated =
            bytes.size() >= 2 && bytes[bytes.size() - 1] == 0 && bytes[bytes.size() - 2] == 0;
        if (!terminated) {
            bytes.push_back(0);
            bytes.push_back(0);
        }
    }
    const DWORD needed = static_cast<DWORD>(bytes.size());
    if (*dataSize < needed) {
        *dataSize = needed;
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, bytes.data(), needed);
    *dataSize = needed;
    return ERROR_SUCCESS;
}

extern "C" LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName) {
    std::vector<std::u16string> path;
    if (!BasePath(key, &path)) {
        return ERROR_INVALID_HANDLE;
    }
    if (!Allows(key, KEY_SET_VALUE)) {
        return ERROR_ACCESS_DENIED;
    }
    std::lock_guard<std::mutex> guard(TheRegistry().lock);
    Key* node = Walk(path, false);
    if (node == nullptr || node->values.erase(Fold(valueName)) == 0) {
        return ERROR_FILE_NOT_FOUND;
    }
    return ERROR_SUCCESS;
}

extern "C" LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR subKey) {
    std::vector<std::u16string> path;
    if (!FullPath(key, subKey, &path)) {
        return ERROR_INVALID_HANDLE;
    }
    std::lock_guard<std::mutex> guard(TheRegistry().lock);
    if (subKey == nullptr || subKey[0] == 0) {
        // The key itself stays; its subkeys and values go, which needs these rights on it.
        if (!Allows(key, DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE)) {
            return ERROR_ACCESS_DENIED;
        }
        Key* node = Walk(path, false);
        if (node == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
        node->children.clear();
        node->values.clear();
        return ERROR_SUCCESS;
    }
    // A named subkey is opened on its own with the rights to delete it.
    if (path.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::u16string last = path.back();
    path.pop_back();
    Key* parent = Walk(path, false);
    if (parent == nullptr || parent->children.erase(last) == 0) {
        return ERROR_FILE_NOT_FOUND;
    }
    return ERROR_SUCCESS;
}

extern "C" LSTATUS RegCloseKey(HKEY key) {
    if (key == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    if (key != HKEY_LOCAL_MACHINE) {
        delete key;
    }
    return ERROR_SUCCESS;
}
