// The failures that end a vexctl command. Usage failures are the user's (exit status 2);
// the others are failures of the system, the library or the data (exit status 1), and carry
// the result code when there is one.
#pragma once

#include "Platform.h"

#include <optional>
#include <stdexcept>
#include <string>

namespace vexctl {

enum ExitStatus : int { kExitSuccess = 0, kExitFailure = 1, kExitUsage = 2 };

class Failure : public std::runtime_error {
public:
    // A failure with a message and no result code.
    explicit Failure(const std::string& message, ExitStatus status = kExitFailure)
        : std::runtime_error(message), m_status(status) {}
    // A call that failed with `code`; `what` names the call ("get vex_pregain (1104)").
    Failure(const std::string& what, HRESULT code)
        : std::runtime_error(what), m_status(kExitFailure), m_code(code) {}

    ExitStatus Status() const { return m_status; }
    const std::optional<HRESULT>& Code() const { return m_code; }

private:
    ExitStatus m_status;
    std::optional<HRESULT> m_code;
};

// A mistake in the command line or in what the user asked for.
class UsageFailure : public Failure {
public:
    explicit UsageFailure(const std::string& message) : Failure(message, kExitUsage) {}
};

}  // namespace vexctl
