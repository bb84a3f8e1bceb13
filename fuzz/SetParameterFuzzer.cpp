// Raw bytes to property value, with any id, declared size and bytes. Input: the id (4 bytes),
// the declared size (4 bytes, at most the bytes that follow), flags (1 byte; bit 0: a null
// pointer with the declared size), then the caller's bytes.
//
// A converted value reads back through the get direction with the size it reports, and what
// comes back converts to the same stored value (unless the get gives back fewer values than a
// count asks for).
#include "FuzzInput.h"

#include "parameters/Guids.h"
#include "conversion/ParameterConversion.h"
#include "vexplat/tracecontroller.h"

#include <algorithm>

namespace {

bool SameValue(const PROPVARIANT& a, const PROPVARIANT& b) {
    if (a.vt != b.vt || a.vt == VT_I4) {
        return a.vt == b.vt && a.lVal == b.lVal;
    }
    return a.blob.cbSize == b.blob.cbSize &&
           std::memcmp(a.blob.pBlobData, b.blob.pBlobData, a.blob.cbSize) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Records are formatted as well, so the logging path runs with the conversion.
    VexTraceEnable(Guids::kTraceProvider, 5, 0x400);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input input(data, size);
    const LONG id = static_cast<LONG>(input.U32());
    const uint32_t declared = input.U32();
    const bool nullData = (input.U8() & 1) != 0;
    const std::vector<BYTE> bytes = input.Bytes();
    std::vector<BYTE> caller(bytes.begin(),
                             bytes.begin() + std::min<size_t>(declared, bytes.size()));
    const auto callerSize = static_cast<ULONG>(caller.size());

    const ConvertedParameter converted = ConvertParameterToPropVariant(
        id, nullData ? nullptr : caller.data(), nullData ? declared : callerSize);
    VexTraceClear();
    fuzz::Check(std::equal(caller.begin(), caller.end(), bytes.begin()),
                "the caller's bytes are unchanged");

    const PROPVARIANT& value = converted.Value();
    if (!converted.Valid()) {
        fuzz::Check(value.vt == VT_EMPTY, "a refused conversion holds no value");
        fuzz::Check(converted.Result() == E_INVALIDARG || converted.Result() == E_OUTOFMEMORY,
                    "a refused conversion says why");
        return 0;
    }
    fuzz::Check(converted.Result() == S_OK, "a valid conversion succeeded");
    fuzz::Check(value.vt == VT_I4 || (value.vt == VT_BLOB && value.blob.cbSize > 0 &&
                                      value.blob.cbSize % 4 == 0 && value.blob.pBlobData),
                "a value is VT_I4 or a blob of whole words");

    ULONG required = 0;
    HRESULT hr = ConvertPropVariantToParameter(id, nullptr, &required, value);
    fuzz::Check(hr == E_INVALIDARG && required > 0, "a null buffer is told the room it needs");

    std::vector<BYTE> back(required);
    ULONG backSize = required;
    hr = ConvertPropVariantToParameter(id, back.data(), &backSize, value);
    if (hr == E_OUTOFMEMORY) {
        fuzz::Check(id == 2116, "only records can be too many");
        return 0;
    }
    fuzz::Check(hr == S_OK && backSize == required, "the reported size is accepted, unchanged");
    // The get direction gives back at most 160 records of 2107 and 8 channels of 2137 and 2138.
    const ULONG limit = id == 2107 ? 160 : (id == 2137 || id == 2138) ? 8 : 0;
    ULONG count = 0;
    if (limit > 0) {
        std::memcpy(&count, value.blob.pBlobData, sizeof count);
    }
    if (count <= limit) {
        const ConvertedParameter again = ConvertParameterToPropVariant(id, back.data(), backSize);
        fuzz::Check(again.Valid() && SameValue(value, again.Value()),
                    "what comes back stores the same value again");
    }
    return 0;
}
