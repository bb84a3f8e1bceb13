// System message texts, local memory, code-page conversion and the thread's last error.
#pragma once

#include "windows.h"

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000

#define CP_ACP 0
#define CP_THREAD_ACP 3
#define CP_UTF8 65001

#define MB_PRECOMPOSED 0x00000001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_ERR_INVALID_CHARS 0x00000080

extern "C" {
VEXPLAT_API DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                                 LPWSTR buffer, DWORD size, void* arguments);
VEXPLAT_API HLOCAL LocalFree(HLOCAL memory);
VEXPLAT_API int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int bytes, LPWSTR wide,
                                    int capacity);
// UTF-16 to UTF-8 only: an unpaired surrogate becomes U+FFFD, or fails the call with
// WC_ERR_INVALID_CHARS.
VEXPLAT_API int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int chars, LPSTR text,
                                    int capacity, LPCSTR defaultChar, BOOL* usedDefaultChar);
VEXPLAT_API UINT GetACP();
VEXPLAT_API DWORD GetLastError();
VEXPLAT_API void SetLastError(DWORD error);
}
