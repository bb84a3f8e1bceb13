// The reference counting and interface lookup that every simulated COM object shares.
#pragma once

#include "common/ObjectCounter.h"
#include "Platform.h"

#include <atomic>
#include <optional>
#include <type_traits>

namespace vexsim {

template <typename... Interfaces>
class ComObject : public Interfaces... {
public:
    explicit ComObject(const char* kind) : m_kind(kind) {
        ObjectCounter::Created(kind);
        ObjectCounter::Referenced();
    }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        const std::optional<HRESULT> fault = EnterQueryInterface(iid);
        if (fault && FAILED(*fault)) {
            return *fault;
        }
        const HRESULT hr = Query(iid, object);
        return SUCCEEDED(hr) && fault ? *fault : hr;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        ObjectCounter::Referenced();
        return ++m_references;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        ObjectCounter::Unreferenced();
        const ULONG left = --m_references;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // The references held on the object now (the simulator's own included).
    ULONG ReferenceCount() const { return m_references.load(); }

    // Hands out an interface without the fault check, for the simulator's own use.
    HRESULT Query(REFIID iid, void** object) {
        void* found = Find(iid);
        if (found == nullptr) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        *object = found;
        return S_OK;
    }

protected:
    virtual ~ComObject() { ObjectCounter::Destroyed(m_kind); }

    // The interface pointer for the id, or null.
    virtual void* Find(REFIID iid) = 0;
    // Counts the QueryInterface call and gives an injected result, if any.
    virtual std::optional<HRESULT> EnterQueryInterface(REFIID iid) = 0;

private:
    std::atomic<ULONG> m_references{1};  // the creator's
    const char* m_kind;
};

// A call's injected result and how it ends.
class Outcome {
public:
    explicit Outcome(std::optional<HRESULT> fault) : m_fault(fault) {}
    // The call fails without doing anything.
    bool Failed() const { return m_fault && FAILED(*m_fault); }
    HRESULT Failure() const { return *m_fault; }
    // The call's own result, or the injected success code when the call succeeded.
    HRESULT Finish(HRESULT hr) const { return SUCCEEDED(hr) && m_fault ? *m_fault : hr; }

    // Ends a call that hands out one value: a null out-parameter gives E_POINTER, the
    // out-parameter starts as `empty`, an injected failure stops there, and otherwise
    // produce(out) fills it and gives the call's own result.
    template <typename T, typename Produce>
    HRESULT Hand(T* out, std::type_identity_t<T> empty, Produce produce) const {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = empty;
        if (Failed()) {
            return Failure();
        }
        const HRESULT hr = produce(out);
        return SUCCEEDED(hr) ? Finish(hr) : hr;
    }

private:
    std::optional<HRESULT> m_fault;
};

}  // namespace vexsim
