// One control handle of the library, opened through its exports and closed with the object.
#pragma once

#include "Failure.h"
#include "ParameterTable.h"

#include "Orv3VexControl.h"

#include <optional>
#include <string>
#include <vector>

namespace vexctl {

class ControlSession {
public:
    // Opens a handle on the endpoint with the given id, or on the default render endpoint.
    // Throws Failure with the library's code.
    explicit ControlSession(const std::optional<std::string>& endpointId);
    ControlSession(const ControlSession&) = delete;
    ControlSession& operator=(const ControlSession&) = delete;
    ~ControlSession();

    // Reads a parameter: asks with a small buffer and grows it to the size the library
    // reports. The bytes that the library gave (for a value whose size it does not report
    // back, the whole buffer it filled). Throws Failure with the library's code.
    std::vector<BYTE> Get(const ParameterInfo& parameter, ULONG routes) const;
    // The same, giving the library's code instead of throwing.
    HRESULT TryGet(const ParameterInfo& parameter, ULONG routes, std::vector<BYTE>* bytes) const;
    // Writes a parameter from its raw bytes. Throws Failure with the library's code.
    void Set(const ParameterInfo& parameter, const std::vector<BYTE>& bytes, ULONG routes) const;
    // The same, giving the library's code instead of throwing.
    HRESULT TrySet(const ParameterInfo& parameter, const std::vector<BYTE>& bytes,
                   ULONG routes) const;
    // The failure of a get or set that the library answered with `hr`, with what the code
    // means for this parameter on this endpoint when the code alone says little.
    Failure AccessFailure(const char* verb, const ParameterInfo& parameter, ULONG routes,
                          HRESULT hr) const;

    // Closes the handle now; throws Failure when the library refuses.
    void Close();

private:
    ControlHandle m_handle = nullptr;
};

}  // namespace vexctl
