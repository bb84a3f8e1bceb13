/*
 * vexsim: a simulated Windows audio system for tests, tools and anyone who wants to run a host
 * application against virtual hardware.
 *
 * A machine (audio endpoints with their property stores and effect configuration, the
 * kernel-streaming filters their device topology leads to with the vendor DSP modules inside,
 * registry values under HKEY_LOCAL_MACHINE, injected faults) is described in JSON
 * (docs/simulator.md). The simulator serves it through the platform's own COM classes: once a
 * machine is loaded on a thread that has initialised COM, CoCreateInstance of the device enumerator
 * and of the policy-configuration class reach the simulator, natively and under Wine.
 *
 * Functions returning int give 0 on success and -1 on failure; vexsim_LastError then tells
 * why. Text is UTF-8. Returned text pointers stay valid until the next call of the same
 * function on the same thread.
 */
#ifndef VEXSIM_H
#define VEXSIM_H

#include <stddef.h>

#if defined(_WIN32)
#if defined(VEXSIM_BUILDING)
#define VEXSIM_API __declspec(dllexport)
#else
#define VEXSIM_API __declspec(dllimport)
#endif
#else
#define VEXSIM_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* --- Machines ------------------------------------------------------------------------------ */

/* Replace the current machine by the one in a JSON file. On failure the current machine is
 * left as it was and vexsim_LastError names the file and the JSON path at fault. Loading also
 * registers the simulator's COM classes for the calling thread (see vexsim_Register) when the
 * thread has initialised COM. */
VEXSIM_API int vexsim_LoadMachineFile(const char* path);
/* The same from JSON text. */
VEXSIM_API int vexsim_LoadMachineJson(const char* json);
/* The same from the machines directory: name "default" loads <directory>/default.json. */
VEXSIM_API int vexsim_LoadMachine(const char* name);
/* The directory of the shipped machines: the environment variable VEXSIM_MACHINES_DIR when it
 * is set, else the installed machines of an installed simulator (share/Orv3VexControl/machines
 * of its prefix), else sim/machines of the source tree. It comes in the form the platform
 * opens: under Windows and Wine a Linux path comes back as "Z:" followed by the path. */
VEXSIM_API const char* vexsim_MachinesDirectory(void);
/* Adds faults to the current machine: one fault object or an array of them, as in the
 * "faults" member of a machine file. Nothing is added when one of them is wrong. */
VEXSIM_API int vexsim_AddFaults(const char* json);
/* Replaces the current machine with an empty one: no endpoints, no registry values, no
 * faults, call counts at zero. Registry values of the previous machine are removed. */
VEXSIM_API void vexsim_Reset(void);
/* The current machine as JSON in the machine-file format, with every value as it is now
 * (values written through a property store included). */
VEXSIM_API const char* vexsim_DumpJson(void);
/* Writes vexsim_DumpJson's text to a file. */
VEXSIM_API int vexsim_DumpToFile(const char* path);
/* The reason for the last failure on this thread (empty when none). */
VEXSIM_API const char* vexsim_LastError(void);

/* --- COM registration ---------------------------------------------------------------------- */

/* Registers the class objects of MMDeviceEnumerator and of the policy-configuration class with
 * CoRegisterClassObject from the calling thread, which must have initialised COM; any earlier
 * registration of this process is revoked first. Loading a machine does this too. */
VEXSIM_API int vexsim_Register(void);
/* Revokes the registration (call it on the registering thread before CoUninitialize). */
VEXSIM_API void vexsim_Unregister(void);

/* --- Objects and calls --------------------------------------------------------------------- */

/* The simulator's COM objects alive now (class objects not included), and the references that
 * callers hold on them in all. */
VEXSIM_API long vexsim_LiveObjectCount(void);
VEXSIM_API long vexsim_OutstandingReferenceCount(void);
/* The live objects of one kind: "IMMDeviceEnumerator", "IMMDeviceCollection", "IMMDevice",
 * "IPropertyStore", "IPolicyConfigVistaClient", "IDeviceTopology", "IPart", "IPartsList",
 * "IAudioInputSelector", "IAudioOutputSelector" or "IKsControl". */
VEXSIM_API long vexsim_LiveObjectCountOf(const char* kind);
/* How often a method ran since the machine was loaded, e.g. "IMMDevice::OpenPropertyStore"
 * or "CoCreateInstance" (method names as in the "faults" member of a machine file); "*" gives
 * the calls of every method together. */
VEXSIM_API unsigned long vexsim_CallCount(const char* method);

/* Changes the state of a device (endpoint or filter) of the current machine at run time:
 * DEVICE_STATE_ACTIVE (1), DEVICE_STATE_DISABLED (2), DEVICE_STATE_NOTPRESENT (4) or
 * DEVICE_STATE_UNPLUGGED (8). Enumerations and default-endpoint queries made after it, and
 * IMMDevice::GetState on objects already handed out, see the new state; collections already
 * handed out keep the devices they listed. */
VEXSIM_API int vexsim_SetEndpointState(const char* id, unsigned long state);

/* --- Property stores held by someone else -------------------------------------------------- */

/* From now on the endpoint's property store is also held by the simulator, as the audio service
 * holds it: every OpenPropertyStore with the same access (read, or writable) hands out one shared
 * object, created on the first open, on which the simulator keeps a reference of its own, so a
 * caller's IPropertyStore::Release never returns 0. The machine member "holdStore": true does the
 * same at load. The simulator's own reference is not in vexsim_OutstandingReferenceCount; the
 * object stays live (vexsim_LiveObjectCount) until it is let go and its callers released it. */
VEXSIM_API int vexsim_HoldPropertyStore(const char* endpointId);
/* Lets go of the held stores (a load or a reset does too); opens hand out new objects again. */
VEXSIM_API int vexsim_ReleasePropertyStore(const char* endpointId);
/* The references callers hold on the endpoint's held stores, the simulator's own not counted
 * (-1 when the endpoint is unknown or its store not held). */
VEXSIM_API long vexsim_PropertyStoreReferences(const char* endpointId);

/* --- Device topology, kernel-streaming filters and vendor modules --------------------------- */

/* One kernel-streaming property request a filter received (IKsControl::KsProperty), with its
 * answer. The pointers stay valid until the next vexsim_KsRequest call on the same thread. */
typedef struct vexsim_KsRequestInfo {
    const char* kind; /* "engineDescriptor", "moduleDescriptors", "interfaceVersion", "moduleList",
                         "moduleEnable", "moduleParam", "unregister", "instantiationState",
                         "amdPresence", "amdParam" or "unknown" */
    const unsigned char* property; /* the property bytes as sent */
    unsigned long propertyLength;
    int hasData;                 /* a data buffer was given */
    unsigned long dataLength;    /* its length */
    const unsigned char* data;   /* its content on entry for a set request, else null */
    const unsigned char* answer; /* what the driver wrote into it (successful reads only) */
    unsigned long answerLength;
    unsigned long bytesReturned;
    long result; /* the HRESULT the caller got */
} vexsim_KsRequestInfo;

/* The number of requests in the log of a filter device of the current machine (-1 when no
 * filter has the id, which is UTF-8). The log keeps the newest 4096 requests of each filter;
 * older ones are dropped. It lives in memory only: a dump never writes it. */
VEXSIM_API int vexsim_KsRequestCount(const char* deviceId);
/* One of them, oldest first. */
VEXSIM_API int vexsim_KsRequest(const char* deviceId, int index, vexsim_KsRequestInfo* info);
/* Every request the filter received since the machine was loaded or its log cleared, the
 * dropped and the unlogged ones included (-1 when no filter has the id). */
VEXSIM_API long long vexsim_KsRequestTotal(const char* deviceId);
/* Forgets the requests of one filter, or of every filter when deviceId is null, and sets
 * their totals to 0. */
VEXSIM_API int vexsim_KsClearRequests(const char* deviceId);
/* Switches the request logs of the current machine on (non-zero) or off; totals count on.
 * The machine member "requestLogging": false starts a machine with them off. */
VEXSIM_API void vexsim_KsSetRequestLogging(int on);

/* The selection of a selector part (by its device and local id): what the last accepted
 * SetSelection chose, or the initial one. */
VEXSIM_API int vexsim_SelectorSelection(const char* deviceId, unsigned int localId,
                                        unsigned int* selection);
/* Every accepted SetSelection of a selector part, in order: copies up to `capacity` local ids
 * and gives how many there were (-1 when there is no such selector). */
VEXSIM_API int vexsim_SelectorHistory(const char* deviceId, unsigned int localId,
                                      unsigned int* localIds, int capacity);

/* The value a vendor module (by its filter device and its GUID text) holds for a parameter:
 * copies up to `capacity` bytes and sets *length to the value's length. -1 when the module
 * holds no value for the id (an id it reads as zero without having been written included). */
VEXSIM_API int vexsim_ModuleParam(const char* deviceId, const char* moduleGuid,
                                  unsigned long paramId, unsigned char* buffer,
                                  unsigned long capacity, unsigned long* length);
/* 1 when the module is enabled, 0 when it is not, -1 when there is no such module. */
VEXSIM_API int vexsim_ModuleEnabled(const char* deviceId, const char* moduleGuid);

/* --- Trace capture ------------------------------------------------------------------------- */

/* Starts capturing the library's trace records (provider {23A46DB4-562B-44A3-9C4F-1D5598262B8E})
 * at the given level and match-any keyword mask, dropping earlier records. Only where the
 * platform layer's trace controller exists (Linux); on Windows it fails with "not available". */
VEXSIM_API int vexsim_TraceStart(unsigned char level, unsigned long long keywordMask);
/* Stops the capture; the records stay readable until the next start or clear. */
VEXSIM_API int vexsim_TraceStop(void);
VEXSIM_API void vexsim_TraceClear(void);
/* The number of records captured (0 where capture is not available). */
VEXSIM_API int vexsim_TraceRecordCount(void);
/* One record's text, or null past the end; level and keyword may be null. */
VEXSIM_API const char* vexsim_TraceRecord(int index, int* level, unsigned long long* keyword);

#ifdef __cplusplus
}
#endif

#endif /* VEXSIM_H */
