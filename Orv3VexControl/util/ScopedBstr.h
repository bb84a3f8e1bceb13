// Owner of one BSTR, freed with SysFreeString.
#pragma once

#include "Platform.h"

#include <new>
#include <utility>

class ScopedBstr {
public:
    ScopedBstr() = default;
    explicit ScopedBstr(const WCHAR* text) : m_text(SysAllocString(text)) {}
    ScopedBstr(const ScopedBstr&) = delete;
    ScopedBstr& operator=(const ScopedBstr&) = delete;
    ScopedBstr(ScopedBstr&& other) noexcept : m_text(other.Release()) {}
    ScopedBstr& operator=(ScopedBstr&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    ~ScopedBstr() { Reset(); }

    BSTR Get() const { return m_text; }
    UINT Length() const { return SysStringLen(m_text); }
    BSTR* Receive() {
        Reset();
        return &m_text;
    }
    void Reset(BSTR text = nullptr) {
        if (BSTR old = std::exchange(m_text, text)) {
            SysFreeString(old);
        }
    }
    BSTR Release() { return std::exchange(m_text, nullptr); }

private:
    BSTR m_text = nullptr;
};

// A length-preserving copy of a text as a BSTR (null stays null); throws std::bad_alloc when
// the copy cannot be allocated.
inline ScopedBstr DuplicateBstr(const WCHAR* text, UINT length) {
    ScopedBstr copy;
    if (text != nullptr) {
        copy.Reset(SysAllocStringLen(text, length));
        if (copy.Get() == nullptr) {
            throw std::bad_alloc();
        }
    }
    return copy;
}

inline ScopedBstr DuplicateBstr(BSTR text) {
    return DuplicateBstr(text, text != nullptr ? SysStringLen(text) : 0);
}

// A BSTR holding a NUL-terminated text; throws std::bad_alloc when it cannot be allocated.
inline ScopedBstr BstrFromText(const WCHAR* text) {
    UINT length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return DuplicateBstr(text, length);
}
