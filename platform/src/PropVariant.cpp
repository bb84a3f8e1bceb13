// PROPVARIANT clear and copy, and the property system's vector and string helpers.
#include <windows.h>
#include <propvarutil.h>

#include <cstring>

namespace {

size_t ElementSize(VARTYPE elementType) {
    switch (elementType) {
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
            return 4;
        case VT_I8:
        case VT_UI8:
            return 8;
        case VT_UI1:
            return 1;
        case VT_CLSID:
            return sizeof(CLSID);
        case VT_LPWSTR:
        case VT_LPSTR:
        case VT_BSTR:
            return sizeof(void*);
        default:
            return 0;
    }
}

bool IsScalarType(VARTYPE vt) {
    switch (vt) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_I2:
        case VT_I4:
        case VT_BOOL:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
            return true;
        default:
            return false;
    }
}

WCHAR* CopyWide(const WCHAR* text, size_t length) {
    auto* copy = static_cast<WCHAR*>(CoTaskMemAlloc((length + 1) * sizeof(WCHAR)));
    if (copy != nullptr) {
        std::memcpy(copy, text, length * sizeof(WCHAR));
        copy[length] = 0;
    }
    return copy;
}

size_t WideLength(const WCHAR* text) {
    size_t n = 0;
    while (text[n] != 0) {
        ++n;
    }
    return n;
}

}  // namespace

extern "C" HRESULT PropVariantClear(PROPVARIANT* value) {
    if (value == nullptr) {
        return S_OK;
    }
    const VARTYPE vt = value->vt;
    if (IsScalarType(vt)) {
        // nothing owned
    } else if (vt == VT_BSTR) {
        SysFreeString(value->bstrVal);
    } else if (vt == VT_LPWSTR || vt == VT_LPSTR) {
        CoTaskMemFree(value->pwszVal);
    } else if (vt == VT_CLSID) {
        CoTaskMemFree(value->puuid);
    } else if (vt == VT_BLOB) {
        CoTaskMemFree(value->blob.pBlobData);
    } else if ((vt & VT_VECTOR) != 0 && ElementSize(vt & VT_TYPEMASK) != 0) {
        const VARTYPE element = vt & VT_TYPEMASK;
        if (element == VT_BSTR) {
            for (ULONG i = 0; i < value->cabstr.cElems; ++i) {
                SysFreeString(value->cabstr.pElems[i]);
            }
        } else if (element == VT_LPWSTR || element == VT_LPSTR) {
            for (ULONG i = 0; i < value->calpwstr.cElems; ++i) {
                CoTaskMemFree(value->calpwstr.pElems[i]);
            }
        }
        CoTaskMemFree(value->cal.pElems);
    } else {
        return STG_E_INVALIDPARAMETER;
    }
    PropVariantInit(value);
    return S_OK;
}

extern "C" HRESULT PropVariantCopy(PROPVARIANT* destination, const PROPVARIANT* source) {
    if (destination == nullptr || source == nullptr) {
        return E_INVALIDARG;
    }
    PROPVARIANT copy = *source;
    const VARTYPE vt = source->vt;
    if (IsScalarType(vt)) {
        // the bits are the value
    } else if (vt == VT_BSTR) {
        if (source->bstrVal != nullptr) {
            copy.bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
            if (copy.bstrVal == nullptr) {
                return E_OUTOFMEMORY;
            }
        }
    } else if (vt == VT_LPWSTR) {
        if (source->pwszVal != nullptr) {
            copy.pwszVal = CopyWide(source->pwszVal, WideLength(source->pwszVal));
            if (copy.pwszVal == nullptr) {
                return E_OUTOFMEMORY;
            }
        }
    } else if (vt == VT_LPSTR) {
        if (source->pszVal != nullptr) {
            const size_t n = std::strlen(source->pszVal) + 1;
            copy.pszVal = static_cast<LPSTR>(CoTaskMemAlloc(n));
            if (copy.pszVal == nullptr) {
                return E_OUTOFMEMORY;
            }
            std::memcpy(copy.pszVal, source->pszVal, n);
        }
    } else if (vt == VT_CLSID) {
        if (source->puuid != nullptr) {
            copy.puuid = static_cast<CLSID*>(CoTaskMemAlloc(sizeof(CLSID)));
            if (copy.puuid == nullptr) {
                return E_OUTOFMEMORY;
            }
            *copy.puuid = *source->puuid;
        }
    } else if (vt == VT_BLOB) {
        copy.blob.pBlobData = nullptr;
        if (source->blob.cbSize > 0 && source->blob.pBlobData != nullptr) {
            copy.blob.pBlobData = static_cast<BYTE*>(CoTaskMemAlloc(source->blob.cbSize));
            if (copy.blob.pBlobData == nullptr) {
                return E_OUTOFMEMORY;
            }
            std::memcpy(copy.blob.pBlobData, source->blob.pBlobData, source->blob.cbSize);
        }
    } else if ((vt & VT_VECTOR) != 0 && ElementSize(vt & VT_TYPEMASK) != 0) {
        const VARTYPE element = vt & VT_TYPEMASK;
        const ULONG count = source->cal.cElems;
        const size_t bytes = static_cast<size_t>(count) * ElementSize(element);
        copy.cal.pElems = nullptr;
        if (count > 0) {
            copy.cal.pElems = static_cast<LONG*>(CoTaskMemAlloc(bytes));
            if (copy.cal.pElems == nullptr) {
                return E_OUTOFMEMORY;
            }
            std::memcpy(copy.cal.pElems, source->cal.pElems, bytes);
            for (ULONG i = 0; i < count; ++i) {
                if (element == VT_BSTR && source->cabstr.pElems[i] != nullptr) {
                    BSTR text = source->cabstr.pElems[i];
                    copy.cabstr.pElems[i] = SysAllocStringLen(text, SysStringLen(text));
                } else if (element == VT_LPWSTR && source->calpwstr.pElems[i] != nullptr) {
                    const WCHAR* text = source->calpwstr.pElems[i];
                    copy.calpwstr.pElems[i] = CopyWide(text, WideLength(text));
                }
            }
        }
    } else {
        return STG_E_INVALIDPARAMETER;
    }
    *destination = copy;
    return S_OK;
}

extern "C" HRESULT InitPropVariantFromInt32Vector(const LONG* values, ULONG count,
                                                  PROPVARIANT* value) {
    if (value == nullptr || (values == nullptr && count > 0)) {
        return E_INVALIDARG;
    }
    PropVariantInit(value);
    auto* elements = static_cast<LONG*>(CoTaskMemAlloc(static_cast<size_t>(count) * sizeof(LONG)));
    if (elements == nullptr) {
        return E_OUTOFMEMORY;
    }
    if (count > 0) {
        std::memcpy(elements, values, static_cast<size_t>(count) * sizeof(LONG));
    }
    value->vt = VT_VECTOR | VT_I4;
    value->cal.cElems = count;
    value->cal.pElems = elements;
    return S_OK;
}

extern "C" ULONG PropVariantGetElementCount(REFPROPVARIANT value) {
    if (value.vt == VT_EMPTY) {
        return 0;
    }
    if ((value.vt & VT_VECTOR) != 0) {
        return value.cal.cElems;
    }
    if ((value.vt & VT_ARRAY) != 0) {
        return 0;
    }
    return 1;
}

extern "C" HRESULT PropVariantGetStringElem(REFPROPVARIANT value, ULONG index, PWSTR* text) {
    if (text == nullptr) {
        return E_INVALIDARG;
    }
    *text = nullptr;
    const WCHAR* source = nullptr;
    size_t length = 0;
    switch (value.vt) {
        case VT_LPWSTR:
            if (index != 0) {
                return E_INVALIDARG;
            }
            source = value.pwszVal;
            length = source != nullptr ? WideLength(source) : 0;
            break;
        case VT_BSTR:
            if (index != 0) {
                return E_INVALIDARG;
            }
            source = value.bstrVal;
            length = SysStringLen(value.bstrVal);
            break;
        case VT_VECTOR | VT_LPWSTR:
            if (index >= value.calpwstr.cElems) {
                return E_INVALIDARG;
            }
            source = value.calpwstr.pElems[index];
            length = source != nullptr ? WideLength(source) : 0;
            break;
        case VT_VECTOR | VT_BSTR:
            if (index >= value.cabstr.cElems) {
                return E_INVALIDARG;
            }
            source = value.cabstr.pElems[index];
            length = SysStringLen(value.cabstr.pElems[index]);
            break;
        default:
            return E_INVALIDARG;
    }
    *text = CopyWide(source != nullptr ? source : u"", length);
    return *text != nullptr ? S_OK : E_OUTOFMEMORY;
}
