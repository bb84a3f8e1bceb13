// Raw bytes to property value, with any id, declared size and bytes. Input: the id (4 bytes),
// the declared size (4 bytes, at most the bytes that follow), flags (1 byte; bit 0: pass a null
// pointer with the declared size), then the caller's bytes. The caller's bytes lie in a block
// of exactly the size passed, so a read past it is caught.
//
// A converted value must read back through the get direction with the size it reports, and
// converting what comes back must give the same stored value again (except where the get
// direction returns fewer values than a count asks for).
#include "FuzzInput.h"

#include "parameters/Guids.h"
#include "conversion/ParameterConversion.h"
#include "vexplat/tracecontroller.h"

#include <algorithm>

namespace {

bool SameValue(const PROPVARIANT& a, const PROPVARIANT& b) {
    if (a.vt != b.vt) {
        return false;
    }
    if (a.vt == VT_I4) {
        return a.lVal == b.lVal;
    }
    return a.blob.cbSize == b.blob.cbSize &&
           std::memcmp(a.blob.pBlobData, b.blob.pBlobData, a.blob.cbSize) == 0;
}

// True when the stored count is more than the get direction gives back.
bool CountIsLimitedOnTheWayBack(LONG id, const PROPVARIANT& value) {
    ULONG limit = 0;
    if (id == 2107) {
        limit = 160;
    } else if (id == 2137 || id == 2138) {
        limit = 8;
    } else {
        return false;
    }
    ULONG count = 0;
    std::memcpy(&count, value.blob.pBlobData, sizeof count);
    return count > limit;
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
    const uint8_t flags = input.U8();
    const std::vector<BYTE> bytes = input.Rest();

    const bool nullData = (flags & 1) != 0;
    const ULONG callerSize = static_cast<ULONG>(std::min<size_t>(declared, bytes.size()));
    fuzz::ExactBlock caller(callerSize);
    if (callerSize > 0) {
        std::memcpy(caller.Data(), bytes.data(), callerSize);
    }

    const ConvertedParameter converted = ConvertParameterToPropVariant(
        id, nullData ? nullptr : caller.Data(), nullData ? declared : callerSize);
    VexTraceClear();
    fuzz::Check(callerSize == 0 || std::memcmp(caller.Data(), bytes.data(), callerSize) == 0,
                "the caller's bytes are unchanged");

    const PROPVARIANT& value = converted.Value();
    if (!converted.Valid()) {
        fuzz::Check(value.vt == VT_EMPTY, "a refused conversion holds no value");
        fuzz::Check(converted.Result() == E_INVALIDARG || converted.Result() == E_OUTOFMEMORY,
                    "a refused conversion says why");
        return 0;
    }
    fuzz::Check(converted.Result() == S_OK, "a valid conversion succeeded");
    if (value.vt == VT_BLOB) {
        fuzz::Check(
            value.blob.cbSize > 0 && value.blob.cbSize % 4 == 0 && value.blob.pBlobData != nullptr,
            "a structured value is a blob of whole words");
    } else {
        fuzz::Check(value.vt == VT_I4, "a scalar value is VT_I4");
    }

    ULONG required = 0;
    HRESULT hr = ConvertPropVariantToParameter(id, nullptr, &required, value);
    fuzz::Check(hr == E_INVALIDARG, "a stored value is well-formed; a null buffer is refused");
    fuzz::Check(required > 0, "a stored value needs room");

    fuzz::ExactBlock back(required);
    ULONG backSize = required;
    hr = ConvertPropVariantToParameter(id, back.Data(), &backSize, value);
    if (hr == E_OUTOFMEMORY) {
        fuzz::Check(id == 2116, "only records can be too many");
        return 0;
    }
    fuzz::Check(hr == S_OK, "the reported size is accepted");
    fuzz::Check(backSize == required, "a successful get leaves the size alone");

    if (!CountIsLimitedOnTheWayBack(id, value)) {
        const ConvertedParameter again = ConvertParameterToPropVariant(id, back.Data(), backSize);
        fuzz::Check(again.Valid(), "what comes back converts again");
        fuzz::Check(SameValue(value, again.Value()), "what comes back stores the same value");
    }
    return 0;
}
