#include "ModuleRequest.h"

#include <cstring>

namespace {

constexpr size_t kTypicalRequest = 128;

}  // namespace

ModuleRequest ModuleRequest::Property(const GUID& set, ULONG id, ULONG flags) {
    ModuleRequest request(false);
    request.AppendIdentifier(set, id, flags);
    return request;
}

ModuleRequest ModuleRequest::Node(const GUID& set, ULONG id, ULONG flags, ULONG nodeId) {
    ModuleRequest request(false);
    request.AppendIdentifier(set, id, flags | KSPROPERTY_TYPE_TOPOLOGY);
    request.AppendU32(nodeId).AppendU32(0);
    return request;
}

ModuleRequest ModuleRequest::Vendor(ULONG id, ULONG flags, ULONG pinId,
                                    const AudioModuleAddress* wrap) {
    ModuleRequest request(wrap != nullptr);
    if (wrap != nullptr) {
        request.AppendIdentifier(KSPROPSETID_AudioModule, KSPROPERTY_AUDIOMODULE_COMMAND,
                                 KSPROPERTY_TYPE_GET);
        request.AppendGuid(wrap->classId).AppendU32(wrap->instanceId).AppendU32(0);
    }
    request.AppendIdentifier(VendorKs::kModuleSet, id, flags);
    request.AppendU32(pinId).AppendU32(0);
    return request;
}

ModuleRequest ModuleRequest::Amd(ULONG id, ULONG flags, const GUID& moduleGuid, ULONG moduleType,
                                 ULONG parameterId) {
    ModuleRequest request(false);
    request.AppendIdentifier(VendorKs::kAmdModuleSet, id, flags);
    request.AppendGuid(moduleGuid).AppendU32(moduleType).AppendU32(parameterId);
    return request;
}

void ModuleRequest::AppendIdentifier(const GUID& set, ULONG id, ULONG flags) {
    m_bytes.reserve(kTypicalRequest);
    AppendGuid(set).AppendU32(id).AppendU32(flags);
}

ModuleRequest& ModuleRequest::AppendModuleHeader(ULONG moduleType, const GUID& moduleGuid) {
    return AppendGuid(VendorKs::kModuleAddress).AppendU32(moduleType).AppendGuid(moduleGuid);
}

ModuleRequest& ModuleRequest::AppendGuid(const GUID& guid) {
    // The binary layout of a GUID: Data1, Data2 and Data3 little-endian, then the 8 bytes.
    AppendU32(guid.Data1);
    const uint16_t words[2] = {guid.Data2, guid.Data3};
    for (const uint16_t word : words) {
        AppendU8(static_cast<uint8_t>(word & 0xFF));
        AppendU8(static_cast<uint8_t>(word >> 8));
    }
    return AppendBytes(guid.Data4, sizeof guid.Data4);
}

ModuleRequest& ModuleRequest::AppendU8(uint8_t value) {
    m_bytes.push_back(value);
    return *this;
}

ModuleRequest& ModuleRequest::AppendU32(ULONG value) {
    for (int shift = 0; shift < 32; shift += 8) {
        AppendU8(static_cast<uint8_t>((value >> shift) & 0xFF));
    }
    return *this;
}

ModuleRequest& ModuleRequest::AppendU64(ULONGLONG value) {
    AppendU32(static_cast<ULONG>(value & 0xFFFFFFFFu));
    return AppendU32(static_cast<ULONG>(value >> 32));
}

ModuleRequest& ModuleRequest::AppendBytes(const void* bytes, size_t length) {
    if (length > 0) {
        const auto* first = static_cast<const BYTE*>(bytes);
        m_bytes.insert(m_bytes.end(), first, first + length);
    }
    return *this;
}

ModuleRequest& ModuleRequest::AppendBlock(const void* bytes, ULONG length, size_t blockSize) {
    // Room for the block and the padding of a wrapped request, taken at once.
    m_bytes.reserve(m_bytes.size() + blockSize + 8);
    const size_t end = m_bytes.size() + blockSize;
    AppendU32(length).AppendBytes(bytes, length);
    m_bytes.resize(end, 0);
    return *this;
}

HRESULT ModuleRequest::Send(IKsControl* control, void* data, ULONG dataLength, ULONG* returned) {
    if (m_wrapped) {
        m_bytes.resize((m_bytes.size() + 7) & ~size_t{7}, 0);
    }
    *returned = 0;
    const HRESULT hr =
        control->KsProperty(reinterpret_cast<PKSPROPERTY>(m_bytes.data()),
                            static_cast<ULONG>(m_bytes.size()), data, dataLength, returned);
    if (SUCCEEDED(hr) && data != nullptr && *returned > dataLength) {
        return kMalformedAnswer;
    }
    return hr;
}
