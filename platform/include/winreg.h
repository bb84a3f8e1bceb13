// Registry access over the process's in-memory HKEY_LOCAL_MACHINE. An opened key allows what
// its access mask grants, as on Windows: a write through a key opened for reading is refused.
#pragma once

#include "windows.h"

struct HKEY__;
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;

#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))

#define DELETE 0x00010000
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F
#define MAXIMUM_ALLOWED 0x02000000
#define GENERIC_READ 0x80000000
#define GENERIC_WRITE 0x40000000
#define GENERIC_ALL 0x10000000

#define REG_NONE 0
#define REG_SZ 1
#define REG_BINARY 3
#define REG_DWORD 4

#define REG_OPTION_NON_VOLATILE 0
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

#define RRF_RT_REG_SZ 0x00000002
#define RRF_RT_REG_DWORD 0x00000010
#define RRF_RT_ANY 0x0000ffff

extern "C" {
VEXPLAT_API LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access,
                                  PHKEY result);
VEXPLAT_API LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass,
                                    DWORD options, REGSAM access, void* security, PHKEY result,
                                    LPDWORD disposition);
VEXPLAT_API LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type,
                                   const BYTE* data, DWORD dataSize);
VEXPLAT_API LSTATUS RegGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR valueName, DWORD flags,
                                 LPDWORD type, void* data, LPDWORD dataSize);
VEXPLAT_API LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName);
VEXPLAT_API LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR subKey);
VEXPLAT_API LSTATUS RegCloseKey(HKEY key);
}
