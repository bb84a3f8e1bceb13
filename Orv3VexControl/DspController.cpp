#include "DspController.h"

#include "ApoController.h"
#include "DspParameterCatalogue.h"
#include "TembraDspDrova.h"
#include "util/Log.h"
#include "util/ScopedBstr.h"
#include "util/TextKey.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string_view>
#include <vector>

namespace {

using Util::kLevelError;
using Util::kLevelInformation;
using Util::kLevelWarning;

struct DspSession {
    LONG mainModule = DspController::kNoModule;
    LONG lowLatencyModule = DspController::kNoModule;
};

// The version label of the module that serves the main processing.
constexpr const WCHAR* kMainModuleLabel = TEXT("2.10.0-lite");

CTembraDspDrova TembraDspDriver;
std::map<WString, DspSession, Util::TextKeyLess> DspSessionTable;

bool InRange(LONG id, LONG first, LONG last) {
    return id >= first && id <= last;
}

bool SameBstr(BSTR left, BSTR right) {
    return VarBstrCmp(left, right, LOCALE_USER_DEFAULT, 0) == static_cast<HRESULT>(VARCMP_EQ);
}

bool IsMain(LONG id) {
    return InRange(id, 1001, 1998);
}

bool IsBypass(LONG id) {
    return id == 1002 || id == 2002;
}

// Channel gains and mutes: one module parameter per channel, from 54 and from 62 on.
bool IsChannels(LONG id) {
    return id == 2137 || id == 2138;
}

ULONG FirstChannelParam(LONG id) {
    return id == 2137 ? 54 : 62;
}

// A module has at most eight channel parameters of each kind; the public block is the count
// word and eight values.
constexpr ULONG kMaxChannels = 8;
constexpr ULONG kChannelBlockSize = 4 * (kMaxChannels + 1);

// Word k of a block (bytes 4k..4k+3, little-endian).
LONG Word(const BYTE* data, size_t k) {
    LONG word;
    std::memcpy(&word, data + 4 * k, sizeof word);
    return word;
}

void PutWord(BYTE* data, size_t k, ULONG word) {
    std::memcpy(data + 4 * k, &word, sizeof word);
}

// Whether a module's version label is exactly `text`.
bool Labelled(BSTR label, const WCHAR* text) {
    const UINT length = SysStringLen(label);
    UINT i = 0;
    for (; i < length && text[i] != 0; ++i) {
        if (label[i] != text[i]) {
            return false;
        }
    }
    return i == length && text[i] == 0;
}

// The words of a block, trailing bytes that do not fill a word dropped.
std::vector<LONG> Words(const BYTE* data, size_t bytes) {
    std::vector<LONG> words(bytes / 4);
    for (size_t k = 0; k < words.size(); ++k) {
        words[k] = Word(data, k);
    }
    return words;
}

std::vector<BYTE> Bytes(const std::vector<LONG>& words) {
    std::vector<BYTE> bytes(4 * words.size());
    if (!words.empty()) {
        std::memcpy(bytes.data(), words.data(), bytes.size());
    }
    return bytes;
}

// The value in the module's layout. The counts the public layout carries are checked against
// the block before anything is removed.
HRESULT BuildPayload(LONG publicId, const PROPVARIANT& value, BSTR label,
                     std::vector<BYTE>* payload) {
    if (value.vt == VT_I4) {
        payload->resize(4);
        PutWord(payload->data(), 0, static_cast<ULONG>(value.lVal));
        return S_OK;
    }
    const BYTE* data = value.blob.pBlobData;
    const size_t size = value.blob.cbSize;
    if (size > 0 && data == nullptr) {
        return E_INVALIDARG;
    }
    switch (publicId) {
        case 2108: {  // n, n values, m, m values: both counts go
            std::vector<LONG> words = Words(data, size);
            if (words.empty() || words[0] < 0 ||
                static_cast<size_t>(words[0]) + 1 >= words.size()) {
                return E_INVALIDARG;
            }
            words.erase(words.begin() + 1 + words[0]);
            words.erase(words.begin());
            *payload = Bytes(words);
            return S_OK;
        }
        case 2116: {  // n, then n records of 7 words: each record's first word goes
            const std::vector<LONG> words = Words(data, size);
            if (words.empty() || words[0] < 0 ||
                static_cast<size_t>(words[0]) > (words.size() - 1) / 7) {
                return E_INVALIDARG;
            }
            std::vector<LONG> kept;
            kept.reserve(words.size());
            const size_t records = static_cast<size_t>(words[0]);
            for (size_t k = 0; k < words.size(); ++k) {
                if (k == 0 || k > 7 * records || (k - 1) % 7 != 0) {
                    kept.push_back(words[k]);
                }
            }
            *payload = Bytes(kept);
            return S_OK;
        }
        case 2107:
            if (!Labelled(label, TEXT("1.0.0"))) {
                break;
            }
            [[fallthrough]];
        case 2109:
        case 2122:
        case 2135:  // the leading count word goes
            if (size < 4) {
                return E_INVALIDARG;
            }
            payload->assign(data + 4, data + size);
            return S_OK;
        default:
            break;
    }
    payload->assign(data, data + size);
    return S_OK;
}

WString PayloadText(LONG publicId, const PROPVARIANT& value, std::vector<BYTE>& payload) {
    if (value.vt == VT_I4) {
        return Util::Format(TEXT("%d"), value.lVal);
    }
    PROPVARIANT view;
    PropVariantInit(&view);
    view.vt = VT_BLOB;
    view.blob.cbSize = static_cast<ULONG>(payload.size());
    view.blob.pBlobData = payload.data();
    return FormatParameterValue(publicId, view);
}

// A text value under the size protocol: its characters and the terminating zero.
HRESULT CopyText(BSTR text, BYTE* buffer, ULONG* size) {
    if (buffer == nullptr) {
        return E_INVALIDARG;
    }
    const UINT stored = SysStringLen(text);
    UINT length = 0;
    while (length < stored && text[length] != 0) {
        ++length;
    }
    const ULONG capacity = *size;
    *size = (length + 1) * sizeof(WCHAR);
    if (capacity < *size) {
        return E_INVALIDARG;
    }
    if (length > 0) {
        std::memcpy(buffer, text, length * sizeof(WCHAR));
    }
    std::memset(buffer + length * sizeof(WCHAR), 0, sizeof(WCHAR));
    return S_OK;
}

}  // namespace

CTembraDspDrova& DspController::Driver() {
    return TembraDspDriver;
}

HRESULT DspController::Open(const WCHAR* endpointId) {
    VEX_LOG_SCOPE("DspController::Open");
    HRESULT hr = TembraDspDriver.RefreshModules();
    if (FAILED(hr)) {
        VEX_LOG_HR(kLevelWarning, "DspController::Open", "RefreshModules of DSP failed: [0x%.8x]%s",
                   hr);
        return hr;
    }
    if (DspSessionTable.count(std::basic_string_view<WCHAR>(endpointId)) != 0) {
        VEX_LOG(kLevelInformation, "DspController::Open",
                "DSP module for device[%s] is already opened.", endpointId);
        return S_OK;
    }
    ULONG count = 0;
    TembraDspDriver.GetModuleCount(&count);
    const ScopedBstr wanted(BstrFromText(endpointId));
    const ScopedBstr mainLabel(BstrFromText(kMainModuleLabel));
    DspSession session;
    for (ULONG i = 0; i < count; ++i) {
        ScopedBstr deviceId;
        ScopedBstr friendlyName;
        ScopedBstr versionLabel;
        GUID endpointGuid{};
        ULONG formFactor = 0;
        ULONG channelCount = 0;
        ULONG moduleType = 0;
        if (FAILED(TembraDspDriver.GetModuleInfo(i, deviceId.Receive(), &endpointGuid, &formFactor,
                                                 friendlyName.Receive(), &channelCount, &moduleType,
                                                 versionLabel.Receive()))) {
            continue;
        }
        if (!SameBstr(deviceId.Get(), wanted.Get())) {
            continue;
        }
        if (SameBstr(versionLabel.Get(), mainLabel.Get())) {
            session.mainModule = static_cast<LONG>(i);
        } else {
            session.lowLatencyModule = static_cast<LONG>(i);
        }
    }
    if (session.mainModule == kNoModule && session.lowLatencyModule == kNoModule) {
        VEX_LOG(kLevelWarning, "DspController::Open",
                "Could not find the dsp module for the device [%s]", endpointId);
        return S_OK;
    }
    DspSessionTable.emplace(endpointId, session);
    VEX_LOG(kLevelInformation, "DspController::Open", "DSP module index: %s[%d, %d]", endpointId,
            session.mainModule, session.lowLatencyModule);
    return S_OK;
}

HRESULT DspController::Close(const WCHAR* endpointId) {
    // Found by the caller's text, so that closing allocates nothing.
    const auto it = DspSessionTable.find(std::basic_string_view<WCHAR>(endpointId));
    if (it == DspSessionTable.end()) {
        VEX_LOG(kLevelWarning, "DspController::Close", "DSP module for device[%s] is not opened.",
                endpointId);
        return S_OK;
    }
    DspSessionTable.erase(it);
    return S_OK;
}

LONG DspController::GetModuleIndex(const WCHAR* endpointId, LONG publicId) {
    const auto it = DspSessionTable.find(std::basic_string_view<WCHAR>(endpointId));
    if (it == DspSessionTable.end()) {
        return kNoModule;
    }
    if (InRange(publicId, 1001, 1998)) {
        return it->second.mainModule;
    }
    if (InRange(publicId, 2001, 2998)) {
        return it->second.lowLatencyModule;
    }
    return kNoModule;
}

HRESULT DspController::SelectModule(const WCHAR* endpointId, LONG publicId) {
    if (DspSessionTable.count(std::basic_string_view<WCHAR>(endpointId)) == 0) {
        VEX_LOG(kLevelWarning, "DspController::SelectModule",
                "DSP module for device[%s] is not opened.", endpointId);
        return E_FAIL;
    }
    const LONG index = GetModuleIndex(endpointId, publicId);
    if (index == kNoModule) {
        return E_INVALIDARG;
    }
    return TembraDspDriver.SelectModule(index);
}

DspModuleAvailability DspController::GetModuleAvailability(const WCHAR* endpointId) {
    const auto it = DspSessionTable.find(std::basic_string_view<WCHAR>(endpointId));
    if (it == DspSessionTable.end()) {
        return {};
    }
    return {it->second.mainModule != kNoModule, it->second.lowLatencyModule != kNoModule};
}

namespace {

// Writes the payload to the selected module: the bypass parameter, one parameter per channel,
// or the catalogue entry's parameter.
HRESULT WritePayload(LONG publicId, const DspParameterEntry& entry,
                     const std::vector<BYTE>& payload) {
    CTembraDspDrova& driver = TembraDspDriver;
    if (IsBypass(publicId)) {
        return driver.SetModuleParam(kBypassParam, payload.data(),
                                     static_cast<ULONG>(payload.size()));
    }
    if (!IsChannels(publicId)) {
        return driver.SetModuleParam(entry.moduleParamId, payload.data(),
                                     static_cast<ULONG>(payload.size()));
    }
    const size_t values = payload.size() / 4;
    if (values == 0) {
        return E_INVALIDARG;  // not even the count
    }
    const LONG count = Word(payload.data(), 0);
    if (count > 0 &&
        (static_cast<ULONG>(count) > kMaxChannels || static_cast<size_t>(count) >= values)) {
        return E_INVALIDARG;  // more channels than a module has, or than the value holds
    }
    // Every channel is written, also after one that failed; the first failure is the result.
    HRESULT hr = S_OK;
    for (LONG i = 0; i < count; ++i) {
        const HRESULT written = driver.SetModuleParam(
            FirstChannelParam(publicId) + static_cast<ULONG>(i), payload.data() + 4 * (i + 1), 4);
        if (SUCCEEDED(hr)) {
            hr = written;
        }
    }
    return hr;
}

}  // namespace

HRESULT DspController::SetParameter(const WCHAR* endpointId, LONG publicId,
                                    const PROPVARIANT& value, ULONG formFactor) {
    const DspParameterEntry* entry = FindDspParameter(publicId);
    if (entry == nullptr) {
        VEX_LOG(kLevelWarning, "DspController::SetParameter",
                "DSP module does NOT support this parameter. ID: [%d]", publicId);
        return E_INVALIDARG;
    }
    if (value.vt != VT_I4 && value.vt != VT_BLOB) {
        return E_INVALIDARG;
    }
    HRESULT hr = SelectModule(endpointId, publicId);
    if (FAILED(hr)) {
        return hr;
    }
    if (IsMain(publicId)) {
        static_cast<void>(TembraDspDriver.SetFormFactor(formFactor));
    }
    ScopedBstr label;
    TembraDspDriver.GetVersionLabel(label.Receive());
    std::vector<BYTE> payload;
    hr = BuildPayload(publicId, value, label.Get(), &payload);
    if (SUCCEEDED(hr)) {
        hr = WritePayload(publicId, *entry, payload);
    }
    if (FAILED(hr)) {
        VEX_LOG(kLevelError, "DspController::SetParameter", "Set %s failed. [0x%.8x]%s",
                entry->name, hr, Util::ErrorText{hr});
    } else if (Util::LogEnabled(kLevelInformation)) {
        VEX_LOG(kLevelInformation, "DspController::SetParameter", "Set %s: %s", entry->name,
                PayloadText(publicId, value, payload));
    }
    return hr;
}

namespace {

// The length the tuning information (2125) has for a module version: 160 bytes below 1.4.1,
// 720 otherwise (also when the label does not read as three numbers).
ULONG TuningInfoLength(const WCHAR* label) {
    unsigned version[3] = {};
    int fields = 0;
    for (const WCHAR* p = label; p != nullptr && fields < 3 && *p >= '0' && *p <= '9';) {
        unsigned value = 0;
        for (; *p >= '0' && *p <= '9'; ++p) {
            value = std::min(value * 10 + static_cast<unsigned>(*p - '0'), 1000000u);
        }
        version[fields++] = value;
        if (fields < 3 && *p++ != '.') {
            break;
        }
    }
    const unsigned reference[3] = {1, 4, 1};
    if (fields == 3 &&
        std::lexicographical_compare(version, version + 3, reference, reference + 3)) {
        return 160;
    }
    return 720;
}

// Where an output layout takes its bytes from the module's answer.
struct Span {
    size_t to;
    size_t from;
    size_t length;
};

// The module's answer of S bytes into the caller's buffer: a word when S is 4, else the
// layout of the id. The size reported, the capacity the call needs and the bytes it writes are
// the same number; every copy stays inside both the answer and the caller's capacity. An answer
// too short for the id's layout, or of any length but 4 for an id that has no layout, is
// malformed: nothing is written and the size stays as it was.
HRESULT CopyAnswer(LONG publicId, const WCHAR* name, BYTE* buffer, ULONG* size) {
    const ModuleParamBlock& answer = DspController::Driver().ModuleReplyBuffer();
    const ULONG capacity = buffer != nullptr ? *size : 0;
    const ULONG length = answer.length;
    auto tooSmall = [&] {
        VEX_LOG(kLevelError, "DspController::GetParameter",
                "Get %s failed. Input buffer[%d] is too small. Please reallocate buffer[%d.]", name,
                capacity, *size);
        return E_INVALIDARG;
    };
    auto malformed = [&] {
        const HRESULT hr = kMalformedAnswer;
        VEX_LOG(kLevelError, "DspController::GetParameter", "Get %s failed. [0x%.8x]%s", name, hr,
                Util::ErrorText{hr});
        return hr;
    };
    if (length == 4) {
        *size = length;
        if (capacity < 4) {
            return tooSmall();
        }
        std::memcpy(buffer, answer.data, 4);
        VEX_LOG(kLevelInformation, "DspController::GetParameter", "Get %s: %d", name,
                Word(answer.data, 0));
        return S_OK;
    }
    std::vector<Span> spans;
    ULONG written = 0;  // also the size reported and the capacity needed
    bool countFirst = false;
    auto whole = [&](ULONG bytes) {
        spans.push_back({0, 0, bytes});
        written = bytes;
    };
    switch (publicId) {
        case 2105:
        case 1162:
        case 2108:
        case 2109:
        case 2116:
        case 2122:
        case 2135:
            whole(length);
            break;
        case 2107: {
            ScopedBstr label;
            DspController::Driver().GetVersionLabel(label.Receive());
            if (Labelled(label.Get(), TEXT("1.0.0"))) {
                // The module holds the values alone; the caller gets their count first.
                spans.push_back({4, 0, length});
                written = length + 4;
                countFirst = true;
            } else {
                // The count word and 160 values.
                constexpr ULONG kBlock = 644;
                if (length < kBlock) {
                    return malformed();
                }
                whole(kBlock);
            }
            break;
        }
        case 2125:
        case 2126:
        case 2127:
        case 2136: {
            ULONG fixed = publicId == 2126 ? 80 : publicId == 2127 ? 352 : 640;
            if (publicId == 2125) {
                ScopedBstr label;
                const HRESULT hr = DspController::Driver().GetVersionLabel(label.Receive());
                if (FAILED(hr)) {
                    *size = length;
                    tooSmall();
                    return hr;
                }
                fixed = TuningInfoLength(label.Get());
            }
            *size = fixed;
            if (capacity < fixed || length < fixed) {
                return tooSmall();
            }
            whole(fixed);
            break;
        }
        case 1114:  // the two marker words at bytes 4 and 88 go
            if (length < 172) {
                return malformed();
            }
            spans = {{0, 0, 4}, {4, 8, 80}, {84, 92, 80}};
            written = 164;
            break;
        case 1123:  // the first block moves behind 80 zero bytes; three markers go
            if (length < 336) {
                return malformed();
            }
            spans = {{0, 84, 4}, {84, 88, 80}, {164, 172, 80}, {244, 256, 80}};
            written = 324;
            break;
        case 1141:  // word 1 of the output is cleared
            if (length < 136) {
                return malformed();
            }
            spans = {{0, 0, 4}, {8, 8, 128}};
            written = 136;
            break;
        default:
            // A value of one word: any other length is no value of this id.
            return malformed();
    }
    *size = written;
    if (buffer == nullptr || capacity < written) {
        return tooSmall();
    }
    if (publicId == 1123) {
        std::memset(buffer + 4, 0, 80);
    } else if (publicId == 1141) {
        std::memset(buffer + 4, 0, 4);
    } else if (countFirst) {
        PutWord(buffer, 0, length / 4);
    }
    for (const Span& span : spans) {
        if (span.length > 0) {
            std::memcpy(buffer + span.to, answer.data + span.from, span.length);
        }
    }
    PROPVARIANT view;
    PropVariantInit(&view);
    view.vt = VT_BLOB;
    view.blob.cbSize = written;
    view.blob.pBlobData = buffer;
    if (Util::LogEnabled(kLevelInformation)) {
        VEX_LOG(kLevelInformation, "DspController::GetParameter", "Get %s: %s", name,
                FormatParameterValue(0, view));
    }
    return S_OK;
}

}  // namespace

HRESULT DspController::GetParameter(const WCHAR* endpointId, LONG publicId, BYTE* buffer,
                                    ULONG* size) {
    HRESULT hr = SelectModule(endpointId, publicId);
    if (FAILED(hr)) {
        return hr;
    }
    CTembraDspDrova& driver = TembraDspDriver;
    ScopedBstr text;
    switch (publicId) {
        case 1001:
        case 2001:
            hr = driver.GetVersionLabel(text.Receive());
            return FAILED(hr) ? hr : CopyText(text.Get(), buffer, size);
        case 2007:
            hr = driver.GetModuleVersionText(text.Receive());
            return FAILED(hr) ? hr : CopyText(text.Get(), buffer, size);
        case 1006:
        case 2004:
            hr = driver.GetModuleGuid(text.Receive());
            return FAILED(hr) ? hr : CopyText(text.Get(), buffer, size);
        case 1007:
        case 2005:
        case 1008:
        case 2006: {
            const EndpointModuleRecord* record = nullptr;
            if (publicId == 1007 || publicId == 2005) {
                if (buffer == nullptr) {
                    return E_INVALIDARG;
                }
                hr = driver.TargetRecord(&record);
                return FAILED(hr) ? hr : CopyText(record->moduleName.Get(), buffer, size);
            }
            const ULONG capacity = *size;
            *size = sizeof(ULONG);
            if (capacity < sizeof(ULONG) || buffer == nullptr) {
                return E_INVALIDARG;
            }
            hr = driver.TargetRecord(&record);
            if (FAILED(hr)) {
                return hr;
            }
            std::memcpy(buffer, &record->moduleType, sizeof(ULONG));
            return S_OK;
        }
        default:
            break;
    }
    if (IsChannels(publicId)) {
        return GetChannels(endpointId, publicId, buffer, size);
    }
    const DspParameterEntry* entry = FindDspParameter(publicId);
    if (entry == nullptr) {
        VEX_LOG(kLevelWarning, "DspController::GetParameter",
                "DSP module does NOT support this parameter. ID: [%d]", publicId);
        return E_INVALIDARG;
    }
    const ULONG moduleParamId = IsBypass(publicId) ? kBypassParam : entry->moduleParamId;
    const WCHAR* name = entry->name;
    hr = driver.GetModuleParam(&driver.ModuleReplyBuffer(), moduleParamId);
    if (FAILED(hr)) {
        VEX_LOG(kLevelError, "DspController::GetParameter", "Get %s failed. [0x%.8x]%s", name, hr,
                Util::ErrorText{hr});
        return hr;
    }
    return CopyAnswer(publicId, name, buffer, size);
}

HRESULT DspController::GetChannels(const WCHAR* endpointId, LONG publicId, BYTE* buffer,
                                   ULONG* size) {
    const ULONG capacity = *size;
    *size = kChannelBlockSize;
    if (capacity < kChannelBlockSize || buffer == nullptr) {
        return E_INVALIDARG;
    }
    CTembraDspDrova& driver = TembraDspDriver;
    ULONG channels = 2;
    ScopedBstr deviceId;
    ScopedBstr friendlyName;
    ScopedBstr versionLabel;
    GUID endpointGuid{};
    ULONG formFactor = 0;
    ULONG moduleType = 0;
    const LONG index = GetModuleIndex(endpointId, publicId);
    if (FAILED(driver.GetModuleInfo(static_cast<ULONG>(index), deviceId.Receive(), &endpointGuid,
                                    &formFactor, friendlyName.Receive(), &channels, &moduleType,
                                    versionLabel.Receive()))) {
        channels = 2;
    }
    // The block holds eight channel values; a module that reports more gives its first eight.
    channels = std::min(channels, kMaxChannels);
    PutWord(buffer, 0, channels);
    const DspParameterEntry* entry = FindDspParameter(publicId);
    HRESULT hr = S_OK;
    for (ULONG i = 0; i < channels; ++i) {
        hr = driver.GetModuleParam(&driver.ModuleReplyBuffer(), FirstChannelParam(publicId) + i);
        if (FAILED(hr)) {
            VEX_LOG(kLevelError, "DspController::GetParameter", "Get %s failed. [0x%.8x]%s",
                    entry->name, hr, Util::ErrorText{hr});
            return hr;
        }
        const ModuleParamBlock& answer = driver.ModuleReplyBuffer();
        if (answer.length < 4) {
            // A channel value is one word; a shorter answer holds none.
            hr = kMalformedAnswer;
            VEX_LOG(kLevelError, "DspController::GetParameter", "Get %s failed. [0x%.8x]%s",
                    entry->name, hr, Util::ErrorText{hr});
            return hr;
        }
        PutWord(buffer, i + 1, static_cast<ULONG>(Word(answer.data, 0)));
    }
    return hr;
}
