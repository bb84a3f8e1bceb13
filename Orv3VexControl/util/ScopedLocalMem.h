// Owner of one block of local memory, such as the text FormatMessageW allocated.
#pragma once

#include "Platform.h"

#include <utility>

template <typename T>
class ScopedLocalMem {
public:
    ScopedLocalMem() = default;
    ScopedLocalMem(const ScopedLocalMem&) = delete;
    ScopedLocalMem& operator=(const ScopedLocalMem&) = delete;
    ~ScopedLocalMem() {
        if (m_ptr != nullptr) {
            LocalFree(m_ptr);
        }
    }

    T* Get() const { return m_ptr; }
    T** Receive() { return &m_ptr; }

private:
    T* m_ptr = nullptr;
};
