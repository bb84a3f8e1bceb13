// Reading a fuzz input as little-endian fields, and memory of exactly the size asked for, so
// that the sanitizer sees any access past it.
#pragma once

#include "Platform.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace fuzz {

class Input {
public:
    Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    uint32_t U32() {
        uint32_t value = 0;
        for (int i = 0; i < 4 && m_offset < m_size; ++i) {
            value |= static_cast<uint32_t>(m_data[m_offset++]) << (8 * i);
        }
        return value;
    }
    uint8_t U8() { return m_offset < m_size ? m_data[m_offset++] : 0; }
    // Everything not read yet.
    std::vector<BYTE> Rest() {
        std::vector<BYTE> rest(m_data + m_offset, m_data + m_size);
        m_offset = m_size;
        return rest;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_offset = 0;
};

// A heap block of exactly `size` bytes (none for 0), freed with the object.
class ExactBlock {
public:
    explicit ExactBlock(size_t size) : m_size(size) {
        if (size > 0) {
            m_data = static_cast<BYTE*>(std::malloc(size));
            if (m_data == nullptr) {
                std::abort();
            }
        }
    }
    ExactBlock(const ExactBlock&) = delete;
    ExactBlock& operator=(const ExactBlock&) = delete;
    ~ExactBlock() { std::free(m_data); }

    BYTE* Data() { return m_data; }
    size_t Size() const { return m_size; }

private:
    size_t m_size;
    BYTE* m_data = nullptr;
};

// Stops the run with a message: libFuzzer keeps the input as a finding.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

inline void Check(bool condition, const char* what) {
    if (!condition) {
        Fail(what);
    }
}

}  // namespace fuzz
