// PROPVARIANT clear: the types a value may hold, and what each owns.
#include <windows.h>
#include <propsys.h>

#include <cstdio>
#include <cstdlib>

namespace {

// The types a PROPVARIANT may hold on its own, as a vector and as a safe array; anything else,
// and every by-reference type, is refused.
bool IsValidSingle(VARTYPE vt) {
    return vt <= VT_BOOL || vt == VT_UNKNOWN || vt == VT_DECIMAL ||
           (vt >= VT_I1 && vt <= VT_UINT) || vt == VT_LPSTR || vt == VT_LPWSTR ||
           (vt >= VT_FILETIME && vt <= VT_CLSID);
}

bool IsValidVectorElement(VARTYPE vt) {
    return (vt >= VT_I2 && vt <= VT_BSTR) || (vt >= VT_ERROR && vt <= VT_VARIANT) ||
           (vt >= VT_I1 && vt <= VT_UI8) || vt == VT_LPSTR || vt == VT_LPWSTR ||
           vt == VT_FILETIME || vt == VT_CF || vt == VT_CLSID;
}

bool IsValidArrayElement(VARTYPE vt) {
    return (vt >= VT_I2 && vt <= VT_DECIMAL) || (vt >= VT_I1 && vt <= VT_UI4) || vt == VT_INT ||
           vt == VT_UINT;
}

bool IsValidType(VARTYPE vt) {
    const VARTYPE element = vt & VT_TYPEMASK;
    switch (vt & ~VT_TYPEMASK) {
        case 0:
            return IsValidSingle(element);
        case VT_VECTOR:
            return IsValidVectorElement(element);
        case VT_ARRAY:
            return IsValidArrayElement(element);
        default:
            return false;
    }
}

void FreeClipData(CLIPDATA* clip) {
    if (clip != nullptr) {
        CoTaskMemFree(clip->pClipData);
    }
}

// Element types whose elements own memory, so that clearing a vector reads each of them.
bool OwnsElements(VARTYPE element) {
    return element == VT_BSTR || element == VT_LPSTR || element == VT_LPWSTR || element == VT_CF ||
           element == VT_VARIANT;
}

void ClearVector(PROPVARIANT* value) {
    const VARTYPE element = value->vt & VT_TYPEMASK;
    const ULONG count = value->cal.cElems;
    if (value->cal.pElems == nullptr && count > 0 && OwnsElements(element)) {
        std::fprintf(stderr,
                     "vexplat: PropVariantClear was given a vector (type 0x%04x) of %lu elements "
                     "with no element array; Windows reads the elements through the null pointer\n",
                     static_cast<unsigned>(value->vt), static_cast<unsigned long>(count));
        std::fflush(stderr);
        std::abort();
    }
    if (value->cal.pElems != nullptr) {
        for (ULONG i = 0; i < count; ++i) {
            switch (element) {
                case VT_BSTR:
                    SysFreeString(value->cabstr.pElems[i]);
                    break;
                case VT_LPSTR:
                    CoTaskMemFree(value->calpstr.pElems[i]);
                    break;
                case VT_LPWSTR:
                    CoTaskMemFree(value->calpwstr.pElems[i]);
                    break;
                case VT_CF:
                    FreeClipData(&value->caclipdata.pElems[i]);
                    break;
                case VT_VARIANT:
                    PropVariantClear(&value->capropvar.pElems[i]);
                    break;
                default:
                    break;  // the elements are values
            }
        }
    }
    CoTaskMemFree(value->cal.pElems);
}

// Releases what a value of a valid type owns.
void ClearValid(PROPVARIANT* value) {
    const VARTYPE vt = value->vt;
    if ((vt & VT_VECTOR) != 0) {
        ClearVector(value);
        return;
    }
    if ((vt & VT_ARRAY) != 0) {
        if (value->parray != nullptr) {
            std::fprintf(stderr,
                         "vexplat: PropVariantClear was given a safe array (type 0x%04x); this "
                         "platform layer does not implement SAFEARRAY\n",
                         static_cast<unsigned>(vt));
            std::fflush(stderr);
            std::abort();
        }
        return;
    }
    switch (vt) {
        case VT_BSTR:
            SysFreeString(value->bstrVal);
            break;
        case VT_LPSTR:
            CoTaskMemFree(value->pszVal);
            break;
        case VT_LPWSTR:
            CoTaskMemFree(value->pwszVal);
            break;
        case VT_CLSID:
            CoTaskMemFree(value->puuid);
            break;
        case VT_BLOB:
        case VT_BLOB_OBJECT:
            CoTaskMemFree(value->blob.pBlobData);
            break;
        case VT_CF:
            FreeClipData(value->pclipdata);
            CoTaskMemFree(value->pclipdata);
            break;
        case VT_DISPATCH:
        case VT_UNKNOWN:
        case VT_STREAM:
        case VT_STORAGE:
        case VT_STREAMED_OBJECT:
        case VT_STORED_OBJECT:
            if (value->punkVal != nullptr) {
                value->punkVal->Release();
            }
            break;
        default:
            break;  // a scalar: nothing owned
    }
}

}  // namespace

extern "C" HRESULT PropVariantClear(PROPVARIANT* value) {
    if (value == nullptr) {
        return S_OK;
    }
    // A value of a type that cannot be held is refused, and emptied all the same.
    const HRESULT hr = IsValidType(value->vt) ? S_OK : STG_E_INVALIDPARAMETER;
    if (SUCCEEDED(hr)) {
        ClearValid(value);
    }
    PropVariantInit(value);
    return hr;
}
