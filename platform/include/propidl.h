// PROPVARIANT with the Windows memory layout, and its clear.
#pragma once

#include "windows.h"

typedef unsigned short VARTYPE;

enum VARENUM {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_LPSTR = 30,
    VT_LPWSTR = 31,
    VT_FILETIME = 64,
    VT_BLOB = 65,
    VT_STREAM = 66,
    VT_STORAGE = 67,
    VT_STREAMED_OBJECT = 68,
    VT_STORED_OBJECT = 69,
    VT_BLOB_OBJECT = 70,
    VT_CF = 71,
    VT_CLSID = 72,
    VT_VECTOR = 0x1000,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0xFFF,
};

struct BLOB {
    ULONG cbSize;
    BYTE* pBlobData;
};

struct CAL {
    ULONG cElems;
    LONG* pElems;
};

struct CAUL {
    ULONG cElems;
    ULONG* pElems;
};

struct CALPWSTR {
    ULONG cElems;
    LPWSTR* pElems;
};

struct CABSTR {
    ULONG cElems;
    OLECHAR** pElems;
};

struct CAUB {
    ULONG cElems;
    UCHAR* pElems;
};

struct CALPSTR {
    ULONG cElems;
    LPSTR* pElems;
};

// Clipboard data: its byte count, then the format and the data it counts.
struct CLIPDATA {
    ULONG cbSize;
    LONG ulClipFmt;
    BYTE* pClipData;
};

struct CACLIPDATA {
    ULONG cElems;
    CLIPDATA* pElems;
};

struct PROPVARIANT;
struct CAPROPVARIANT {
    ULONG cElems;
    PROPVARIANT* pElems;
};

struct PROPVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        CHAR cVal;
        UCHAR bVal;
        SHORT iVal;
        USHORT uiVal;
        LONG lVal;
        ULONG ulVal;
        INT intVal;
        UINT uintVal;
        LONGLONG hVal;
        ULONGLONG uhVal;
        SHORT boolVal;
        SCODE scode;
        float fltVal;
        double dblVal;
        CLSID* puuid;
        CLIPDATA* pclipdata;
        IUnknown* punkVal;
        void* parray;  // a SAFEARRAY, which this layer does not implement
        BLOB blob;
        OLECHAR* bstrVal;
        LPSTR pszVal;
        LPWSTR pwszVal;
        CAL cal;
        CAUL caul;
        CAUB caub;
        CALPSTR calpstr;
        CALPWSTR calpwstr;
        CABSTR cabstr;
        CACLIPDATA caclipdata;
        CAPROPVARIANT capropvar;
    };
};
typedef PROPVARIANT* LPPROPVARIANT;
typedef const PROPVARIANT& REFPROPVARIANT;

static_assert(sizeof(PROPVARIANT) == 8 + 2 * sizeof(void*), "PROPVARIANT size");

inline void PropVariantInit(PROPVARIANT* value) {
    BYTE* bytes = reinterpret_cast<BYTE*>(value);
    for (size_t i = 0; i < sizeof(PROPVARIANT); ++i) {
        bytes[i] = 0;
    }
}

extern "C" {
VEXPLAT_API HRESULT PropVariantClear(PROPVARIANT* value);
}
