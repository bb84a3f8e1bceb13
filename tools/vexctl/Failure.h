// The failures that end a vexctl command. Usage failures are the user's (exit status 2);
// the others are failures of the system, the library or the data (exit status 1), and carry
// the result code when there is one.
#pragma once

#include "Platform.h"

#include <nlohmann/json.hpp>

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
    // Members that the --json error document carries besides the message (e.g. the outcome of
    // each route of a write); an empty object when there are none.
    const nlohmann::ordered_json& Details() const { return m_details; }
    Failure& WithDetails(nlohmann::ordered_json details) {
        m_details = std::move(details);
        return *this;
    }

private:
    ExitStatus m_status;
    std::optional<HRESULT> m_code;
    nlohmann::ordered_json m_details = nlohmann::ordered_json::object();
};

// A mistake in the command line or in what the user asked for.
class UsageFailure : public Failure {
public:
    explicit UsageFailure(const std::string& message) : Failure(message, kExitUsage) {}
};

}  // namespace vexctl
