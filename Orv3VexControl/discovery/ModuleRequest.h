// The kernel-streaming property requests through which the library talks to a filter and its
// vendor DSP modules: the plain and node properties, the vendor module set in the pin form
// (a KSP_PIN, then what the operation adds) or wrapped in an audio-module command, and the set of
// AMD-type modules. Discovery and the module driver build every request here.
#pragma once

#include "KsAudioModule.h"
#include "Platform.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The answer of a driver that contradicts itself (a count or a length beyond the bytes it
// returned, a text without its terminator): refused as invalid data.
inline constexpr HRESULT kMalformedAnswer = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

// The audio-module command that a request to an Intel-type module may travel in.
struct AudioModuleAddress {
    GUID classId;
    ULONG instanceId;
};

class ModuleRequest {
public:
    // A KSPROPERTY of the given set.
    static ModuleRequest Property(const GUID& set, ULONG id, ULONG flags);
    // A KSP_NODE addressed to one node of the filter's topology (the topology flag is added).
    static ModuleRequest Node(const GUID& set, ULONG id, ULONG flags, ULONG nodeId);
    // A KSP_PIN on the vendor module set; wrapped in an audio-module command when `wrap` is
    // given. The parts appended afterwards follow the KSP_PIN inside the command.
    static ModuleRequest Vendor(ULONG id, ULONG flags, ULONG pinId, const AudioModuleAddress* wrap);
    // The request of the AMD-type set: the KSPROPERTY, the module GUID, the module type and a
    // parameter id.
    static ModuleRequest Amd(ULONG id, ULONG flags, const GUID& moduleGuid, ULONG moduleType,
                             ULONG parameterId);

    // The header that addresses one module: the module address GUID, the type and the GUID.
    ModuleRequest& AppendModuleHeader(ULONG moduleType, const GUID& moduleGuid);
    ModuleRequest& AppendGuid(const GUID& guid);
    ModuleRequest& AppendU8(uint8_t value);
    ModuleRequest& AppendU32(ULONG value);
    ModuleRequest& AppendU64(ULONGLONG value);
    ModuleRequest& AppendBytes(const void* bytes, size_t length);
    // A parameter block of `blockSize` bytes: `length` as a word, the bytes, then zeros.
    ModuleRequest& AppendBlock(const void* bytes, ULONG length, size_t blockSize);

    // Sends the request. A wrapped request is first padded with zero bytes to a multiple of 8.
    // A driver claiming to have written more bytes than the data buffer holds is refused as
    // malformed; without a data buffer, `returned` is the size the driver asks for.
    HRESULT Send(IKsControl* control, void* data, ULONG dataLength, ULONG* returned);

    const std::vector<BYTE>& Bytes() const { return m_bytes; }

private:
    explicit ModuleRequest(bool wrapped) : m_wrapped(wrapped) {}
    void AppendIdentifier(const GUID& set, ULONG id, ULONG flags);

    std::vector<BYTE> m_bytes;
    bool m_wrapped;
};
