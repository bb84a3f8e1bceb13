// System message texts for the codes the library meets, and local memory.
#include <windows.h>

#include "Memory.h"

#include <cstring>

namespace {

struct SystemText {
    DWORD code;
    const char16_t* text;
};

// The Windows texts, each ending in CR LF as the system's do. Win32 codes and their
// HRESULT forms share a text.
const SystemText kSystemTexts[] = {
    {0x80004001, u"Not implemented\r\n"},
    {0x80004002, u"No such interface supported\r\n"},
    {0x80004003, u"Invalid pointer\r\n"},
    {0x80004005, u"Unspecified error\r\n"},
    {0x8000FFFF, u"Catastrophic failure\r\n"},
    {0x80010106, u"Cannot change thread mode after it is set.\r\n"},
    {0x8001010E,
     u"The application called an interface that was marshalled for a different thread.\r\n"},
    {0x80020005, u"Type mismatch.\r\n"},
    {0x80020008, u"Bad variable type.\r\n"},
    {0x8002802B, u"Element not found.\r\n"},
    {0x80030005, u"Access Denied.\r\n"},
    {0x80030057, u"Invalid parameter error.\r\n"},
    {0x80040110, u"Class does not support aggregation (or class object is remote)\r\n"},
    {0x80040111, u"ClassFactory cannot supply requested class\r\n"},
    {0x80040154, u"Class not registered\r\n"},
    {0x800401F0, u"CoInitialize has not been called.\r\n"},
    {0x800401F3, u"Invalid class string\r\n"},
    {2, u"The system cannot find the file specified.\r\n"},
    {5, u"Access is denied.\r\n"},
    {6, u"The handle is invalid.\r\n"},
    {8, u"Not enough memory resources are available to process this command.\r\n"},
    {13, u"The data is invalid.\r\n"},
    {14, u"Not enough memory resources are available to complete this operation.\r\n"},
    {31, u"A device attached to the system is not functioning.\r\n"},
    {32, u"The process cannot access the file because it is being used by another process.\r\n"},
    {50, u"The request is not supported.\r\n"},
    {87, u"The parameter is incorrect.\r\n"},
    {122, u"The data area passed to a system call is too small.\r\n"},
    {234, u"More data is available.\r\n"},
    {1168, u"Element not found.\r\n"},
    {1170, u"The property set specified does not exist on the object.\r\n"},
    {1630, u"Data of this type is not supported.\r\n"},
};

const char16_t* FindText(DWORD code) {
    DWORD win32 = code;
    if ((code & 0xFFFF0000u) == 0x80070000u) {
        win32 = code & 0xFFFFu;
    }
    for (const SystemText& entry : kSystemTexts) {
        if (entry.code == code || entry.code == win32) {
            return entry.text;
        }
    }
    return nullptr;
}

}  // namespace

extern "C" DWORD FormatMessageW(DWORD flags, LPCVOID /*source*/, DWORD messageId,
                                DWORD /*languageId*/, LPWSTR buffer, DWORD size,
                                void* /*arguments*/) {
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || buffer == nullptr) {
        return 0;
    }
    const char16_t* text = FindText(messageId);
    if (text == nullptr) {
        return 0;
    }
    DWORD length = 0;
    while (text[length] != 0) {
        ++length;
    }
    WCHAR* target = buffer;
    if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
        target = static_cast<WCHAR*>(
            vexplat::AllocateBlock(vexplat::Family::Local, (length + 1) * sizeof(WCHAR)));
        if (target == nullptr) {
            return 0;
        }
        *reinterpret_cast<WCHAR**>(buffer) = target;
    } else if (size < length + 1) {
        return 0;
    }
    std::memcpy(target, text, (length + 1) * sizeof(WCHAR));
    return length;
}

extern "C" HLOCAL LocalFree(HLOCAL memory) {
    vexplat::FreeBlock(vexplat::Family::Local, "LocalFree", memory);
    return nullptr;
}
