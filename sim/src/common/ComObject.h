// What every simulated COM object shares: its reference count, its interfaces, and the opening
// of each of its methods (the machine lock, the call counted against the machine's faults).
#pragma once

#include "SystemGuids.h"
#include "common/ObjectCounter.h"
#include "machine/Machine.h"
#include "common/Simulator.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>

namespace vexsim {

// The simulator's own interface id: a part object answers it with itself, so that a part handed
// back to the simulator (GetSignalPath) is recognised. {5C1E7A30-0D44-4F4B-9A7E-6B2D0F1C9E51}
inline constexpr IID kIidSimPart = {
    0x5C1E7A30, 0x0D44, 0x4F4B, {0x9A, 0x7E, 0x6B, 0x2D, 0x0F, 0x1C, 0x9E, 0x51}};

// A call's injected result and how it ends.
class Outcome {
public:
    explicit Outcome(std::optional<HRESULT> fault) : m_fault(fault) {}
    // The call fails without doing anything.
    bool Failed() const { return m_fault && FAILED(*m_fault); }
    HRESULT Failure() const { return *m_fault; }
    // The call's own result, or the injected success code when the call succeeded.
    HRESULT Finish(HRESULT hr) const { return SUCCEEDED(hr) && m_fault ? *m_fault : hr; }

    // Ends a call without out-parameter: an injected failure stops it, otherwise work() gives
    // the call's own result.
    template <typename Work>
    HRESULT Run(Work work) const {
        return Failed() ? Failure() : Finish(work());
    }
    // Ends a call that hands out one value: a null out-parameter gives E_POINTER, the
    // out-parameter starts as `empty`, an injected failure stops there, and otherwise
    // produce(out) fills it and gives the call's own result.
    template <typename T, typename Produce>
    HRESULT Hand(T* out, std::type_identity_t<T> empty, Produce produce) const {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = empty;
        return Run([&] { return produce(out); });
    }

private:
    std::optional<HRESULT> m_fault;
};

// A call on the device with the id a caller gave (a null id offers an empty one).
struct CallOnId : Call {
    CallOnId(const char* method, LPCWSTR deviceId)
        : Call(method), id(deviceId != nullptr ? WString(deviceId) : WString()) {
        endpoint = &id;
    }
    CallOnId(const CallOnId&) = delete;
    CallOnId& operator=(const CallOnId&) = delete;

    const WString id;
};

// The machine lock, held from a method's entry until it returns.
struct MachineGuard {
    MachineGuard() : guard(MachineLock()) {}
    std::lock_guard<std::mutex> guard;
};

// The opening of a COM method: takes the machine lock for the rest of the call, counts the call
// in `machine` (null: the current machine) and finds the fault that applies to it.
class Entry : private MachineGuard, public Outcome {
public:
    Entry(Machine* machine, const Call& call)
        : Outcome((machine != nullptr ? *machine : *CurrentMachine()).Enter(call)) {}
};

// An object of the kind `kind` ("IMMDevice", the name its calls begin with) that answers
// IUnknown and `iid` with its first interface. It serves the device `device` of `machine`, or,
// without a machine, whatever machine is current when it is called.
template <typename... Interfaces>
class ComObject : public Interfaces... {
public:
    ComObject(const char* kind, const IID& iid, std::shared_ptr<Machine> machine = nullptr,
              Device* device = nullptr)
        : m_machine(std::move(machine)), m_device(device), m_kind(kind), m_iid(iid) {
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
        if (IsEqualGUID(iid, kIidSimPart) && Find(iid) != nullptr) {
            return Query(iid, object);  // the simulator's own look-up is not a caller's call
        }
        const std::string method = std::string(m_kind) + "::QueryInterface";
        Call call = Describe(method.c_str());
        call.iid = &iid;
        return Enter(call).Run([&] { return Query(iid, object); });
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
    using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;

    virtual ~ComObject() { ObjectCounter::Destroyed(m_kind); }

    // The interface pointer for the id, or null.
    virtual void* Find(REFIID iid) {
        const bool own = IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, m_iid);
        return own ? static_cast<First*>(this) : nullptr;
    }
    // A call of `method` on this object, naming what the fault filters may ask about it.
    virtual Call Describe(const char* method) const {
        Call call{method};
        call.endpoint = m_device != nullptr ? &m_device->id : nullptr;
        return call;
    }
    // The opening of a method (see Entry).
    Entry Enter(const Call& call) const { return Entry(m_machine.get(), call); }
    Entry Enter(const char* method) const { return Enter(Describe(method)); }

    const std::shared_ptr<Machine> m_machine;
    Device* const m_device;

private:
    std::atomic<ULONG> m_references{1};  // the creator's
    const char* m_kind;
    const IID m_iid;
};

}  // namespace vexsim
