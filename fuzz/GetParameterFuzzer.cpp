// Property value to raw bytes, with any id, stored value and declared size. Input: the id
// (4 bytes), the capacity (4 bytes, modulo 8193), the kind of stored value (1 byte), flags
// (1 byte; bit 0: a null buffer), then the stored bytes.
//
// Every result is one of the documented codes; a too-small buffer reports a size that the same
// call then accepts; a refused call leaves the buffer cleared.
#include "FuzzInput.h"

#include "conversion/ParameterConversion.h"

#include <algorithm>

namespace {

bool Cleared(const std::vector<BYTE>& buffer, bool nullBuffer) {
    return nullBuffer || std::all_of(buffer.begin(), buffer.end(), [](BYTE b) { return b == 0; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input input(data, size);
    const LONG id = static_cast<LONG>(input.U32());
    const ULONG capacity = input.U32() % 8193;
    const uint8_t kind = input.U8();
    const bool nullBuffer = (input.U8() & 1) != 0 || capacity == 0;  // no memory either way
    const std::vector<BYTE> stored = input.Bytes();
    std::vector<BYTE> blob = stored;
    LONG word = 0;
    if (!stored.empty()) {
        std::memcpy(&word, stored.data(), std::min(stored.size(), sizeof word));
    }

    PROPVARIANT value;
    PropVariantInit(&value);
    const VARTYPE types[] = {VT_BLOB,           VT_I4, VT_UI4,   VT_BLOB, VT_EMPTY,
                             VT_VECTOR | VT_I4, VT_I2, VT_LPWSTR};
    value.vt = types[kind % 8];
    if (value.vt == VT_BLOB) {  // kind 3: a blob that claims bytes but has no memory
        value.blob = {static_cast<ULONG>(blob.size()), kind % 8 == 3 ? nullptr : blob.data()};
    } else if (value.vt == (VT_VECTOR | VT_I4)) {  // the words before retyping to a blob
        value.cal = {static_cast<ULONG>(blob.size() / 4), reinterpret_cast<LONG*>(blob.data())};
    } else if (value.vt == VT_LPWSTR) {  // a type whose value is a pointer
        value.pwszVal = reinterpret_cast<LPWSTR>(blob.data());
    } else if (value.vt == VT_I2) {
        value.iVal = static_cast<SHORT>(word);
    } else {
        value.lVal = word;
    }

    std::vector<BYTE> buffer(capacity, 0xCD);
    ULONG reported = capacity;
    const HRESULT hr =
        ConvertPropVariantToParameter(id, nullBuffer ? nullptr : buffer.data(), &reported, value);
    fuzz::Check(blob == stored, "the stored value is only read");
    if (hr == S_OK) {
        fuzz::Check(!nullBuffer && reported == capacity, "a get fills a buffer, size unchanged");
        return 0;
    }
    if (hr == kMalformedStoredValue) {
        fuzz::Check(reported == capacity && Cleared(buffer, nullBuffer),
                    "a malformed value leaves the size alone and the buffer cleared");
        return 0;
    }
    if (hr == E_OUTOFMEMORY) {
        fuzz::Check(id == 2116 && !nullBuffer, "only records can be too many");
        return 0;
    }
    fuzz::Check(hr == E_INVALIDARG, "the result is one of the documented codes");
    fuzz::Check(nullBuffer || (reported > capacity && Cleared(buffer, false)),
                "a buffer that is refused is too small, and left cleared");

    // The reported size is taken by the same call, which writes nothing past it.
    std::vector<BYTE> retry(std::max<ULONG>(reported, 1));
    ULONG retrySize = reported;
    const HRESULT again = ConvertPropVariantToParameter(id, retry.data(), &retrySize, value);
    fuzz::Check(again == S_OK || (again == E_OUTOFMEMORY && id == 2116),
                "the reported size is accepted");
    fuzz::Check(retrySize == reported, "the accepted size is left alone");
    return 0;
}
