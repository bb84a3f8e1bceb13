// Pieces of the device-topology and kernel-streaming tests: interface ids, the default
// machine's filters, and a builder that writes request bytes field by field (little-endian,
// GUIDs in their binary layout: Data1 as 4 bytes, Data2 and Data3 as 2 bytes each, then the
// 8 bytes of Data4).
#pragma once

#include "support/SimObjects.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace simtest {

inline constexpr IID kIidKsControl = {
    0x28F54685, 0x06FD, 0x11D2, {0xB2, 0x7A, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};

// The default machine's filters behind the speakers.
inline const char* const kTopologyFilterUtf8 =
    "{2}.\\\\?\\vexaudio#speakers#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\topology";
inline const char* const kWaveFilterUtf8 =
    "{2}.\\\\?\\vexaudio#speakers#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\wave";
// Its module ("1.4.2" in the version table) and the offload pin it answers on.
inline const char* const kSpeakerModule = "{CBDD3DB0-85AE-4466-B18D-504FD8E7082B}";
inline constexpr ULONG kOffloadPin = 1;
inline constexpr ULONG kModuleType = 2;

// Codes a driver answers with.
inline const HRESULT kInvalidParameter = HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER);
inline const HRESULT kNotSupported = HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
inline const HRESULT kInsufficientBuffer = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
inline const HRESULT kMoreData = HRESULT_FROM_WIN32(ERROR_MORE_DATA);

using Bytes = std::vector<uint8_t>;

// Writes request bytes in order.
class Request {
public:
    Request& U8(uint8_t value) {
        m_bytes.push_back(value);
        return *this;
    }
    Request& U16(uint16_t value) { return U8(static_cast<uint8_t>(value)).U8(value >> 8); }
    Request& U32(uint32_t value) { return U16(static_cast<uint16_t>(value)).U16(value >> 16); }
    // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
    Request& Guid(const char* text) {
        const std::string t(text);
        U32(static_cast<uint32_t>(std::stoul(t.substr(1, 8), nullptr, 16)));
        U16(static_cast<uint16_t>(std::stoul(t.substr(10, 4), nullptr, 16)));
        U16(static_cast<uint16_t>(std::stoul(t.substr(15, 4), nullptr, 16)));
        for (size_t at : {20u, 22u, 25u, 27u, 29u, 31u, 33u, 35u}) {
            U8(static_cast<uint8_t>(std::stoul(t.substr(at, 2), nullptr, 16)));
        }
        return *this;
    }
    Request& Zeros(size_t count) {
        m_bytes.insert(m_bytes.end(), count, 0);
        return *this;
    }
    // Zero bytes up to `length` in all.
    Request& PadTo(size_t length) {
        if (m_bytes.size() < length) {
            Zeros(length - m_bytes.size());
        }
        return *this;
    }
    Request& Append(const Bytes& bytes) {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        return *this;
    }
    Bytes& Get() { return m_bytes; }

private:
    Bytes m_bytes;
};

// Property sets and GUIDs of the requests, as text.
inline const char* const kAudioEngineSet = "{3A2F82DC-886F-4BAA-9EB4-082B9025C536}";
inline const char* const kAudioModuleSet = "{C034FDB0-FF75-47C8-AA3C-EE46716B50C6}";
inline const char* const kVendorSet = "{BAE9CE37-AA99-4BC7-9BDF-4CBF3D23E1B9}";
inline const char* const kModuleAddress = "{C18E2F7E-933D-4965-B7D1-1EEF228D2AF3}";
inline const char* const kVendorClass = "{59FC0C0E-147E-4DEA-8E01-911023EBFC15}";

inline Bytes Le32(std::initializer_list<uint32_t> words) {
    Request r;
    for (uint32_t w : words) {
        r.U32(w);
    }
    return r.Get();
}

// A fixture with the filters' KS controls at hand.
class KsTest : public SimTest {
protected:
    ComPtr<IKsControl> Control(const char* deviceIdUtf8) {
        ComPtr<IKsControl> control;
        ComPtr<IMMDevice> device = Device(vextest::Widen(deviceIdUtf8).c_str());
        if (device) {
            EXPECT_HR(S_OK,
                      device->Activate(kIidKsControl, CLSCTX_ALL, nullptr, control.ReceiveVoid()));
        }
        return control;
    }

    // Sends a request; `data` may be empty for no data buffer.
    static HRESULT Send(IKsControl* control, Bytes&& property, Bytes* data, ULONG* returned) {
        return Send(control, property, data, returned);
    }
    static HRESULT Send(IKsControl* control, Bytes& property, Bytes* data, ULONG* returned) {
        *returned = 0xDEADBEEF;
        return control->KsProperty(
            reinterpret_cast<PKSPROPERTY>(property.data()), static_cast<ULONG>(property.size()),
            data != nullptr && !data->empty() ? data->data() : nullptr,
            data != nullptr ? static_cast<ULONG>(data->size()) : 0, returned);
    }
};

}  // namespace simtest
