// Owner of one BSTR, freed with SysFreeString.
#pragma once

#include "Platform.h"

#include <utility>

class ScopedBstr {
public:
    ScopedBstr() = default;
    explicit ScopedBstr(const WCHAR* text) : m_text(SysAllocString(text)) {}
    ScopedBstr(const ScopedBstr&) = delete;
    ScopedBstr& operator=(const ScopedBstr&) = delete;
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
