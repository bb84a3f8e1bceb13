// The byte work every kernel-streaming answer shares: little-endian fields and GUIDs, the
// results a driver gives, and the checks of flags and data buffers.
#pragma once

#include "KsAudioModule.h"
#include "machine/Machine.h"

#include <cstring>

namespace vexsim::ks {

inline const HRESULT kInvalid = HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER);
inline const HRESULT kNotSupported = HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
inline const HRESULT kTooSmall = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
inline const HRESULT kMoreData = HRESULT_FROM_WIN32(ERROR_MORE_DATA);

inline constexpr ULONG kGet = KSPROPERTY_TYPE_GET;
inline constexpr ULONG kSet = KSPROPERTY_TYPE_SET;

inline uint32_t U32(const uint8_t* p, size_t offset) {
    return static_cast<uint32_t>(p[offset]) | (static_cast<uint32_t>(p[offset + 1]) << 8) |
           (static_cast<uint32_t>(p[offset + 2]) << 16) |
           (static_cast<uint32_t>(p[offset + 3]) << 24);
}

inline void PutU32(uint8_t* p, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        p[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

inline GUID GuidAt(const uint8_t* p, size_t offset) {
    GUID guid;
    guid.Data1 = U32(p, offset);
    guid.Data2 = static_cast<uint16_t>(p[offset + 4] | (p[offset + 5] << 8));
    guid.Data3 = static_cast<uint16_t>(p[offset + 6] | (p[offset + 7] << 8));
    std::memcpy(guid.Data4, p + offset + 8, 8);
    return guid;
}

inline void PutGuid(uint8_t* p, size_t offset, const GUID& guid) {
    PutU32(p, offset, guid.Data1);
    p[offset + 4] = static_cast<uint8_t>(guid.Data2);
    p[offset + 5] = static_cast<uint8_t>(guid.Data2 >> 8);
    p[offset + 6] = static_cast<uint8_t>(guid.Data3);
    p[offset + 7] = static_cast<uint8_t>(guid.Data3 >> 8);
    std::memcpy(p + offset + 8, guid.Data4, 8);
}

inline bool Same(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

inline bool ZeroFrom(const uint8_t* p, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
        if (p[i] != 0) {
            return false;
        }
    }
    return true;
}

// The request's flags against the one direction the property takes: the other plain direction
// is not supported, anything else is malformed.
inline HRESULT CheckFlags(ULONG flags, ULONG wanted) {
    if (flags == wanted) {
        return S_OK;
    }
    return flags == kGet || flags == kSet ? kNotSupported : kInvalid;
}

// A fixed-size answer: a request without a data buffer learns the size (ERROR_MORE_DATA), a
// smaller buffer is refused.
inline HRESULT CheckFixedData(const uint8_t* data, ULONG dataLength, size_t size, ULONG* returned) {
    if (data == nullptr || dataLength == 0) {
        *returned = static_cast<ULONG>(size);
        return kMoreData;
    }
    return dataLength < size ? kTooSmall : S_OK;
}

// A list answer whose size query answers as the filter is configured.
inline HRESULT CheckListData(const uint8_t* data, ULONG dataLength, size_t size, SizeQuery query,
                             ULONG* returned) {
    if (data == nullptr || dataLength == 0) {
        *returned = static_cast<ULONG>(size);
        return query == SizeQuery::MoreData ? kMoreData : S_OK;
    }
    return dataLength < size ? kTooSmall : S_OK;
}

// A fixed-size answer (see CheckFixedData): fill(data) writes its `size` bytes.
template <typename Fill>
HRESULT FixedAnswer(uint8_t* data, ULONG dataLength, size_t size, ULONG* returned, Fill fill) {
    const HRESULT hr = CheckFixedData(data, dataLength, size, returned);
    if (FAILED(hr)) {
        return hr;
    }
    fill(data);
    *returned = static_cast<ULONG>(size);
    return S_OK;
}

}  // namespace vexsim::ks
