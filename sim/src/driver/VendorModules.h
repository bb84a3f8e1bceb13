// The vendor DSP modules inside a filter's driver: the vendor module set in the pin and
// audio-module forms, and the set of AMD-type modules, with the parameters they keep.
#pragma once

#include "driver/KsBytes.h"

#include <vector>

namespace vexsim::ks {

// Offsets inside the pin form (a KSP_PIN, then the module header and what follows it).
inline constexpr size_t kPinIdOffset = 24;
inline constexpr size_t kPinReservedOffset = 28;
inline constexpr size_t kHeaderOffset = 32;
inline constexpr size_t kHeaderTypeOffset = kHeaderOffset + 16;
inline constexpr size_t kHeaderGuidOffset = kHeaderOffset + 20;
inline constexpr size_t kAfterHeader = kHeaderOffset + 36;                  // 68
inline constexpr size_t kAudioModuleHead = sizeof(KSAUDIOMODULE_PROPERTY);  // 48

// A request of the vendor module set.
struct VendorContext {
    Device* filter;
    FilterDriver* driver;
    const uint8_t* p;  // the whole property
    size_t n;
    size_t base;  // where the KSP_PIN starts: 0 in the pin form, 48 in the audio-module form
    bool audioModuleForm;
    const AudioModuleDescriptor* descriptor;  // the addressed audio module (audio-module form)
    uint8_t* data;
    ULONG dataLength;
    ULONG* returned;
};

HRESULT AnswerVendor(const VendorContext& c);
// A request of the AMD-type set (a VendorKs::AmdRequest).
HRESULT AnswerAmd(FilterDriver& driver, const uint8_t* p, size_t n, uint8_t* data, ULONG dataLength,
                  ULONG* returned);

}  // namespace vexsim::ks
