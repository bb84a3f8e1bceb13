// Owner of one block from the COM task allocator, such as a string a platform call returned.
#pragma once

#include "Platform.h"

#include <utility>

template <typename T>
class ScopedCoMem {
public:
    ScopedCoMem() = default;
    ScopedCoMem(const ScopedCoMem&) = delete;
    ScopedCoMem& operator=(const ScopedCoMem&) = delete;
    ~ScopedCoMem() { Reset(); }

    T* Get() const { return m_ptr; }
    T** Receive() {
        Reset();
        return &m_ptr;
    }
    void Reset(T* ptr = nullptr) {
        if (T* old = std::exchange(m_ptr, ptr)) {
            CoTaskMemFree(old);
        }
    }
    T* Release() { return std::exchange(m_ptr, nullptr); }

private:
    T* m_ptr = nullptr;
};
