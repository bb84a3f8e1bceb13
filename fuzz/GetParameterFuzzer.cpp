// Property value to raw bytes, with any id, stored value and declared size. Input: the id
// (4 bytes), the capacity (4 bytes, taken modulo 8193), the kind of stored value (1 byte),
// flags (1 byte; bit 0: a null buffer), then the stored bytes. The buffer is a block of exactly
// the capacity and a blob's bytes a block of exactly its size, so access past either is
// caught.
//
// Every result is one of the four documented codes; a too-small buffer reports a size that
// the same call then accepts; a refused call leaves the buffer cleared.
#include "FuzzInput.h"

#include "conversion/ParameterConversion.h"

#include <algorithm>

namespace {

void CheckCleared(const fuzz::ExactBlock& block, ULONG size) {
    const BYTE* bytes = const_cast<fuzz::ExactBlock&>(block).Data();
    for (ULONG i = 0; i < size; ++i) {
        fuzz::Check(bytes[i] == 0, "a refused get leaves the buffer cleared");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input input(data, size);
    const LONG id = static_cast<LONG>(input.U32());
    const ULONG capacity = input.U32() % 8193;
    const uint8_t kind = input.U8();
    const uint8_t flags = input.U8();
    const std::vector<BYTE> stored = input.Rest();

    fuzz::ExactBlock blob(stored.size());
    if (!stored.empty()) {
        std::memcpy(blob.Data(), stored.data(), stored.size());
    }
    LONG word = 0;
    if (!stored.empty()) {
        std::memcpy(&word, stored.data(), std::min<size_t>(stored.size(), sizeof word));
    }

    PROPVARIANT value;
    PropVariantInit(&value);
    switch (kind % 8) {
        case 0:
            value.vt = VT_BLOB;
            value.blob.cbSize = static_cast<ULONG>(stored.size());
            value.blob.pBlobData = blob.Data();
            break;
        case 1:
            value.vt = VT_I4;
            value.lVal = word;
            break;
        case 2:
            value.vt = VT_UI4;
            value.lVal = word;
            break;
        case 3:  // a blob that claims bytes but has no memory
            value.vt = VT_BLOB;
            value.blob.cbSize = static_cast<ULONG>(stored.size());
            break;
        case 4:
            value.vt = VT_EMPTY;
            break;
        case 5:  // the words as a vector, before the retyping that makes them a blob
            value.vt = VT_VECTOR | VT_I4;
            value.cal.cElems = static_cast<ULONG>(stored.size() / 4);
            value.cal.pElems = reinterpret_cast<LONG*>(blob.Data());
            break;
        case 6:
            value.vt = VT_I2;
            value.iVal = static_cast<SHORT>(word);
            break;
        default:  // a type whose value is a pointer, here one to the stored bytes
            value.vt = VT_LPWSTR;
            value.pwszVal = reinterpret_cast<LPWSTR>(blob.Data());
            break;
    }

    fuzz::ExactBlock buffer(capacity);
    if (capacity > 0) {
        std::memset(buffer.Data(), 0xCD, capacity);
    }
    BYTE* const target = (flags & 1) != 0 ? nullptr : buffer.Data();
    const bool nullBuffer = target == nullptr;
    ULONG reported = capacity;
    const HRESULT hr = ConvertPropVariantToParameter(id, target, &reported, value);
    fuzz::Check(stored.empty() || std::memcmp(blob.Data(), stored.data(), stored.size()) == 0,
                "the stored value is only read");

    if (hr == S_OK) {
        fuzz::Check(!nullBuffer, "a value is written only into a buffer");
        fuzz::Check(reported == capacity, "a successful get leaves the size alone");
        return 0;
    }
    if (hr == kMalformedStoredValue) {
        fuzz::Check(reported == capacity, "a malformed value leaves the size alone");
        if (!nullBuffer) {
            CheckCleared(buffer, capacity);
        }
        return 0;
    }
    if (hr == E_OUTOFMEMORY) {
        fuzz::Check(id == 2116 && !nullBuffer, "only records can be too many");
        return 0;
    }
    fuzz::Check(hr == E_INVALIDARG, "the result is one of the documented codes");
    if (!nullBuffer) {
        fuzz::Check(reported > capacity, "a buffer that is refused is too small");
        CheckCleared(buffer, capacity);
    }

    // The reported size is taken by the same call, which writes nothing past it.
    fuzz::ExactBlock retry(std::max<ULONG>(reported, 1));
    ULONG retrySize = reported;
    const HRESULT again = ConvertPropVariantToParameter(id, retry.Data(), &retrySize, value);
    fuzz::Check(again == S_OK || (again == E_OUTOFMEMORY && id == 2116),
                "the reported size is accepted");
    fuzz::Check(retrySize == reported, "the accepted size is left alone");
    return 0;
}
