// Owner of an open registry key.
#pragma once

#include "Platform.h"

#include <utility>

class ScopedRegKey {
public:
    ScopedRegKey() = default;
    ScopedRegKey(const ScopedRegKey&) = delete;
    ScopedRegKey& operator=(const ScopedRegKey&) = delete;
    ~ScopedRegKey() { Reset(); }

    HKEY Get() const { return m_key; }
    HKEY* Receive() {
        Reset();
        return &m_key;
    }
    void Reset() {
        if (HKEY old = std::exchange(m_key, nullptr)) {
            RegCloseKey(old);
        }
    }

private:
    HKEY m_key = nullptr;
};
