// What a simulated filter's driver answers to a kernel-streaming property request: the
// audio-engine descriptor of a node, the audio-module descriptor list and command, the vendor
// module set in the pin and audio-module forms, and the set of AMD-type modules. Every length,
// identifier, flag and header field is checked as a driver checks it.
#pragma once

#include "machine/Machine.h"

#include <optional>
#include <string>

namespace vexsim {

// What a request is, as far as its bytes tell; offered to the fault filters and logged.
struct KsRequestInfo {
    const char* kind = "unknown";
    const char* form = nullptr;       // "node", "filter", "pin", "audioModule", "vendorSet"
    const char* direction = nullptr;  // "get" or "set"
    std::optional<ULONG> pin;
    std::optional<ULONG> node;
    std::optional<GUID> module;
    std::optional<ULONG> param;
};

KsRequestInfo ClassifyKsRequest(const uint8_t* property, size_t propertyLength);

// Answers one request for the filter: writes the answer into `data` and its size into
// `*returned` (the size needed when the answer is ERROR_MORE_DATA or a successful size query).
HRESULT AnswerKsRequest(Device& filter, const uint8_t* property, size_t propertyLength,
                        uint8_t* data, ULONG dataLength, ULONG* returned);

// The read flag a module expects with a parameter read: 0 for the few ids that are read
// without it, 1 for every other.
uint8_t ExpectedReadFlag(ULONG param);

// The filter's audio-module descriptor list: the one the file gives, or one entry per class and
// instance that its vendor modules answer to in the audio-module form; nullopt when the filter
// does not offer the audio-module set.
std::optional<std::vector<AudioModuleDescriptor>> AudioModuleList(const FilterDriver& driver);

}  // namespace vexsim
