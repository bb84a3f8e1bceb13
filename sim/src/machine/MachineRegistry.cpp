#include "machine/MachineRegistry.h"

#include "common/Text.h"

#include <algorithm>
#include <vector>

namespace vexsim {

namespace {

const WCHAR kMarkerKey[] = TEXT("SOFTWARE\\VexSim");
const WCHAR kMarkerValue[] = TEXT("Owned");

// The non-empty pieces of the text between separators.
std::vector<WString> Split(const WString& text, WCHAR separator) {
    std::vector<WString> pieces;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find(separator, start), text.size());
        if (end > start) {
            pieces.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return pieces;
}

WString JoinPath(const std::vector<WString>& parts, size_t count) {
    WString path;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) {
            path.push_back(TEXT('\\'));
        }
        path += parts[i];
    }
    return path;
}

WString Fold(const WString& text) {
    WString folded = text;
    for (WCHAR& c : folded) {
        if (c >= TEXT('a') && c <= TEXT('z')) {
            c = static_cast<WCHAR>(c - (TEXT('a') - TEXT('A')));
        }
    }
    return folded;
}

bool KeyExists(const WString& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

std::vector<WString> ReadOwned() {
    DWORD size = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kMarkerKey, kMarkerValue, RRF_RT_REG_SZ, nullptr, nullptr,
                     &size) != ERROR_SUCCESS ||
        size < sizeof(WCHAR)) {
        return {};
    }
    WString text(size / sizeof(WCHAR), 0);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kMarkerKey, kMarkerValue, RRF_RT_REG_SZ, nullptr,
                     text.data(), &size) != ERROR_SUCCESS) {
        return {};
    }
    text.resize(std::min(text.find(WCHAR(0)), text.size()));
    return Split(text, TEXT('\n'));
}

LSTATUS SetString(HKEY key, const WCHAR* name, const WString& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
}

LSTATUS WriteOwned(const std::vector<WString>& entries) {
    if (entries.empty()) {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kMarkerKey);
        return ERROR_SUCCESS;
    }
    WString text;
    for (const WString& entry : entries) {
        text += entry;
        text.push_back(TEXT('\n'));
    }
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMarkerKey, 0, nullptr,
                                     REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    status = SetString(key, kMarkerValue, text);
    RegCloseKey(key);
    return status;
}

std::string Describe(const WString& path, const std::string& value, LSTATUS status) {
    return "registry: cannot write HKEY_LOCAL_MACHINE\\" + ToUtf8(path) +
           (value.empty() ? std::string() : " value \"" + value + "\"") + " (error " +
           std::to_string(static_cast<long>(status)) + ")";
}

LSTATUS WriteValue(HKEY key, const RegistryValue& value) {
    const WString name = FromUtf8(value.name);
    switch (value.type) {
        case RegistryType::String:
            return SetString(key, name.c_str(), value.text);
        case RegistryType::Dword: {
            BYTE bytes[4];
            for (int i = 0; i < 4; ++i) {
                bytes[i] = static_cast<BYTE>(value.dword >> (8 * i));
            }
            return RegSetValueExW(key, name.c_str(), 0, REG_DWORD, bytes, 4);
        }
        case RegistryType::Binary:
            return RegSetValueExW(key, name.c_str(), 0, REG_BINARY,
                                  value.bytes.empty() ? nullptr : value.bytes.data(),
                                  static_cast<DWORD>(value.bytes.size()));
    }
    return ERROR_INVALID_PARAMETER;
}

}  // namespace

bool ApplyRegistry(const Machine& machine, std::string* error) {
    // Decide first what will be ours: the topmost key that does not exist yet (its whole tree),
    // or single values in a key that exists already. Record that before writing anything.
    std::vector<WString> owned;
    auto own = [&owned](const WString& entry) {
        for (const WString& other : owned) {
            if (Fold(other) == Fold(entry)) {
                return;
            }
        }
        owned.push_back(entry);
    };
    for (const RegistryKey& key : machine.registry) {
        const std::vector<WString> parts = Split(FromUtf8(key.path), TEXT('\\'));
        WString created;
        for (size_t n = 1; n <= parts.size(); ++n) {
            const WString prefix = JoinPath(parts, n);
            if (!KeyExists(prefix)) {
                created = prefix;
                break;
            }
        }
        if (!created.empty()) {
            own(TEXT("K") + created);
        } else {
            for (const RegistryValue& value : key.values) {
                own(TEXT("V") + JoinPath(parts, parts.size()) + TEXT("\t") + FromUtf8(value.name));
            }
        }
    }
    if (owned.empty()) {
        return true;
    }
    LSTATUS status = WriteOwned(owned);
    if (status != ERROR_SUCCESS) {
        *error = Describe(kMarkerKey, "", status);
        return false;
    }
    for (const RegistryKey& key : machine.registry) {
        const std::vector<WString> parts = Split(FromUtf8(key.path), TEXT('\\'));
        const WString path = JoinPath(parts, parts.size());
        HKEY handle = nullptr;
        status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &handle, nullptr);
        if (status != ERROR_SUCCESS) {
            *error = Describe(path, "", status);
            RemoveRegistry();
            return false;
        }
        for (const RegistryValue& value : key.values) {
            status = WriteValue(handle, value);
            if (status != ERROR_SUCCESS) {
                *error = Describe(path, value.name, status);
                RegCloseKey(handle);
                RemoveRegistry();
                return false;
            }
        }
        RegCloseKey(handle);
    }
    return true;
}

void RemoveRegistry() {
    for (const WString& entry : ReadOwned()) {
        const WString rest = entry.substr(1);
        if (entry[0] == TEXT('K')) {
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, rest.c_str());
        } else if (entry[0] == TEXT('V')) {
            const size_t tab = rest.find(TEXT('\t'));
            if (tab == WString::npos) {
                continue;
            }
            HKEY key = nullptr;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, rest.substr(0, tab).c_str(), 0, KEY_SET_VALUE,
                              &key) == ERROR_SUCCESS) {
                RegDeleteValueW(key, rest.substr(tab + 1).c_str());
                RegCloseKey(key);
            }
        }
    }
    WriteOwned({});
}

}  // namespace vexsim
