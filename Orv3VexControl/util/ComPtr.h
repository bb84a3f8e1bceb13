// Owner of one COM interface reference.
#pragma once

#include "Platform.h"

#include <utility>

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    // Takes a new reference to the object.
    explicit ComPtr(T* object) : m_ptr(object) {
        if (m_ptr != nullptr) {
            m_ptr->AddRef();
        }
    }
    ComPtr(const ComPtr& other) : ComPtr(other.m_ptr) {}
    ComPtr(ComPtr&& other) noexcept : m_ptr(std::exchange(other.m_ptr, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(m_ptr, other.m_ptr);
        return *this;
    }
    ~ComPtr() { Reset(); }

    T* Get() const { return m_ptr; }
    T* operator->() const { return m_ptr; }
    explicit operator bool() const { return m_ptr != nullptr; }

    // Drops the current reference and hands out the slot for an out-parameter.
    T** Receive() {
        Reset();
        return &m_ptr;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

    void Reset() {
        if (T* old = std::exchange(m_ptr, nullptr)) {
            old->Release();
        }
    }
    // Takes over a reference that the caller owns.
    void Attach(T* object) {
        Reset();
        m_ptr = object;
    }
    T* Detach() { return std::exchange(m_ptr, nullptr); }

    template <typename U>
    HRESULT QueryInterface(REFIID iid, ComPtr<U>* other) const {
        if (m_ptr == nullptr) {
            return E_POINTER;
        }
        return m_ptr->QueryInterface(iid, other->ReceiveVoid());
    }

private:
    T* m_ptr = nullptr;
};

// The result of a call that hands back `out`: E_POINTER for a success that handed back
// nothing, so that no caller goes on with a null reference.
template <typename T>
HRESULT Received(HRESULT hr, const ComPtr<T>& out) {
    return SUCCEEDED(hr) && !out ? E_POINTER : hr;
}
