// Effect version detection. Its records belong to the library's main source family.
#define VEX_LOG_FILE "Orv3VexControl.cpp"

#include "ApoVersion.h"

#include "util/ComPtr.h"
#include "util/Log.h"
#include "util/ScopedPropVariant.h"

#include <map>

namespace {

// The FX keys read for each version id, in the order they are tried.
const std::map<LONG, std::vector<PROPERTYKEY>> VersionPropertyKeys = {
    {1001,
     {
         {FMTID_EndpointFxProperties, 13},  // composite stream-effect CLSIDs
         {FMTID_EndpointFxProperties, 5},   // stream-effect CLSID
     }},
    {2001,
     {
         {FMTID_EndpointFxProperties, 15},  // composite endpoint-effect CLSIDs
         {FMTID_EndpointFxProperties, 14},  // composite mode-effect CLSIDs
         {FMTID_EndpointFxProperties, 7},   // endpoint-effect CLSID
         {FMTID_EndpointFxProperties, 6},   // mode-effect CLSID
     }},
};

// Effect class ids (lower-case registry text) and the version each one is.
const std::map<WString, WString> ApoVersionLabels = {
    {TEXT("{d9916fa0-99f7-11e7-bf21-6c0b849889e1}"), TEXT("vex2.5")},
    {TEXT("{d9916f9f-99f7-11e7-bf21-6c0b849889e1}"), TEXT("vex2.5-gaming")},
    {TEXT("{efc7a7b3-40a7-4601-abc1-878cd5eae544}"), TEXT("vex2.10")},
    {TEXT("{1bedaecc-55f6-4149-95d9-a707a2fb4134}"), TEXT("vex2.10-lite")},
    {TEXT("{d9916f9e-99f7-11e7-bf21-6c0b849889e1}"), TEXT("drova1.0")},
    {TEXT("{d9916f9c-99f7-11e7-bf21-6c0b849889e1}"), TEXT("drova1.2")},
    {TEXT("{d9916f9d-99f7-11e7-bf21-6c0b849889e1}"), TEXT("drova1.0-gaming")},
    {TEXT("{6e4dd785-e58a-4a6a-81d9-5eb9eb434eda}"), TEXT("drova1.3")},
    {TEXT("{97acd2ab-83ec-494b-9fe4-922bce1bd691}"), TEXT("drova1.4")},
    {TEXT("{5ca784ec-8c20-445a-8c9e-7d3f43a08851}"), TEXT("drova1.5")},
};

// Wrapper effects, and the registry value that names the effect each hosts at its stage.
const std::map<WString, WString> WrapperApoStages = {
    {TEXT("{0ebd8505-17bb-4ae7-ad76-e86f99a425e9}"), TEXT("APO_SFX")},
    {TEXT("{0ebd8511-17bb-4ae7-ad76-e86f99a425e9}"), TEXT("APO_OSFX")},
    {TEXT("{0ebd8506-17bb-4ae7-ad76-e86f99a425e9}"), TEXT("APO_MFX")},
    {TEXT("{0ebd8507-17bb-4ae7-ad76-e86f99a425e9}"), TEXT("APO_EFX")},
    {TEXT("{0ebd8512-17bb-4ae7-ad76-e86f99a425e9}"), TEXT("APO_OMFX")},
    {TEXT("{0ebd8605-17bb-4ae7-ad76-e86f99a425e9}"), TEXT("APO_SFX")},
    {TEXT("{0ebd8611-17bb-4ae7-ad76-e86f99a425e9}"), TEXT("APO_OSFX")},
    {TEXT("{0ebd8606-17bb-4ae7-ad76-e86f99a425e9}"), TEXT("APO_MFX")},
    {TEXT("{0ebd8607-17bb-4ae7-ad76-e86f99a425e9}"), TEXT("APO_EFX")},
    {TEXT("{0ebd8612-17bb-4ae7-ad76-e86f99a425e9}"), TEXT("APO_OMFX")},
};

const WCHAR kWrapperKey[] = TEXT("SOFTWARE\\Tembra\\Wrapper\\");

// The reads of a registry string that keeps changing its size before the read gives up.
constexpr int kRegistryReadAttempts = 4;

WString LowerCase(WString text) {
    for (WCHAR& c : text) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<WCHAR>(c + (u'a' - u'A'));
        }
    }
    return text;
}

WString TextUpToNul(const WCHAR* text, size_t capacity) {
    size_t length = 0;
    while (length < capacity && text[length] != 0) {
        ++length;
    }
    return WString(text, length);
}

// The strings of a value that holds a wide string or a BSTR, or a vector of either. The
// platform's element helpers are missing from some implementations of the property system,
// so the elements are read here; an element without text ends the list.
std::vector<WString> StringElements(const PROPVARIANT& value) {
    std::vector<WString> strings;
    switch (value.vt) {
        case VT_LPWSTR:
            if (value.pwszVal != nullptr) {
                strings.emplace_back(value.pwszVal);
            }
            break;
        case VT_BSTR:
            if (value.bstrVal != nullptr) {
                strings.emplace_back(value.bstrVal, SysStringLen(value.bstrVal));
            }
            break;
        case VT_VECTOR | VT_LPWSTR:
            for (ULONG i = 0; i < value.calpwstr.cElems; ++i) {
                if (value.calpwstr.pElems == nullptr || value.calpwstr.pElems[i] == nullptr) {
                    break;
                }
                strings.emplace_back(value.calpwstr.pElems[i]);
            }
            break;
        case VT_VECTOR | VT_BSTR:
            for (ULONG i = 0; i < value.cabstr.cElems; ++i) {
                if (value.cabstr.pElems == nullptr || value.cabstr.pElems[i] == nullptr) {
                    break;
                }
                strings.emplace_back(value.cabstr.pElems[i], SysStringLen(value.cabstr.pElems[i]));
            }
            break;
        default:
            break;
    }
    return strings;
}

// The label of the effect that a wrapper hosts, read from the registry. False when the
// registry cannot tell (the search goes on); true with the label, or with the empty text when
// the hosted effect is not a known one (the search ends).
bool WrappedEffectLabel(const WString& valueName, WString* label) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWrapperKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    WString hosted;
    const LSTATUS status = ReadRegistryString(key, valueName.c_str(), &hosted);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        return false;
    }
    const auto known = ApoVersionLabels.find(LowerCase(hosted));
    *label = known != ApoVersionLabels.end() ? known->second : WString();
    return true;
}

}  // namespace

std::vector<WString> ReadFxClsidStrings(IPolicyConfigVistaClient* policyConfig,
                                        const WCHAR* endpointId, const PROPERTYKEY& key) {
    if (policyConfig == nullptr) {
        return {};
    }
    ScopedPropVariant value;
    // The policy-config object writes its value over the prepared one.
    PROPVARIANT* out = value.Receive();
    out->vt = VT_LPWSTR;
    if (FAILED(policyConfig->GetPropertyValue(endpointId, TRUE, key, out))) {
        return {};
    }
    return StringElements(value.Get());
}

LSTATUS ReadRegistryString(HKEY key, const WCHAR* valueName, WString* text) {
    DWORD bytes = 0;
    LSTATUS status = RegGetValueW(key, nullptr, valueName, RRF_RT_REG_SZ, nullptr, nullptr, &bytes);
    // The size query counts the stored bytes: a value stored without its terminator, or one
    // that grew since, answers the read with ERROR_MORE_DATA and the size it needs now.
    for (int attempt = 1; status == ERROR_SUCCESS; ++attempt) {
        std::vector<WCHAR> buffer((bytes + 1) / sizeof(WCHAR) + 1, 0);
        DWORD capacity = static_cast<DWORD>((buffer.size() - 1) * sizeof(WCHAR));
        status =
            RegGetValueW(key, nullptr, valueName, RRF_RT_REG_SZ, nullptr, buffer.data(), &capacity);
        if (status == ERROR_SUCCESS) {
            *text = TextUpToNul(buffer.data(), buffer.size() - 1);
            return status;
        }
        if (status != ERROR_MORE_DATA || attempt == kRegistryReadAttempts) {
            return status;
        }
        bytes = capacity;
        status = ERROR_SUCCESS;
    }
    return status;
}

WString GetApoVersion(const WCHAR* endpointId, LONG parameterId) {
    ComPtr<IPolicyConfigVistaClient> policyConfig;
    const HRESULT hr =
        CoCreateInstance(CLSID_PolicyConfigVistaClient, nullptr, CLSCTX_INPROC_SERVER,
                         IID_IPolicyConfigVistaClient, policyConfig.ReceiveVoid());
    if (FAILED(hr)) {
        VEX_FAIL(Util::kLevelError, "GetApoVersion", hr,
                 "Cannot create instance for IPolicyConfigVistaClient. [0x%.8x]%s");
        return WString();
    }
    const auto keys = VersionPropertyKeys.find(parameterId);
    if (keys == VersionPropertyKeys.end()) {
        return WString();
    }
    for (const PROPERTYKEY& key : keys->second) {
        for (const WString& candidate : ReadFxClsidStrings(policyConfig.Get(), endpointId, key)) {
            const WString clsid = LowerCase(candidate);
            const auto label = ApoVersionLabels.find(clsid);
            if (label != ApoVersionLabels.end()) {
                return label->second;
            }
            const auto wrapper = WrapperApoStages.find(clsid);
            WString wrapped;
            if (wrapper != WrapperApoStages.end() &&
                WrappedEffectLabel(wrapper->second, &wrapped)) {
                return wrapped;
            }
        }
    }
    return WString();
}
