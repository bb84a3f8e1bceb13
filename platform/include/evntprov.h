// Event Tracing for Windows, provider side.
#pragma once

#include "windows.h"

struct EVENT_FILTER_DESCRIPTOR;
typedef EVENT_FILTER_DESCRIPTOR* PEVENT_FILTER_DESCRIPTOR;

typedef void (*PENABLECALLBACK)(const GUID* sourceId, ULONG isEnabled, UCHAR level,
                                ULONGLONG matchAnyKeyword, ULONGLONG matchAllKeyword,
                                PEVENT_FILTER_DESCRIPTOR filterData, void* callbackContext);

#define EVENT_CONTROL_CODE_DISABLE_PROVIDER 0
#define EVENT_CONTROL_CODE_ENABLE_PROVIDER 1
#define EVENT_CONTROL_CODE_CAPTURE_STATE 2

extern "C" {
VEXPLAT_API ULONG EventRegister(const GUID* providerId, PENABLECALLBACK enableCallback,
                                void* callbackContext, PREGHANDLE handle);
VEXPLAT_API ULONG EventUnregister(REGHANDLE handle);
VEXPLAT_API ULONG EventWriteString(REGHANDLE handle, UCHAR level, ULONGLONG keyword, PCWSTR text);
}
