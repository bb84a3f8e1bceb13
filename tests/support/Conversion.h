// Building raw layouts and stored values, and reading back what the conversions produce.
#pragma once

#include "support/Layouts.h"
#include "support/TestSupport.h"

#include "conversion/ParameterConversion.h"

#include <cstring>
#include <initializer_list>
#include <vector>

namespace convtest {

using vextest::Bytes;
using vextest::Join;
using vextest::Sequence;
using vextest::ToBytes;
using vextest::ToWords;
using vextest::Words;

// The words of a converted blob; fails the test when the value is not a blob of whole words.
inline Words StoredWords(const PROPVARIANT& value) {
    EXPECT_EQ(VT_BLOB, value.vt);
    if (value.vt != VT_BLOB) {
        return {};
    }
    EXPECT_EQ(0u, value.blob.cbSize % 4);
    EXPECT_NE(nullptr, value.blob.pBlobData);
    return ToWords(value.blob.pBlobData, value.blob.cbSize);
}

// A stored value as the property store would hand it out.
class StoredValue {
public:
    static StoredValue Blob(const Bytes& bytes) {
        StoredValue stored;
        PROPVARIANT* value = stored.m_value.Receive();
        value->vt = VT_BLOB;
        value->blob.cbSize = static_cast<ULONG>(bytes.size());
        if (!bytes.empty()) {
            value->blob.pBlobData = static_cast<BYTE*>(CoTaskMemAlloc(bytes.size()));
            std::memcpy(value->blob.pBlobData, bytes.data(), bytes.size());
        }
        return stored;
    }
    static StoredValue Blob(const Words& words) { return Blob(ToBytes(words)); }
    // A blob that claims bytes but has no memory behind them.
    static StoredValue NullBlob(ULONG claimed) {
        StoredValue stored;
        PROPVARIANT* value = stored.m_value.Receive();
        value->vt = VT_BLOB;
        value->blob.cbSize = claimed;
        return stored;
    }
    static StoredValue Integer(VARTYPE type, LONG word) {
        StoredValue stored;
        PROPVARIANT* value = stored.m_value.Receive();
        value->vt = type;
        value->lVal = word;
        return stored;
    }

    StoredValue(StoredValue&& other) noexcept { *m_value.Receive() = other.m_value.Release(); }
    const PROPVARIANT& Get() const { return m_value.Get(); }

private:
    StoredValue() = default;
    ScopedPropVariant m_value;
};

inline constexpr BYTE kFill = 0xCD;   // what the buffer holds before a get
inline constexpr BYTE kGuard = 0xA5;  // the bytes past the declared capacity
inline constexpr size_t kGuardBytes = 32;

// One get into a buffer of `capacity` bytes (or a null buffer), with guard bytes past it.
struct GetOutcome {
    HRESULT hr;
    ULONG size;        // *size after the call
    Bytes bytes;       // the `capacity` bytes after the call
    bool guardIntact;  // nothing was written past the capacity
};

inline GetOutcome Get(LONG id, const PROPVARIANT& value, ULONG capacity, bool nullBuffer = false) {
    Bytes storage(capacity + kGuardBytes, kFill);
    std::memset(storage.data() + capacity, kGuard, kGuardBytes);
    ULONG size = capacity;
    const HRESULT hr =
        ConvertPropVariantToParameter(id, nullBuffer ? nullptr : storage.data(), &size, value);
    GetOutcome outcome{hr, size, Bytes(storage.begin(), storage.begin() + capacity), true};
    for (size_t i = capacity; i < storage.size(); ++i) {
        outcome.guardIntact = outcome.guardIntact && storage[i] == kGuard;
    }
    return outcome;
}

// The size a get reports for a null buffer.
inline ULONG RequiredSize(LONG id, const PROPVARIANT& value) {
    ULONG size = 0;
    const HRESULT hr = ConvertPropVariantToParameter(id, nullptr, &size, value);
    EXPECT_HR(E_INVALIDARG, hr) << "a null buffer is refused";
    return size;
}

inline bool AllZero(const Bytes& bytes, size_t from = 0) {
    for (size_t i = from; i < bytes.size(); ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace convtest
