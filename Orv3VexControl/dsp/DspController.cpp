#include "DspController.h"

#include "TembraDspDrova.h"
#include "conversion/ParameterConversion.h"
#include "parameters/ParameterTable.h"
#include "util/Log.h"
#include "util/ScopedBstr.h"
#include "util/TextKey.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <span>
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
// The firmware whose gains travel without their count.
constexpr const WCHAR* kFirstFirmware = TEXT("1.0.0");

CTembraDspDrova TembraDspDriver;
std::map<WString, DspSession, Util::TextKeyLess> DspSessionTable;

bool SameBstr(BSTR left, BSTR right) {
    return VarBstrCmp(left, right, LOCALE_USER_DEFAULT, 0) == static_cast<HRESULT>(VARCMP_EQ);
}

// The most values of a counted layout: a module has at most that many channel parameters of
// each kind, and a get gives back at most that many gains.
ULONG MostValues(const ParameterRow& row) {
    return row.layout->fields.back().limit;
}

// Word k of a block (bytes 4k..4k+3, little-endian).
LONG Word(const BYTE* data, size_t k) {
    LONG word;
    std::memcpy(&word, data + 4 * k, sizeof word);
    return word;
}

void PutWord(BYTE* data, size_t k, ULONG word) {
    std::memcpy(data + 4 * k, &word, sizeof word);
}

// One discovered module's identity, as the driver copies it out.
struct ModuleInfo {
    ScopedBstr deviceId;
    ScopedBstr friendlyName;
    ScopedBstr versionLabel;
    GUID endpointGuid{};
    ULONG formFactor = 0;
    ULONG channelCount = 0;
    ULONG moduleType = 0;
};

HRESULT ReadModuleInfo(ULONG index, ModuleInfo* info) {
    return TembraDspDriver.GetModuleInfo(index, info->deviceId.Receive(), &info->endpointGuid,
                                         &info->formFactor, info->friendlyName.Receive(),
                                         &info->channelCount, &info->moduleType,
                                         info->versionLabel.Receive());
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

// Whether the selected module runs the first firmware, whose gains travel without their count.
bool OnFirstFirmware() {
    const EndpointModuleRecord* record = nullptr;
    return SUCCEEDED(TembraDspDriver.TargetRecord(&record)) &&
           Labelled(record->versionLabel.Get(), kFirstFirmware);
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
HRESULT BuildPayload(const ParameterRow& row, const PROPVARIANT& value,
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
    switch (row.dsp) {
        case DspShape::DropCounts: {  // n, n values, m, m values: both counts go
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
        case DspShape::DropRecordMarkers: {  // n, then n records: each record's marker goes
            const size_t stride = row.layout->fields.back().width + 1u;
            const std::vector<LONG> words = Words(data, size);
            if (words.empty() || words[0] < 0 ||
                static_cast<size_t>(words[0]) > (words.size() - 1) / stride) {
                return E_INVALIDARG;
            }
            std::vector<LONG> kept;
            kept.reserve(words.size());
            const size_t records = static_cast<size_t>(words[0]);
            for (size_t k = 0; k < words.size(); ++k) {
                if (k == 0 || k > stride * records || (k - 1) % stride != 0) {
                    kept.push_back(words[k]);
                }
            }
            *payload = Bytes(kept);
            return S_OK;
        }
        case DspShape::Gains:
            if (!OnFirstFirmware()) {
                break;
            }
            [[fallthrough]];
        case DspShape::DropLeadingCount:  // the leading count word goes
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
        return FormatParameterValue(publicId, value);
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

HRESULT DspController::Open(EndpointId endpointId) {
    VEX_LOG_SCOPE("DspController::Open");
    HRESULT hr = TembraDspDriver.RefreshModules();
    if (FAILED(hr)) {
        return VEX_FAIL(kLevelWarning, "DspController::Open", hr,
                        "RefreshModules of DSP failed: [0x%.8x]%s");
    }
    if (DspSessionTable.count(endpointId.View()) != 0) {
        VEX_LOG(kLevelInformation, "DspController::Open",
                "DSP module for device[%s] is already opened.", endpointId.Text());
        return S_OK;
    }
    ULONG count = 0;
    TembraDspDriver.GetModuleCount(&count);
    const ScopedBstr wanted(BstrFromText(endpointId.Text()));
    const ScopedBstr mainLabel(BstrFromText(kMainModuleLabel));
    DspSession session;
    for (ULONG i = 0; i < count; ++i) {
        ModuleInfo info;
        if (FAILED(ReadModuleInfo(i, &info)) || !SameBstr(info.deviceId.Get(), wanted.Get())) {
            continue;
        }
        if (SameBstr(info.versionLabel.Get(), mainLabel.Get())) {
            session.mainModule = static_cast<LONG>(i);
        } else {
            session.lowLatencyModule = static_cast<LONG>(i);
        }
    }
    if (session.mainModule == kNoModule && session.lowLatencyModule == kNoModule) {
        VEX_LOG(kLevelWarning, "DspController::Open",
                "Could not find the dsp module for the device [%s]", endpointId.Text());
        return S_OK;
    }
    DspSessionTable.emplace(endpointId.View(), session);
    VEX_LOG(kLevelInformation, "DspController::Open", "DSP module index: %s[%d, %d]",
            endpointId.Text(), session.mainModule, session.lowLatencyModule);
    return S_OK;
}

HRESULT DspController::Close(EndpointId endpointId) {
    // Found by the caller's text, so that closing allocates nothing.
    const auto it = DspSessionTable.find(endpointId.View());
    if (it == DspSessionTable.end()) {
        VEX_LOG(kLevelWarning, "DspController::Close", "DSP module for device[%s] is not opened.",
                endpointId.Text());
        return S_OK;
    }
    DspSessionTable.erase(it);
    return S_OK;
}

LONG DspController::GetModuleIndex(EndpointId endpointId, LONG publicId) {
    const auto it = DspSessionTable.find(endpointId.View());
    if (it == DspSessionTable.end()) {
        return kNoModule;
    }
    switch (RangeOf(publicId)) {
        case ProcessingRange::Main:
            return it->second.mainModule;
        case ProcessingRange::LowLatency:
            return it->second.lowLatencyModule;
        case ProcessingRange::None:
            break;
    }
    return kNoModule;
}

HRESULT DspController::SelectModule(EndpointId endpointId, LONG publicId) {
    if (DspSessionTable.count(endpointId.View()) == 0) {
        VEX_LOG(kLevelWarning, "DspController::SelectModule",
                "DSP module for device[%s] is not opened.", endpointId.Text());
        return E_FAIL;
    }
    const LONG index = GetModuleIndex(endpointId, publicId);
    if (index == kNoModule) {
        return E_INVALIDARG;
    }
    return TembraDspDriver.SelectModule(index);
}

HRESULT DspController::CancelNotifications(EndpointId endpointId, LONG publicId) {
    const HRESULT hr = SelectModule(endpointId, publicId);
    if (FAILED(hr)) {
        return hr;
    }
    return TembraDspDriver.UnregisterCallbackEvent();
}

DspModuleAvailability DspController::GetModuleAvailability(EndpointId endpointId) {
    const auto it = DspSessionTable.find(endpointId.View());
    if (it == DspSessionTable.end()) {
        return {};
    }
    return {it->second.mainModule != kNoModule, it->second.lowLatencyModule != kNoModule};
}

bool DspController::HasModuleFor(EndpointId endpointId, LONG publicId) {
    return RangeOf(publicId) == ProcessingRange::None ||
           GetModuleIndex(endpointId, publicId) != kNoModule;
}

namespace {

// Writes the payload to the selected module: the bypass parameter, one parameter per channel,
// or the row's module parameter.
HRESULT WritePayload(const ParameterRow& row, const std::vector<BYTE>& payload) {
    CTembraDspDrova& driver = TembraDspDriver;
    if (row.dsp != DspShape::Channels) {
        const ULONG moduleParamId =
            row.dsp == DspShape::Bypass ? kBypassParam : static_cast<ULONG>(row.moduleParam);
        return driver.SetModuleParam(moduleParamId, payload.data(),
                                     static_cast<ULONG>(payload.size()));
    }
    const size_t values = payload.size() / 4;
    if (values == 0) {
        return E_INVALIDARG;  // not even the count
    }
    const LONG count = Word(payload.data(), 0);
    if (count > 0 &&
        (static_cast<ULONG>(count) > MostValues(row) || static_cast<size_t>(count) >= values)) {
        return E_INVALIDARG;  // more channels than a module has, or than the value holds
    }
    // Every channel is written, also after one that failed; the first failure is the result.
    HRESULT hr = S_OK;
    for (LONG i = 0; i < count; ++i) {
        const HRESULT written = driver.SetModuleParam(static_cast<ULONG>(row.moduleParam + i),
                                                      payload.data() + 4 * (i + 1), 4);
        if (SUCCEEDED(hr)) {
            hr = written;
        }
    }
    return hr;
}

// The row of an id the DSP route takes, or null after its record.
const ParameterRow* DspRow(const WCHAR* function, LONG publicId) {
    const ParameterRow* row = FindParameterRow(publicId);
    if (row == nullptr || !row->OnDsp()) {
        Util::LogAt(kLevelWarning, VEX_LOG_FILE, __LINE__, function,
                    TEXT("DSP module does NOT support this parameter. ID: [%d]"), publicId);
        return nullptr;
    }
    return row;
}

}  // namespace

HRESULT DspController::SetParameter(EndpointId endpointId, LONG publicId, const PROPVARIANT& value,
                                    ULONG formFactor) {
    const ParameterRow* row = DspRow(TEXT("DspController::SetParameter"), publicId);
    if (row == nullptr) {
        return E_INVALIDARG;
    }
    if (value.vt != VT_I4 && value.vt != VT_BLOB) {
        return E_INVALIDARG;
    }
    HRESULT hr = SelectModule(endpointId, publicId);
    if (FAILED(hr)) {
        return hr;
    }
    if (RangeOf(publicId) == ProcessingRange::Main) {
        static_cast<void>(TembraDspDriver.SetFormFactor(formFactor));
    }
    std::vector<BYTE> payload;
    hr = BuildPayload(*row, value, &payload);
    if (SUCCEEDED(hr)) {
        hr = WritePayload(*row, payload);
    }
    if (FAILED(hr)) {
        return VEX_FAIL(kLevelError, "DspController::SetParameter", hr, "Set %s failed. [0x%.8x]%s",
                        row->moduleName);
    }
    if (Util::LogEnabled(kLevelInformation)) {
        VEX_LOG(kLevelInformation, "DspController::SetParameter", "Set %s: %s", row->moduleName,
                PayloadText(publicId, value, payload));
    }
    return hr;
}

namespace {

// The length the tuning information has for a module version: 160 bytes below 1.4.1,
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

// The module's answer of S bytes into the caller's buffer: a word when S is 4, else the
// layout of the id. The size reported, the capacity the call needs and the bytes it writes are
// the same number; every copy stays inside both the answer and the caller's capacity. An answer
// too short for the id's layout, or of any length but 4 for an id that has no layout, is
// malformed: nothing is written and the size stays as it was.
HRESULT CopyAnswer(const ParameterRow& row, BYTE* buffer, ULONG* size) {
    const WCHAR* name = row.moduleName;
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
        return VEX_FAIL(kLevelError, "DspController::GetParameter", kMalformedAnswer,
                        "Get %s failed. [0x%.8x]%s", name);
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
    // The bytes written, also the size reported and the capacity needed; taken from the answer
    // at the spans, the rest zero.
    ULONG written = length;
    std::span<const AnswerSpan> spans;
    bool countFirst = false;
    switch (row.dsp) {
        case DspShape::Whole:
        case DspShape::DropCounts:
        case DspShape::DropLeadingCount:
        case DspShape::DropRecordMarkers:
            break;
        case DspShape::Gains: {
            if (OnFirstFirmware()) {
                // The module holds the values alone; the caller gets their count first.
                written = length + 4;
                countFirst = true;
                break;
            }
            // The count word and the most values.
            written = 4 * (1 + MostValues(row));
            if (length < written) {
                return malformed();
            }
            break;
        }
        case DspShape::Fixed:
        case DspShape::TuningInfo: {
            ULONG fixed = FixedBytes(*row.layout);
            if (row.dsp == DspShape::TuningInfo) {
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
            written = fixed;
            break;
        }
        case DspShape::Spans: {
            ULONG needed = 0;
            for (const AnswerSpan& span : row.spans) {
                needed = std::max<ULONG>(needed, span.from + span.length);
            }
            if (length < needed) {
                return malformed();
            }
            spans = row.spans;
            written = FixedBytes(*row.layout);
            break;
        }
        case DspShape::Word:
        case DspShape::Bypass:
        case DspShape::Channels:
            // A value of one word: any other length is no value of this id.
            return malformed();
    }
    *size = written;
    if (buffer == nullptr || capacity < written) {
        return tooSmall();
    }
    if (spans.empty()) {
        const ULONG offset = countFirst ? 4 : 0;
        if (countFirst) {
            PutWord(buffer, 0, length / 4);
        }
        if (written > offset) {
            std::memcpy(buffer + offset, answer.data, written - offset);
        }
    } else {
        std::memset(buffer, 0, written);
        for (const AnswerSpan& span : spans) {
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

HRESULT DspController::GetParameter(EndpointId endpointId, LONG publicId, BYTE* buffer,
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
    const ParameterRow* row = FindParameterRow(publicId);
    if (row != nullptr && row->dsp == DspShape::Channels) {
        return GetChannels(endpointId, *row, buffer, size);
    }
    row = DspRow(TEXT("DspController::GetParameter"), publicId);
    if (row == nullptr) {
        return E_INVALIDARG;
    }
    const ULONG moduleParamId =
        row->dsp == DspShape::Bypass ? kBypassParam : static_cast<ULONG>(row->moduleParam);
    hr = driver.GetModuleParam(&driver.ModuleReplyBuffer(), moduleParamId);
    if (FAILED(hr)) {
        return VEX_FAIL(kLevelError, "DspController::GetParameter", hr, "Get %s failed. [0x%.8x]%s",
                        row->moduleName);
    }
    return CopyAnswer(*row, buffer, size);
}

HRESULT DspController::GetChannels(EndpointId endpointId, const ParameterRow& row, BYTE* buffer,
                                   ULONG* size) {
    // The block holds the count word and the most channel values.
    const ULONG mostChannels = MostValues(row);
    const ULONG blockSize = 4 * (mostChannels + 1);
    const ULONG capacity = *size;
    *size = blockSize;
    if (capacity < blockSize || buffer == nullptr) {
        return E_INVALIDARG;
    }
    CTembraDspDrova& driver = TembraDspDriver;
    ModuleInfo info;
    const LONG index = GetModuleIndex(endpointId, row.id);
    ULONG channels =
        SUCCEEDED(ReadModuleInfo(static_cast<ULONG>(index), &info)) ? info.channelCount : 2;
    // The block holds eight channel values; a module that reports more gives its first eight.
    channels = std::min(channels, mostChannels);
    PutWord(buffer, 0, channels);
    HRESULT hr = S_OK;
    for (ULONG i = 0; i < channels; ++i) {
        hr = driver.GetModuleParam(&driver.ModuleReplyBuffer(),
                                   static_cast<ULONG>(row.moduleParam) + i);
        // A channel value is one word; a shorter answer holds none.
        if (SUCCEEDED(hr) && driver.ModuleReplyBuffer().length < 4) {
            hr = kMalformedAnswer;
        }
        if (FAILED(hr)) {
            return VEX_FAIL(kLevelError, "DspController::GetParameter", hr,
                            "Get %s failed. [0x%.8x]%s", row.moduleName);
        }
        const ModuleParamBlock& answer = driver.ModuleReplyBuffer();
        PutWord(buffer, i + 1, static_cast<ULONG>(Word(answer.data, 0)));
    }
    return hr;
}
