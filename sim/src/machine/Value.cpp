#include "machine/Value.h"

#include "common/Text.h"

#include <cstring>

namespace vexsim {

namespace {

struct TypeEntry {
    const char* name;
    VARTYPE type;
};

const TypeEntry kTypes[] = {
    {"VT_EMPTY", VT_EMPTY},
    {"VT_I2", VT_I2},
    {"VT_UI2", VT_UI2},
    {"VT_I4", VT_I4},
    {"VT_UI4", VT_UI4},
    {"VT_I8", VT_I8},
    {"VT_UI8", VT_UI8},
    {"VT_UI1", VT_UI1},
    {"VT_BOOL", VT_BOOL},
    {"VT_LPWSTR", VT_LPWSTR},
    {"VT_BSTR", VT_BSTR},
    {"VT_CLSID", VT_CLSID},
    {"VT_BLOB", VT_BLOB},
    {"VT_VECTOR|VT_LPWSTR", VT_VECTOR | VT_LPWSTR},
    {"VT_VECTOR|VT_BSTR", VT_VECTOR | VT_BSTR},
    {"VT_VECTOR|VT_I4", VT_VECTOR | VT_I4},
    {"VT_VECTOR|VT_UI4", VT_VECTOR | VT_UI4},
    {"VT_VECTOR|VT_UI1", VT_VECTOR | VT_UI1},
};

BSTR BstrText(const WString& text) {
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

WString WideText(const WCHAR* text) {
    return text != nullptr ? WString(text) : WString();
}

WString BstrContent(BSTR text) {
    return text != nullptr ? WString(text, SysStringLen(text)) : WString();
}

// Appends a caller's counted array to `out`; E_INVALIDARG when it claims elements it does not
// point to.
template <typename Element, typename Out, typename Convert = Out (*)(Out)>
HRESULT CopyElements(
    ULONG count, const Element* elements, std::vector<Out>* out,
    Convert convert = [](Out element) { return element; }) {
    if (count > 0 && elements == nullptr) {
        return E_INVALIDARG;
    }
    for (ULONG i = 0; i < count; ++i) {
        out->push_back(convert(elements[i]));
    }
    return S_OK;
}

template <typename T>
T* CoTaskArray(size_t count) {
    return static_cast<T*>(CoTaskMemAlloc(count == 0 ? 1 : count * sizeof(T)));
}

}  // namespace

std::optional<VARTYPE> TypeFromName(std::string_view name) {
    for (const TypeEntry& entry : kTypes) {
        if (name == entry.name) {
            return entry.type;
        }
    }
    return std::nullopt;
}

const char* TypeName(VARTYPE type) {
    for (const TypeEntry& entry : kTypes) {
        if (entry.type == type) {
            return entry.name;
        }
    }
    return nullptr;
}

std::string TypeNameList() {
    std::string list;
    for (const TypeEntry& entry : kTypes) {
        list += list.empty() ? "" : ", ";
        list += entry.name;
    }
    return list;
}

HRESULT ToPropVariant(const PropValue& value, PROPVARIANT* out) {
    PropVariantInit(out);
    PROPVARIANT pv;
    PropVariantInit(&pv);
    pv.vt = value.type;
    switch (value.type) {
        case VT_EMPTY:
            break;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            pv.uiVal = static_cast<USHORT>(value.scalar);
            break;
        case VT_UI1:
            pv.bVal = static_cast<UCHAR>(value.scalar);
            break;
        case VT_I4:
        case VT_UI4:
            pv.ulVal = static_cast<ULONG>(value.scalar);
            break;
        case VT_I8:
        case VT_UI8:
            std::memcpy(&pv.uhVal, &value.scalar, sizeof(uint64_t));
            break;
        case VT_LPWSTR:
            pv.pwszVal = CoTaskCopy(value.text);
            if (pv.pwszVal == nullptr) {
                return E_OUTOFMEMORY;
            }
            break;
        case VT_BSTR:
            pv.bstrVal = BstrText(value.text);
            if (pv.bstrVal == nullptr) {
                return E_OUTOFMEMORY;
            }
            break;
        case VT_CLSID:
            pv.puuid = CoTaskArray<CLSID>(1);
            if (pv.puuid == nullptr) {
                return E_OUTOFMEMORY;
            }
            *pv.puuid = value.clsid;
            break;
        case VT_BLOB:
            pv.blob.cbSize = static_cast<ULONG>(value.bytes.size());
            if (!value.bytes.empty()) {
                pv.blob.pBlobData = CoTaskArray<BYTE>(value.bytes.size());
                if (pv.blob.pBlobData == nullptr) {
                    return E_OUTOFMEMORY;
                }
                std::memcpy(pv.blob.pBlobData, value.bytes.data(), value.bytes.size());
            }
            break;
        case VT_VECTOR | VT_UI1:
            pv.caub.cElems = static_cast<ULONG>(value.bytes.size());
            pv.caub.pElems = CoTaskArray<UCHAR>(value.bytes.size());
            if (pv.caub.pElems == nullptr) {
                return E_OUTOFMEMORY;
            }
            if (!value.bytes.empty()) {
                std::memcpy(pv.caub.pElems, value.bytes.data(), value.bytes.size());
            }
            break;
        case VT_VECTOR | VT_I4:
        case VT_VECTOR | VT_UI4:
            pv.caul.cElems = static_cast<ULONG>(value.words.size());
            pv.caul.pElems = CoTaskArray<ULONG>(value.words.size());
            if (pv.caul.pElems == nullptr) {
                return E_OUTOFMEMORY;
            }
            for (size_t i = 0; i < value.words.size(); ++i) {
                pv.caul.pElems[i] = value.words[i];
            }
            break;
        case VT_VECTOR | VT_LPWSTR:
        case VT_VECTOR | VT_BSTR: {
            const bool bstr = value.type == (VT_VECTOR | VT_BSTR);
            // Both vectors are a count and an array of text pointers.
            auto** elements = CoTaskArray<WCHAR*>(value.texts.size());
            if (elements == nullptr) {
                return E_OUTOFMEMORY;
            }
            for (size_t i = 0; i < value.texts.size(); ++i) {
                elements[i] = bstr ? BstrText(value.texts[i]) : CoTaskCopy(value.texts[i]);
                if (elements[i] == nullptr) {
                    for (size_t k = 0; k < i; ++k) {
                        if (bstr) {
                            SysFreeString(elements[k]);
                        } else {
                            CoTaskMemFree(elements[k]);
                        }
                    }
                    CoTaskMemFree(elements);
                    return E_OUTOFMEMORY;
                }
            }
            if (bstr) {
                pv.cabstr.cElems = static_cast<ULONG>(value.texts.size());
                pv.cabstr.pElems = elements;
            } else {
                pv.calpwstr.cElems = static_cast<ULONG>(value.texts.size());
                pv.calpwstr.pElems = elements;
            }
            break;
        }
        default:
            return E_INVALIDARG;
    }
    *out = pv;
    return S_OK;
}

HRESULT FromPropVariant(const PROPVARIANT& in, PropValue* out) {
    PropValue value;
    value.type = in.vt;
    HRESULT hr = S_OK;
    switch (in.vt) {
        case VT_EMPTY:
            break;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            value.scalar = in.uiVal;
            if (in.vt == VT_I2 || in.vt == VT_BOOL) {
                value.scalar = static_cast<uint64_t>(static_cast<int64_t>(in.iVal));
            }
            break;
        case VT_UI1:
            value.scalar = in.bVal;
            break;
        case VT_I4:
            value.scalar = static_cast<uint64_t>(static_cast<int64_t>(in.lVal));
            break;
        case VT_UI4:
            value.scalar = in.ulVal;
            break;
        case VT_I8:
        case VT_UI8:
            std::memcpy(&value.scalar, &in.uhVal, sizeof(uint64_t));
            break;
        case VT_LPWSTR:
            value.text = WideText(in.pwszVal);
            break;
        case VT_BSTR:
            value.text = BstrContent(in.bstrVal);
            break;
        case VT_CLSID:
            if (in.puuid == nullptr) {
                return E_INVALIDARG;
            }
            value.clsid = *in.puuid;
            break;
        case VT_BLOB:
            value.blobAsWords = in.blob.cbSize > 0 && in.blob.cbSize % 4 == 0;
            hr = CopyElements(in.blob.cbSize, in.blob.pBlobData, &value.bytes);
            break;
        case VT_VECTOR | VT_UI1:
            hr = CopyElements(in.caub.cElems, in.caub.pElems, &value.bytes);
            break;
        case VT_VECTOR | VT_I4:
        case VT_VECTOR | VT_UI4:
            hr = CopyElements(in.caul.cElems, in.caul.pElems, &value.words);
            break;
        case VT_VECTOR | VT_LPWSTR:
            hr = CopyElements(in.calpwstr.cElems, in.calpwstr.pElems, &value.texts, WideText);
            break;
        case VT_VECTOR | VT_BSTR:
            hr = CopyElements(in.cabstr.cElems, in.cabstr.pElems, &value.texts, BstrContent);
            break;
        default:
            return E_INVALIDARG;
    }
    if (SUCCEEDED(hr)) {
        *out = std::move(value);
    }
    return hr;
}

bool operator==(const PropValue& a, const PropValue& b) {
    return a.type == b.type && a.scalar == b.scalar && a.text == b.text &&
           std::memcmp(&a.clsid, &b.clsid, sizeof(GUID)) == 0 && a.bytes == b.bytes &&
           a.texts == b.texts && a.words == b.words;
}

}  // namespace vexsim
