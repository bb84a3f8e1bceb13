// BSTRs: a 32-bit byte length in front of the text, a NUL after it; and their comparison.
#include <windows.h>

#include "Memory.h"

#include <cstring>
#include <string>

namespace {

// The byte length of a BSTR, read from its block header after checking the block is one.
UINT ByteLength(const char* caller, BSTR text) {
    if (text == nullptr) {
        return 0;
    }
    return vexplat::CheckedHeader(vexplat::Family::Bstr, caller, text)->bstrByteLength;
}

UINT Length(const OLECHAR* text) {
    UINT n = 0;
    while (text[n] != 0) {
        ++n;
    }
    return n;
}

// A simple stand-in for a linguistic, case-sensitive comparison: letters compare without
// regard to case first, and only equal words are then ordered lower case before upper case
// (unless the comparison ignores case, when they are equal).
int FoldedUnit(OLECHAR c) {
    return (c >= u'A' && c <= u'Z') ? c + (u'a' - u'A') : c;
}

int LinguisticCompare(const OLECHAR* a, UINT la, const OLECHAR* b, UINT lb, bool ignoreCase) {
    const UINT n = la < lb ? la : lb;
    for (UINT i = 0; i < n; ++i) {
        const int fa = FoldedUnit(a[i]);
        const int fb = FoldedUnit(b[i]);
        if (fa != fb) {
            return fa < fb ? -1 : 1;
        }
    }
    if (la != lb) {
        return la < lb ? -1 : 1;
    }
    if (ignoreCase) {
        return 0;
    }
    for (UINT i = 0; i < n; ++i) {
        if (a[i] != b[i]) {
            // Same letter, different case: the lower-case one sorts first.
            return a[i] > b[i] ? -1 : 1;
        }
    }
    return 0;
}

std::u16string WithoutNuls(const OLECHAR* text, UINT length) {
    std::u16string kept;
    for (UINT i = 0; i < length; ++i) {
        if (text[i] != 0) {
            kept.push_back(text[i]);
        }
    }
    return kept;
}

}  // namespace

extern "C" BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    const size_t bytes = static_cast<size_t>(length) * sizeof(OLECHAR);
    if (bytes > 0xFFFFFFF0u) {
        return nullptr;
    }
    auto* result =
        static_cast<BSTR>(vexplat::AllocateBlock(vexplat::Family::Bstr, bytes + sizeof(OLECHAR)));
    if (result == nullptr) {
        return nullptr;
    }
    vexplat::CheckedHeader(vexplat::Family::Bstr, "SysAllocStringLen", result)->bstrByteLength =
        static_cast<uint32_t>(bytes);
    if (text != nullptr) {
        std::memcpy(result, text, bytes);
    } else {
        std::memset(result, 0, bytes);
    }
    result[length] = 0;
    return result;
}

extern "C" BSTR SysAllocString(const OLECHAR* text) {
    if (text == nullptr) {
        return nullptr;
    }
    return SysAllocStringLen(text, Length(text));
}

extern "C" UINT SysStringLen(BSTR text) {
    return ByteLength("SysStringLen", text) / sizeof(OLECHAR);
}

extern "C" void SysFreeString(BSTR text) {
    vexplat::FreeBlock(vexplat::Family::Bstr, "SysFreeString", text);
}

extern "C" HRESULT VarBstrCmp(BSTR left, BSTR right, LCID /*locale*/, ULONG flags) {
    // Only case folding is implemented; a comparison asked to ignore anything else would give a
    // wrong order, so it is refused.
    if ((flags & ~static_cast<ULONG>(NORM_IGNORECASE)) != 0) {
        return E_INVALIDARG;
    }
    const bool ignoreCase = (flags & NORM_IGNORECASE) != 0;
    const UINT ll = SysStringLen(left);
    const UINT lr = SysStringLen(right);
    // A null BSTR is an empty string.
    if (ll == 0 || lr == 0) {
        if (ll == lr) {
            return VARCMP_EQ;
        }
        return ll == 0 ? VARCMP_LT : VARCMP_GT;
    }
    // A string that starts with a NUL orders before one that does not; past that, a NUL carries
    // no weight, so "a" equals "a\0" and "ab" equals "a\0b".
    if ((left[0] == 0) != (right[0] == 0)) {
        return left[0] == 0 ? VARCMP_LT : VARCMP_GT;
    }
    const std::u16string l = WithoutNuls(left, ll);
    const std::u16string r = WithoutNuls(right, lr);
    const int order = LinguisticCompare(l.data(), static_cast<UINT>(l.size()), r.data(),
                                        static_cast<UINT>(r.size()), ignoreCase);
    return order < 0 ? VARCMP_LT : (order > 0 ? VARCMP_GT : VARCMP_EQ);
}
