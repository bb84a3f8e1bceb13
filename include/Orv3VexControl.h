/*
 * Orv3VexControl: control of the audio processing that serves a Windows render endpoint.
 *
 * A host opens a control handle on an endpoint, sets and gets numbered parameters through
 * the endpoint's software effect (property store), the vendor DSP module in the driver, or
 * both, and closes the handle. Every call runs on the host's thread, which must have
 * initialised COM; calls are not synchronised, so the host serialises them.
 */
#ifndef ORV3VEXCONTROL_H
#define ORV3VEXCONTROL_H

#include <windows.h>
#ifdef _WIN32
#include <propidl.h>
#define VEXCONTROL_API
#else
#define VEXCONTROL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* An open control handle: owned by the library from OpenVexControl to CloseVexControl. */
typedef void* ControlHandle;

/* Route flags of every set and get; both bits may be set. */
#define VEX_ROUTE_APO 0x1u /* the endpoint effect, through the endpoint's property store */
#define VEX_ROUTE_DSP 0x2u /* the vendor DSP module in the audio driver */

/* Parameter ids answered by the library itself. */
#define VEX_PARAM_MAIN_VERSION 1001        /* get: version text of the main effect */
#define VEX_PARAM_MAIN_MODULE 1003         /* set: select the main-processing DSP module */
#define VEX_PARAM_FORM_FACTOR 1004         /* get: the endpoint form factor, 32 bits */
#define VEX_PARAM_LOW_LATENCY_VERSION 2001 /* get: version text of the low-latency effect */
#define VEX_PARAM_LOW_LATENCY_MODULE 2003  /* set: select the low-latency DSP module */

/* Opens a handle on the endpoint with the given id, or on the default console render
 * endpoint when endpointId is null. S_OK, or S_FALSE when the endpoint's property store
 * could be opened only for reading. *handleOut is written only on success. */
VEXCONTROL_API HRESULT WINAPI OpenVexControl(ControlHandle* handleOut, LPCWSTR endpointId);

/* Closes a handle from OpenVexControl; the handle is invalid afterwards. */
VEXCONTROL_API HRESULT WINAPI CloseVexControl(ControlHandle handle);

/* Sets a parameter from its raw bytes (size bytes at buffer, read only). */
VEXCONTROL_API HRESULT WINAPI SetVexParam(ControlHandle handle, LONG id, const void* buffer,
                                          ULONG size, ULONG flags);

/* Sets a parameter from a property value, which stays the caller's. */
VEXCONTROL_API HRESULT WINAPI SetVexVariantParam(ControlHandle handle, LONG id,
                                                 const PROPVARIANT* value, ULONG flags);

/* Gets a parameter into buffer. *size holds the buffer's capacity in bytes on entry and the
 * number of bytes required on return when the buffer is too small. */
VEXCONTROL_API HRESULT WINAPI GetVexParam(ControlHandle handle, LONG id, void* buffer, ULONG* size,
                                          ULONG flags);

#ifdef __cplusplus
}
#endif

#endif /* ORV3VEXCONTROL_H */
