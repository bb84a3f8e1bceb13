// Kernel-streaming property sets of audio engines and audio modules, and the vendor property
// sets through which the driver's DSP modules are found and driven: identifiers, ids and the
// fixed parts of every request and answer. The mingw-w64 headers lack all of it, so it is
// declared here for both builds.
#pragma once

#include "Platform.h"

#include <cstddef>
#include <cstdint>

// ---- standard sets ---------------------------------------------------------------------------

// {C034FDB0-FF75-47C8-AA3C-EE46716B50C6}
inline constexpr GUID KSPROPSETID_AudioModule = {
    0xC034FDB0, 0xFF75, 0x47C8, {0xAA, 0x3C, 0xEE, 0x46, 0x71, 0x6B, 0x50, 0xC6}};
enum : ULONG {
    KSPROPERTY_AUDIOMODULE_DESCRIPTORS = 1,
    KSPROPERTY_AUDIOMODULE_COMMAND = 2,
    KSPROPERTY_AUDIOMODULE_NOTIFICATION_DEVICE_ID = 3,
};

// {3A2F82DC-886F-4BAA-9EB4-082B9025C536}
inline constexpr GUID KSPROPSETID_AudioEngine = {
    0x3A2F82DC, 0x886F, 0x4BAA, {0x9E, 0xB4, 0x08, 0x2B, 0x90, 0x25, 0xC5, 0x36}};
enum : ULONG {
    KSPROPERTY_AUDIOENGINE_DESCRIPTOR = 6,
};

#define AUDIOMODULE_MAX_NAME_CCH_SIZE 128

// One entry of the audio-module descriptor list (after a KSMULTIPLE_ITEM header).
struct KSAUDIOMODULE_DESCRIPTOR {
    GUID ClassId;
    ULONG InstanceId;
    ULONG VersionMajor;
    ULONG VersionMinor;
    WCHAR Name[AUDIOMODULE_MAX_NAME_CCH_SIZE];
};

// The head of an audio-module command; the module's own request follows it.
struct KSAUDIOMODULE_PROPERTY {
    KSPROPERTY Property;
    GUID ClassId;
    ULONG InstanceId;
};

// The answer to the audio-engine descriptor of a node.
struct KSAUDIOENGINE_DESCRIPTOR {
    UINT nHostPinId;
    UINT nOffloadPinId;
    UINT nLoopbackPinId;
};

static_assert(sizeof(KSAUDIOMODULE_DESCRIPTOR) == 284, "KSAUDIOMODULE_DESCRIPTOR is 284 bytes");
static_assert(sizeof(KSAUDIOMODULE_PROPERTY) == 48, "KSAUDIOMODULE_PROPERTY is 48 bytes");
static_assert(sizeof(KSAUDIOENGINE_DESCRIPTOR) == 12, "KSAUDIOENGINE_DESCRIPTOR is 12 bytes");

// ---- the vendor sets -------------------------------------------------------------------------

namespace VendorKs {

// The vendor module set, sent in the pin form (a KSP_PIN) or wrapped in an audio-module command:
// {BAE9CE37-AA99-4BC7-9BDF-4CBF3D23E1B9}.
inline constexpr GUID kModuleSet = {
    0xBAE9CE37, 0xAA99, 0x4BC7, {0x9B, 0xDF, 0x4C, 0xBF, 0x3D, 0x23, 0xE1, 0xB9}};
// The first member of the module header and of the module-list request:
// {C18E2F7E-933D-4965-B7D1-1EEF228D2AF3}.
inline constexpr GUID kModuleAddress = {
    0xC18E2F7E, 0x933D, 0x4965, {0xB7, 0xD1, 0x1E, 0xEF, 0x22, 0x8D, 0x2A, 0xF3}};
// The class id under which the vendor module appears in the audio-module descriptor list:
// {59FC0C0E-147E-4DEA-8E01-911023EBFC15}.
inline constexpr GUID kAudioModuleClass = {
    0x59FC0C0E, 0x147E, 0x4DEA, {0x8E, 0x01, 0x91, 0x10, 0x23, 0xEB, 0xFC, 0x15}};
// The set of AMD-type modules, sent as a plain KSPROPERTY on the filter:
// {8207FCBD-C81A-441B-96B5-4A0CF08665AD}.
inline constexpr GUID kAmdModuleSet = {
    0x8207FCBD, 0xC81A, 0x441B, {0x96, 0xB5, 0x4A, 0x0C, 0xF0, 0x86, 0x65, 0xAD}};

// Ids of the vendor module set.
enum : ULONG {
    kInterfaceVersion = 0,
    kModuleList = 1,
    kModuleEnable = 2,
    kModuleParameter = 3,
    kUnregisterNotification = 5,
    kInstantiationState = 6,
};

// Ids of the AMD-type set.
enum : ULONG {
    kAmdModuleParameter = 0,
    kAmdModulePresence = 1,
};

// Module types.
enum : ULONG {
    kModuleTypeSfx = 0,
    kModuleTypeMfx = 1,
    kModuleTypeEfx = 2,
};

// The header that addresses one module: it follows the KSP_PIN of every per-module request.
struct ModuleHeader {
    GUID address;  // kModuleAddress
    ULONG moduleType;
    GUID moduleGuid;
};

// The head of the module-list answer; `count` entries follow it.
struct ModuleListHeader {
    ULONG size;
    ULONG count;
};

// One entry of the module list.
struct ModuleEntry {
    ULONG moduleType;
    GUID moduleGuid;
    char name[64];     // NUL-terminated
    char version[64];  // NUL-terminated
};

// The request of the AMD-type set: a KSPROPERTY, the module GUID, the module type and a
// parameter id (0 for the presence probe).
struct AmdRequest {
    KSPROPERTY property;
    GUID moduleGuid;
    ULONG moduleType;
    ULONG parameterId;
};

// A module parameter value as exchanged with a module: its length, then the data bytes.
inline constexpr size_t kParamDataCapacity = 64000;
inline constexpr size_t kParamBlockSize = 4 + kParamDataCapacity;  // 64004
// The data buffer of the AMD-type parameter requests: the same layout, 4092 data bytes.
inline constexpr size_t kAmdParamBlockSize = 4096;
// The answer sizes of the interface-version, instantiation-state and presence requests.
inline constexpr size_t kInterfaceVersionSize = 5;
inline constexpr size_t kInstantiationStateSize = 1;
inline constexpr size_t kAmdPresenceSize = 8;

static_assert(sizeof(ModuleHeader) == 36, "the module header is 36 bytes");
static_assert(sizeof(ModuleListHeader) == 8, "the module-list header is 8 bytes");
static_assert(sizeof(ModuleEntry) == 148, "a module entry is 148 bytes");
static_assert(sizeof(AmdRequest) == 48, "the AMD-type request is 48 bytes");

}  // namespace VendorKs
