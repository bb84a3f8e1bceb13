// Reading a fuzz input as little-endian fields, checks that keep a failing input as a finding,
// and a kernel-streaming control whose answers the input scripts. Buffers handed to the code
// are vectors of exactly their size, so the sanitizer sees any access past them.
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

    uint8_t U8() { return m_offset < m_size ? m_data[m_offset++] : 0; }
    uint32_t U16() {
        const uint32_t low = U8();
        return low | (uint32_t{U8()} << 8);
    }
    uint32_t U32() {
        const uint32_t low = U16();
        return low | (U16() << 16);
    }
    // The next `count` bytes (zeros past the end), or with no count everything not read yet.
    std::vector<BYTE> Bytes(size_t count) {
        std::vector<BYTE> bytes(count);
        for (BYTE& byte : bytes) {
            byte = U8();
        }
        return bytes;
    }
    std::vector<BYTE> Bytes() { return Bytes(m_size - m_offset); }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_offset = 0;
};

inline void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

// Answers KsProperty through Answer(); counts the references it hands out.
class ScriptedKs : public IKsControl {
public:
    explicit ScriptedKs(Input* input) : m_input(input) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_references; }
    HRESULT STDMETHODCALLTYPE KsMethod(PKSMETHOD, ULONG, void*, ULONG, ULONG*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE KsEvent(PKSEVENT, ULONG, void*, ULONG, ULONG*) override {
        return E_NOTIMPL;
    }
    ULONG References() const { return m_references; }

protected:
    Input* m_input;

private:
    ULONG m_references = 1;
};

}  // namespace fuzz
