#include "DspController.h"

#include "ApoController.h"
#include "DspParameterCatalogue.h"
#include "TembraDspDrova.h"
#include "util/Log.h"
#include "util/ScopedBstr.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

namespace {

using Util::kLevelInformation;
using Util::kLevelWarning;

struct DspSession {
    LONG mainModule = DspController::kNoModule;
    LONG lowLatencyModule = DspController::kNoModule;
};

// The version label of the module that serves the main processing.
constexpr const WCHAR* kMainModuleLabel = TEXT("2.10.0-lite");

CTembraDspDrova TembraDspDriver;
std::map<WString, DspSession> DspSessionTable;

bool InRange(LONG id, LONG first, LONG last) {
    return id >= first && id <= last;
}

bool SameBstr(BSTR left, BSTR right) {
    return VarBstrCmp(left, right, LOCALE_USER_DEFAULT, 0) == static_cast<HRESULT>(VARCMP_EQ);
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
    if (DspSessionTable.count(endpointId) != 0) {
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
    if (DspSessionTable.erase(endpointId) == 0) {
        VEX_LOG(kLevelWarning, "DspController::Close", "DSP module for device[%s] is not opened.",
                endpointId);
    }
    return S_OK;
}

LONG DspController::GetModuleIndex(const WCHAR* endpointId, LONG publicId) {
    const auto it = DspSessionTable.find(endpointId);
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
    if (DspSessionTable.count(endpointId) == 0) {
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
    const auto it = DspSessionTable.find(endpointId);
    if (it == DspSessionTable.end()) {
        return {};
    }
    return {it->second.mainModule != kNoModule, it->second.lowLatencyModule != kNoModule};
}

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
    if (FAILED(hr)) {
        return hr;
    }
    const auto length = static_cast<ULONG>(payload.size());
    if (IsBypass(publicId)) {
        hr = TembraDspDriver.SetModuleParam(kBypassParam, payload.data(), length);
    } else if (IsChannels(publicId)) {
        const size_t values = payload.size() / 4;
        const LONG count = values > 0 ? Word(payload.data(), 0) : 0;
        if (count > 0 && (static_cast<ULONG>(count) > kMaxChannels ||
                          static_cast<size_t>(count) >= values)) {
            return E_INVALIDARG;  // more channels than a module has, or than the value holds
        }
        for (LONG i = 0; i < count; ++i) {
            hr = TembraDspDriver.SetModuleParam(FirstChannelParam(publicId) + static_cast<ULONG>(i),
                                                payload.data() + 4 * (i + 1), 4);
        }
    } else {
        hr = TembraDspDriver.SetModuleParam(entry->moduleParamId, payload.data(), length);
    }
    if (FAILED(hr)) {
        VEX_LOG(kLevelError, "DspController::SetParameter", "Set %s failed. [0x%.8x]%s",
                entry->name, hr, Util::ErrorText{hr});
    } else {
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
    if (fields == 3 && std::lexicographical_compare(version, version + 3, reference, reference + 3)) {
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
// layout of the id. Every copy stays inside both the answer and the caller's capacity.
HRESULT CopyAnswer(LONG publicId, const WCHAR* name, BYTE* buffer, ULONG* size) {
    const ModuleParamBlock& answer = DspController::Driver().ModuleReplyBuffer();
    const ULONG capacity = buffer != nullptr ? *size : 0;
    const ULONG length = answer.length;
    *size = length;
    auto tooSmall = [&] {
        VEX_LOG(kLevelError, "DspController::GetParameter",
                "Get %s failed. Input buffer[%d] is too small. Please reallocate buffer[%d.]",
                name, capacity, *size);
        return E_INVALIDARG;
    };
    if (length == 4) {
        if (capacity < 4) {
            return tooSmall();
        }
        std::memcpy(buffer, answer.data, 4);
        VEX_LOG(kLevelInformation, "DspController::GetParameter", "Get %s: %d", name,
                Word(answer.data, 0));
        return S_OK;
    }
    std::vector<Span> spans;
    ULONG written = 0;
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
            *size = length + 4;
            if (capacity < *size) {
                return tooSmall();
            }
            PutWord(buffer, 0, length / 4);
            spans.push_back({4, 0, length});
            written = *size;
        } else {
            // The count word and 160 values.
            constexpr ULONG kBlock = 644;
            *size = kBlock;
            if (length < kBlock) {
                return kMalformedAnswer;
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
            return kMalformedAnswer;
        }
        *size = length - 8;
        spans = {{0, 0, 4}, {4, 8, 80}, {84, 92, 80}};
        written = 164;
        break;
    case 1123:  // the first block moves behind 80 zero bytes; three markers go
        if (length < 336) {
            return kMalformedAnswer;
        }
        *size = length - 8;
        spans = {{0, 84, 4}, {84, 88, 80}, {164, 172, 80}, {244, 256, 80}};
        written = 324;
        break;
    case 1141:  // word 1 of the output is left as it is
        if (length < 136) {
            return kMalformedAnswer;
        }
        *size = std::max<ULONG>(length - 4, 136);
        spans = {{0, 0, 4}, {8, 8, 128}};
        written = 136;
        break;
    default:
        VEX_LOG(kLevelInformation, "DspController::GetParameter", "Get %s: %s", name,
                TEXT("NULL"));
        return S_OK;
    }
    if (capacity < *size || capacity < written) {
        return tooSmall();
    }
    if (publicId == 1123) {
        std::memset(buffer + 4, 0, 80);
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
    VEX_LOG(kLevelInformation, "DspController::GetParameter", "Get %s: %s", name,
            FormatParameterValue(0, view));
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
        if (capacity < sizeof(ULONG)) {
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
    if (capacity < kChannelBlockSize) {
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
        const ULONG word = answer.length >= 4 ? static_cast<ULONG>(Word(answer.data, 0)) : 0;
        PutWord(buffer, i + 1, word);
    }
    return hr;
}
