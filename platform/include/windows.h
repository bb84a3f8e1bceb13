// The Win32 subset that the library and its tools use, for builds outside Windows.
// Names, widths and values follow the Windows headers; the code is this project's own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vexplat/export.h"
#include "winerror.h"

#define WINAPI
#define NTAPI
#define STDMETHODCALLTYPE
#define STDAPI extern "C" VEXPLAT_API HRESULT
#define STDAPI_(type) extern "C" VEXPLAT_API type
#define WINBASEAPI extern "C" VEXPLAT_API

typedef uint8_t BYTE;
typedef uint8_t UCHAR;
typedef uint16_t WORD;
typedef uint16_t USHORT;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int32_t INT;
typedef uint32_t UINT;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef int BOOL;
typedef int16_t SHORT;
typedef char CHAR;
typedef char16_t WCHAR;
typedef WCHAR OLECHAR;
typedef WCHAR* LPWSTR;
typedef WCHAR* PWSTR;
typedef const WCHAR* LPCWSTR;
typedef const WCHAR* PCWSTR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef void* HANDLE;
typedef void* HLOCAL;
typedef void* HMODULE;
typedef uintptr_t ULONG_PTR;
typedef intptr_t LONG_PTR;
typedef size_t SIZE_T;
typedef DWORD LCID;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;
typedef ULONGLONG REGHANDLE;
typedef ULONGLONG* PREGHANDLE;

#define TRUE 1
#define FALSE 0
#define CONST const
#define VOID void

#ifndef TEXT
#define TEXT(quote) u##quote
#endif

#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))
#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define LOCALE_USER_DEFAULT 0x400
#define LOCALE_SYSTEM_DEFAULT 0x800

#include "guiddef.h"
#include "winreg.h"
#include "winbase.h"
#include "objbase.h"
#include "oleauto.h"
#include "propidl.h"
