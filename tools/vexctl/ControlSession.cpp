#include "ControlSession.h"

#include "DspCommands.h"
#include "Failure.h"
#include "Text.h"
#include "ValueLayout.h"

namespace vexctl {

namespace {

// The first buffer offered to GetVexParam: room for a scalar value.
constexpr ULONG kFirstCapacity = 4;
// A value that claims to need more than this is not believed.
constexpr ULONG kLargestValue = 16u << 20;
// Each retry follows a larger size report; a value that keeps growing is given up on.
constexpr int kAttempts = 4;

// Writes a value on the routes. A structured value that only the DSP route knows would reach
// the module as its first word alone through SetVexParam, so it goes to SetVexVariantParam as
// a byte block; every other value goes to SetVexParam.
HRESULT SetOnRoutes(ControlHandle handle, const ParameterInfo& parameter,
                    const std::vector<BYTE>& bytes, ULONG routes) {
    if (TravelsAsBlock(parameter)) {
        // The value borrows the bytes for the call and stays ours: nothing to clear.
        PROPVARIANT value;
        PropVariantInit(&value);
        value.vt = VT_BLOB;
        value.blob.cbSize = static_cast<ULONG>(bytes.size());
        value.blob.pBlobData = const_cast<BYTE*>(bytes.data());
        return SetVexVariantParam(handle, parameter.id, &value, routes);
    }
    return SetVexParam(handle, parameter.id, bytes.empty() ? nullptr : bytes.data(),
                       static_cast<ULONG>(bytes.size()), routes);
}

}  // namespace

ControlSession::ControlSession(const std::optional<std::string>& endpointId) {
    const WString id = endpointId ? ToUtf16(*endpointId) : WString();
    const HRESULT hr = OpenVexControl(&m_handle, endpointId ? id.c_str() : nullptr);
    if (FAILED(hr)) {
        m_handle = nullptr;
        throw Failure("open " + (endpointId ? "endpoint " + *endpointId
                                            : std::string("the default render endpoint")),
                      hr);
    }
    // S_FALSE: the store opened for reading only; a write then fails with the store's code.
}

ControlSession::~ControlSession() {
    if (m_handle != nullptr) {
        CloseVexControl(m_handle);
    }
}

void ControlSession::Close() {
    if (m_handle == nullptr) {
        return;
    }
    const HRESULT hr = CloseVexControl(m_handle);
    if (FAILED(hr)) {
        throw Failure("close the control handle", hr);
    }
    m_handle = nullptr;
}

HRESULT ControlSession::TryGet(const ParameterInfo& parameter, ULONG routes,
                               std::vector<BYTE>* bytes) const {
    std::vector<BYTE> buffer(kFirstCapacity, 0);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        ULONG size = static_cast<ULONG>(buffer.size());
        const HRESULT hr = GetVexParam(m_handle, parameter.id, buffer.data(), &size, routes);
        if (hr == E_INVALIDARG && size > buffer.size() && size <= kLargestValue) {
            buffer.assign(size, 0);
            continue;
        }
        if (FAILED(hr)) {
            return hr;
        }
        if (size < buffer.size()) {
            buffer.resize(size);
        }
        *bytes = std::move(buffer);
        return hr;
    }
    return E_INVALIDARG;
}

std::vector<BYTE> ControlSession::Get(const ParameterInfo& parameter, ULONG routes) const {
    std::vector<BYTE> bytes;
    const HRESULT hr = TryGet(parameter, routes, &bytes);
    if (FAILED(hr)) {
        throw AccessFailure("get", parameter, routes, hr);
    }
    return bytes;
}

Failure ControlSession::AccessFailure(const char* verb, const ParameterInfo& parameter,
                                      ULONG routes, HRESULT hr) const {
    std::string what = verb + (" " + DisplayName(parameter));
    if (const std::optional<std::string> meaning =
            RefusalReason(*this, parameter, routes, std::string(verb) == "get", hr)) {
        what += ": " + *meaning;
    }
    return Failure(what, hr);
}

HRESULT ControlSession::TrySet(const ParameterInfo& parameter, const std::vector<BYTE>& bytes,
                               ULONG routes) const {
    return SetOnRoutes(m_handle, parameter, bytes, routes);
}

void ControlSession::Set(const ParameterInfo& parameter, const std::vector<BYTE>& bytes,
                         ULONG routes) const {
    const HRESULT hr = TrySet(parameter, bytes, routes);
    if (FAILED(hr)) {
        throw AccessFailure("set", parameter, routes, hr);
    }
}

}  // namespace vexctl
