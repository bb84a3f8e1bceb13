/*
 * The five exports of Orv3VexControl.dll as include/Orv3VexControl.h declares them, for a host
 * compiled the Microsoft way without the Windows SDK: Orv3VexControl.h includes <windows.h>,
 * and clang in Microsoft mode cannot take mingw-w64's. The types are the plain C types that the
 * header's Windows names stand for on 64-bit Windows (HRESULT and LONG are long, ULONG is
 * unsigned long, LPCWSTR is const wchar_t*), where WINAPI is the one calling convention there
 * is. scripts/msvc-host.sh compiles this file after the installed header with mingw-w64, which
 * fails when a declaration or a constant here no longer agrees with it.
 */
#ifndef VEXHOST_EXPORTS_H
#define VEXHOST_EXPORTS_H

#include <stddef.h>

typedef void* ControlHandle;
struct tagPROPVARIANT;

#define VEX_ROUTE_APO 0x1u
#define VEX_ROUTE_DSP 0x2u

long OpenVexControl(ControlHandle* handleOut, const wchar_t* endpointId);
long CloseVexControl(ControlHandle handle);
long SetVexParam(ControlHandle handle, long id, const void* buffer, unsigned long size,
                 unsigned long flags);
long SetVexVariantParam(ControlHandle handle, long id, const struct tagPROPVARIANT* value,
                        unsigned long flags);
long GetVexParam(ControlHandle handle, long id, void* buffer, unsigned long* size,
                 unsigned long flags);

#endif /* VEXHOST_EXPORTS_H */
