// PROPVARIANT with the Windows memory layout, and its clear and copy.
#pragma once

#include "windows.h"

typedef unsigned short VARTYPE;

enum VARENUM {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_BSTR = 8,
    VT_BOOL = 11,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_LPSTR = 30,
    VT_LPWSTR = 31,
    VT_CLSID = 72,
    VT_BLOB = 65,
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
        CLSID* puuid;
        BLOB blob;
        OLECHAR* bstrVal;
        LPSTR pszVal;
        LPWSTR pwszVal;
        CAL cal;
        CAUL caul;
        CAUB caub;
        CALPWSTR calpwstr;
        CABSTR cabstr;
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
VEXPLAT_API HRESULT PropVariantCopy(PROPVARIANT* destination, const PROPVARIANT* source);
}
