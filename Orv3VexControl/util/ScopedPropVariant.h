// Owner of one PROPVARIANT, cleared with PropVariantClear.
#pragma once

#include "Platform.h"

class ScopedPropVariant {
public:
    ScopedPropVariant() { PropVariantInit(&m_value); }
    ScopedPropVariant(const ScopedPropVariant&) = delete;
    ScopedPropVariant& operator=(const ScopedPropVariant&) = delete;
    ~ScopedPropVariant() { Reset(); }

    const PROPVARIANT& Get() const { return m_value; }
    const PROPVARIANT* Ptr() const { return &m_value; }
    VARTYPE Type() const { return m_value.vt; }

    // Clears the current value and hands out the slot for an out-parameter.
    PROPVARIANT* Receive() {
        Reset();
        return &m_value;
    }
    // An empty value holds nothing to give back, so the platform is not called for it (the
    // slot of every out-parameter and every converted value starts empty).
    void Reset() {
        if (m_value.vt != VT_EMPTY) {
            PropVariantClear(&m_value);
            PropVariantInit(&m_value);
        }
    }
    // Hands the value to the caller, who clears it.
    PROPVARIANT Release() {
        PROPVARIANT out = m_value;
        PropVariantInit(&m_value);
        return out;
    }

private:
    PROPVARIANT m_value;
};
