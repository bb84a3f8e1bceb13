// An in-process trace controller: the part of an ETW trace session that a test or a tool
// needs. It enables and disables registered providers through their enable callbacks, exactly
// as a trace session does, and keeps the string records that enabled providers write.
// Not a Windows API.
#pragma once

#include <windows.h>

struct VexTraceRecord {
    GUID provider;
    UCHAR level;
    ULONGLONG keyword;
    const WCHAR* text;  // valid until the next VexTraceClear or VexTraceStop
};

extern "C" {
// Sends control code 1 (enable) with the level and match-any mask to the provider, now and to
// every later registration of it; records written from now on are kept.
VEXPLAT_API void VexTraceEnable(REFGUID provider, UCHAR level, ULONGLONG matchAnyKeyword);
// Sends control code 0 (disable) to the provider; it stays registered.
VEXPLAT_API void VexTraceDisable(REFGUID provider);
// Sends control code 2 (capture state) with the session's level and mask.
VEXPLAT_API void VexTraceCaptureState(REFGUID provider);
// The number of records kept, and one of them by index (null past the end).
VEXPLAT_API ULONG VexTraceRecordCount();
VEXPLAT_API BOOL VexTraceGetRecord(ULONG index, VexTraceRecord* record);
VEXPLAT_API void VexTraceClear();
// Disables every provider and drops every record.
VEXPLAT_API void VexTraceStop();
}
