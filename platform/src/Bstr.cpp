// BSTRs: a 32-bit byte length in front of the text, a NUL after it; and their comparison.
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

uint32_t* Prefix(BSTR text) {
    return reinterpret_cast<uint32_t*>(text) - 1;
}

UINT Length(const OLECHAR* text) {
    UINT n = 0;
    while (text[n] != 0) {
        ++n;
    }
    return n;
}

// A simple stand-in for a linguistic, case-sensitive comparison: letters compare without
// regard to case first, and only equal words are then ordered lower case before upper case.
int FoldedUnit(OLECHAR c) {
    return (c >= u'A' && c <= u'Z') ? c + (u'a' - u'A') : c;
}

int LinguisticCompare(const OLECHAR* a, UINT la, const OLECHAR* b, UINT lb) {
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
    for (UINT i = 0; i < n; ++i) {
        if (a[i] != b[i]) {
            // Same letter, different case: the lower-case one sorts first.
            return a[i] > b[i] ? -1 : 1;
        }
    }
    return 0;
}

}  // namespace

extern "C" BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    const size_t bytes = static_cast<size_t>(length) * sizeof(OLECHAR);
    if (bytes > 0xFFFFFFF0u) {
        return nullptr;
    }
    auto* block = static_cast<uint8_t*>(std::malloc(sizeof(uint32_t) + bytes + sizeof(OLECHAR)));
    if (block == nullptr) {
        return nullptr;
    }
    const uint32_t byteLength = static_cast<uint32_t>(bytes);
    std::memcpy(block, &byteLength, sizeof(byteLength));
    BSTR result = reinterpret_cast<BSTR>(block + sizeof(uint32_t));
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

extern "C" UINT SysStringByteLen(BSTR text) {
    return text == nullptr ? 0 : *Prefix(text);
}

extern "C" UINT SysStringLen(BSTR text) {
    return text == nullptr ? 0 : *Prefix(text) / sizeof(OLECHAR);
}

extern "C" void SysFreeString(BSTR text) {
    if (text != nullptr) {
        std::free(Prefix(text));
    }
}

extern "C" HRESULT VarBstrCmp(BSTR left, BSTR right, LCID /*locale*/, ULONG /*flags*/) {
    const UINT ll = SysStringLen(left);
    const UINT lr = SysStringLen(right);
    // A null BSTR is an empty string.
    if (ll == 0 || lr == 0) {
        if (ll == lr) {
            return VARCMP_EQ;
        }
        return ll == 0 ? VARCMP_LT : VARCMP_GT;
    }
    const int order = LinguisticCompare(left, ll, right, lr);
    return order < 0 ? VARCMP_LT : (order > 0 ? VARCMP_GT : VARCMP_EQ);
}
