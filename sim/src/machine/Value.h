// A property value as the simulator keeps it, and its copies into and out of PROPVARIANTs.
#pragma once

#include "Platform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexsim {

struct PropValue {
    VARTYPE type = VT_EMPTY;
    uint64_t scalar = 0;          // integer types and VT_BOOL: the value's bits
    WString text;                 // VT_LPWSTR, VT_BSTR
    GUID clsid{};                 // VT_CLSID
    std::vector<uint8_t> bytes;   // VT_BLOB, VT_VECTOR|VT_UI1
    std::vector<WString> texts;   // VT_VECTOR|VT_LPWSTR, VT_VECTOR|VT_BSTR
    std::vector<uint32_t> words;  // VT_VECTOR|VT_I4, VT_VECTOR|VT_UI4
    bool blobAsWords = false;     // a blob written as 32-bit words in a machine file
};

// The types a value may have, by their names in machine files ("VT_I4", "VT_VECTOR|VT_BSTR").
std::optional<VARTYPE> TypeFromName(std::string_view name);
const char* TypeName(VARTYPE type);  // null for a type the simulator does not keep
// Every type name, for messages.
std::string TypeNameList();

// Fills `out` (whose old content is not looked at) with a fresh copy of the value, allocated
// as Windows allocates it: CoTaskMemAlloc for strings, blobs and vectors, SysAllocString for
// BSTRs. On failure `out` is left empty.
HRESULT ToPropVariant(const PropValue& value, PROPVARIANT* out);
// Copies a caller's value; E_INVALIDARG for a type the simulator does not keep or a value that
// claims data it does not point to.
HRESULT FromPropVariant(const PROPVARIANT& in, PropValue* out);

bool operator==(const PropValue& a, const PropValue& b);

}  // namespace vexsim
