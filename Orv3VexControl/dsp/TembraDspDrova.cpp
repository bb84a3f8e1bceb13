#include "TembraDspDrova.h"

#include "parameters/ParameterTable.h"
#include "util/GuidText.h"
#include "util/Log.h"

#include <algorithm>
#include <cstring>
#include <cwctype>

using Util::kLevelInformation;
using Util::kLevelWarning;

namespace {

// The module parameter that holds the endpoint's form factor.
constexpr ULONG kFormFactorParam = 127;
// The AMD-type module answers its version text as this parameter.
constexpr ULONG kAmdVersionParam = 1001;
constexpr ULONG kAmdDataCapacity = VendorKs::kAmdParamBlockSize - sizeof(ULONG);

// The read flag of a parameter get: 0 for ids 30, 31, 41, 42, 54, 55, 62 and 63, else 1.
uint8_t ReadFlag(ULONG moduleParamId) {
    constexpr uint64_t kWithoutFlag = 0xc0c00600c0000000ull;
    return moduleParamId < 64 && ((kWithoutFlag >> moduleParamId) & 1) != 0 ? 0 : 1;
}

// The request to one module of the vendor set, in the pin or the audio-module form.
ModuleRequest ForModule(const EndpointModuleRecord& record, ULONG id, ULONG flags) {
    AudioModuleAddress address{};
    ModuleRequest request = ModuleRequest::Vendor(id, flags, record.pinId, record.Wrap(&address));
    request.AppendModuleHeader(record.moduleType, record.moduleGuid);
    return request;
}

ModuleRequest ForAmdModule(const EndpointModuleRecord& record, ULONG flags, ULONG moduleParamId) {
    return ModuleRequest::Amd(VendorKs::kAmdModuleParameter, flags, record.moduleGuid,
                              record.moduleType, moduleParamId);
}

// The data bytes a parameter block of the record's form carries.
ULONG DataCapacity(const EndpointModuleRecord& record) {
    return record.vendorSet != 0 ? kAmdDataCapacity
                                 : static_cast<ULONG>(VendorKs::kParamDataCapacity);
}

// A module's answer to a parameter get: its length field must fit the data part of the form
// and the bytes the module returned.
HRESULT CheckParamAnswer(ULONG length, ULONG capacity, ULONG returned) {
    if (returned < sizeof(ULONG) || length > capacity || length > returned - sizeof(ULONG)) {
        return kMalformedAnswer;
    }
    return S_OK;
}

}  // namespace

CTembraDspDrova::CTembraDspDrova() : m_replyBuffer(std::make_unique<ModuleParamBlock>()) {}

CTembraDspDrova::~CTembraDspDrova() = default;

HRESULT CTembraDspDrova::RefreshModules() {
    VEX_LOG_SCOPE("CTembraDspDrova::RefreshModules");
    m_helper.RefreshModuleList();
    return S_OK;
}

HRESULT CTembraDspDrova::GetModuleCount(ULONG* count) {
    VEX_LOG_SCOPE("CTembraDspDrova::GetModuleCount");
    *count = static_cast<ULONG>(m_helper.m_ModuleList.size());
    VEX_LOG(kLevelInformation, "CTembraDspDrova::GetModuleCount", "Module count = %d", *count);
    return S_OK;
}

HRESULT CTembraDspDrova::GetModuleInfo(ULONG index, BSTR* deviceId, GUID* endpointGuid,
                                       ULONG* formFactor, BSTR* friendlyName, ULONG* channelCount,
                                       ULONG* moduleType, BSTR* versionLabel) {
    VEX_LOG_SCOPE("CTembraDspDrova::GetModuleInfo");
    if (index >= m_helper.m_ModuleList.size()) {
        return E_FAIL;
    }
    const EndpointModuleRecord& record = m_helper.m_ModuleList[index];
    ScopedBstr id(DuplicateBstr(record.deviceId.Get()));
    ScopedBstr name(DuplicateBstr(record.friendlyName.Get()));
    ScopedBstr label(DuplicateBstr(record.versionLabel.Get()));
    VEX_LOG(kLevelInformation, "CTembraDspDrova::GetModuleInfo",
            "DeviceID = %s, EndpointGuid = %s, FormFactor = %d, FriendlyName = %s, "
            "ModuleType = %d, ModuleVersion = %s",
            id.Get(), Util::GuidText(record.endpointGuid), record.formFactor, name.Get(),
            record.moduleType, label.Get());
    *deviceId = id.Release();
    *endpointGuid = record.endpointGuid;
    *formFactor = record.formFactor;
    *friendlyName = name.Release();
    *channelCount = record.channelCount;
    *moduleType = record.moduleType;
    *versionLabel = label.Release();
    return S_OK;
}

HRESULT CTembraDspDrova::SelectModule(LONG index) {
    VEX_LOG_SCOPE("CTembraDspDrova::SelectModule");
    const auto count = static_cast<LONG>(m_helper.m_ModuleList.size());
    if (count == 0 || index < -1 || index >= count) {
        return E_FAIL;
    }
    m_selectedIndex = index;
    VEX_LOG(kLevelInformation, "CTembraDspDrova::SelectModule", "Selected index of module = %d",
            index);
    return S_OK;
}

HRESULT CTembraDspDrova::TembraModuleExist(IUnknown* collection, ULONG deviceIndex,
                                           ULONG connectorIndex) {
    VEX_LOG_SCOPE("CTembraDspDrova::TembraModuleExist");
    return m_helper.TembraModuleExist(collection, deviceIndex, connectorIndex);
}

HRESULT CTembraDspDrova::Targets(bool writer, size_t* first, size_t* end) const {
    const size_t count = m_helper.m_ModuleList.size();
    if (count == 0 || m_selectedIndex < -1 || m_selectedIndex >= static_cast<LONG>(count)) {
        return E_FAIL;
    }
    if (m_selectedIndex == -1) {
        *first = 0;
        *end = writer ? count : 1;
    } else {
        *first = static_cast<size_t>(m_selectedIndex);
        *end = *first + 1;
    }
    return S_OK;
}

HRESULT CTembraDspDrova::TargetRecord(const EndpointModuleRecord** record) const {
    size_t first = 0;
    size_t end = 0;
    const HRESULT hr = Targets(false, &first, &end);
    if (FAILED(hr)) {
        return hr;
    }
    *record = &m_helper.m_ModuleList[first];
    return S_OK;
}

HRESULT CTembraDspDrova::SetModuleEnable(ULONG enable) {
    VEX_LOG_SCOPE("CTembraDspDrova::SetModuleEnable");
    size_t first = 0;
    size_t end = 0;
    HRESULT hr = Targets(true, &first, &end);
    for (size_t i = first; SUCCEEDED(hr) && i < end; ++i) {
        hr = SetModuleEnableOn(m_helper.m_ModuleList[i], enable);
    }
    return hr;
}

HRESULT CTembraDspDrova::SetModuleEnableOn(EndpointModuleRecord& record, ULONG enable) {
    VEX_LOG_SCOPE("CTembraDspDrova::SetModuleEnable");
    HRESULT hr = S_FALSE;  // an AMD-type module has no enable request
    if (record.vendorSet == 0) {
        BYTE state = enable != 0 ? 1 : 0;
        ULONG returned = 0;
        ModuleRequest request = ForModule(record, VendorKs::kModuleEnable, KSPROPERTY_TYPE_SET);
        request.AppendU8(1);
        if (record.audioModule != 0) {
            hr = request.AppendU8(state).Send(record.ksControl.Get(), nullptr, 0, &returned);
        } else {
            hr = request.Send(record.ksControl.Get(), &state, sizeof state, &returned);
        }
    }
    if (FAILED(hr)) {
        VEX_FAIL(kLevelWarning, "CTembraDspDrova::SetModuleEnable", hr,
                 "Set module status failed: [0x%.8x]%s");
    } else {
        VEX_LOG(kLevelInformation, "CTembraDspDrova::SetModuleEnable",
                "Set module status succeed.");
    }
    return hr;
}

HRESULT CTembraDspDrova::GetModuleEnable(ULONG* enabled) {
    VEX_LOG_SCOPE("CTembraDspDrova::GetModuleEnable");
    const EndpointModuleRecord* record = nullptr;
    HRESULT hr = TargetRecord(&record);
    if (FAILED(hr)) {
        return hr;
    }
    BYTE state = 1;  // an AMD-type module is always enabled
    if (record->vendorSet == 0) {
        ULONG returned = 0;
        hr = ForModule(*record, VendorKs::kModuleEnable, KSPROPERTY_TYPE_GET)
                 .AppendU8(0)
                 .Send(record->ksControl.Get(), &state, sizeof state, &returned);
        if (SUCCEEDED(hr) && returned < sizeof state) {
            hr = kMalformedAnswer;
        }
        if (FAILED(hr)) {
            return VEX_FAIL(kLevelWarning, "CTembraDspDrova::GetModuleEnable", hr,
                            "Failed to get PP module parameter!: [0x%.8x]%s");
        }
    }
    *enabled = state;
    VEX_LOG(kLevelInformation, "CTembraDspDrova::GetModuleEnable", "Get module status succeed. %d",
            static_cast<int>(state));
    return hr;
}

HRESULT CTembraDspDrova::SetFormFactor(ULONG formFactor) {
    VEX_LOG_SCOPE("CTembraDspDrova::SetFormFactor");
    BYTE bytes[sizeof(ULONG)];
    for (size_t i = 0; i < sizeof bytes; ++i) {
        bytes[i] = static_cast<BYTE>(formFactor >> (8 * i));
    }
    const HRESULT hr = SetModuleParam(kFormFactorParam, bytes, sizeof bytes);
    if (SUCCEEDED(hr)) {
        VEX_LOG(kLevelInformation, "CTembraDspDrova::SetFormFactor",
                "Set vex_cpdp-endpoint-form-facotr: %d", formFactor);
    }
    return hr;
}

HRESULT CTembraDspDrova::ReadParam(const EndpointModuleRecord& record, ModuleParamBlock* block,
                                   ULONG moduleParamId) {
    // Both forms answer into the block: its length, then the data. The AMD-type form carries
    // a shorter block.
    ULONG returned = 0;
    HRESULT hr = S_OK;
    if (record.vendorSet != 0) {
        hr = ForAmdModule(record, KSPROPERTY_TYPE_GET, moduleParamId)
                 .Send(record.ksControl.Get(), block, VendorKs::kAmdParamBlockSize, &returned);
    } else {
        hr = ForModule(record, VendorKs::kModuleParameter, KSPROPERTY_TYPE_GET)
                 .AppendU32(moduleParamId)
                 .AppendU8(ReadFlag(moduleParamId))
                 .Send(record.ksControl.Get(), block, sizeof *block, &returned);
    }
    if (SUCCEEDED(hr)) {
        hr = CheckParamAnswer(block->length, DataCapacity(record), returned);
    }
    return hr;
}

HRESULT CTembraDspDrova::GetModuleParam(ModuleParamBlock* block, ULONG moduleParamId) {
    VEX_LOG_SCOPE("CTembraDspDrova::GetModuleParam");
    const EndpointModuleRecord* record = nullptr;
    HRESULT hr = TargetRecord(&record);
    if (FAILED(hr)) {
        return hr;
    }
    hr = ReadParam(*record, block, moduleParamId);
    if (FAILED(hr)) {
        return VEX_FAIL(kLevelWarning, "CTembraDspDrova::GetModuleParam", hr,
                        "Failed to get PP module parameter %d: [0x%.8x]%s", moduleParamId);
    }
    VEX_LOG(kLevelInformation, "CTembraDspDrova::GetModuleParam", "Get module parameter succeed.");
    return hr;
}

bool CTembraDspDrova::IsValidParameter(ULONG moduleParamId, ULONG base, const WCHAR* friendlyName,
                                       const ModuleParamNames& names) {
    if (moduleParamId == kBypassParam) {
        return true;
    }
    const ULONG index = moduleParamId - base;
    if (index < names.length) {
        VEX_LOG(kLevelInformation, "CTembraDspDrova::IsValidParameter", "%s - [%s]", friendlyName,
                names.names[index]);
        return true;
    }
    const HRESULT hr = E_INVALIDARG;
    VEX_FAIL(kLevelWarning, "CTembraDspDrova::IsValidParameter", hr,
             "Failed to set PP module parameter!: [0x%.8x]%s");
    return false;
}

HRESULT CTembraDspDrova::SetModuleParam(ULONG moduleParamId, const BYTE* data, ULONG length) {
    VEX_LOG_SCOPE("CTembraDspDrova::SetModuleParam");
    size_t first = 0;
    size_t end = 0;
    HRESULT hr = Targets(true, &first, &end);
    for (size_t i = first; SUCCEEDED(hr) && i < end; ++i) {
        hr = SetModuleParamOn(m_helper.m_ModuleList[i], moduleParamId, data, length);
    }
    return hr;
}

HRESULT CTembraDspDrova::SetModuleParamOn(EndpointModuleRecord& record, ULONG moduleParamId,
                                          const BYTE* data, ULONG length) {
    VEX_LOG_SCOPE("CTembraDspDrova::SetModuleParam");
    const WCHAR* friendlyName = record.friendlyName.Get();
    const ModuleParamNames& common = CommonModuleParamNames();
    if (moduleParamId < common.length) {
        VEX_LOG(kLevelInformation, "CTembraDspDrova::SetModuleParam", "%s - [%s]", friendlyName,
                common.names[moduleParamId]);
    } else {
        const ModuleParamNames& names = ModuleParamNamesFor(record.versionLabel.Get());
        if (!IsValidParameter(moduleParamId, names.base, friendlyName, names)) {
            return E_INVALIDARG;
        }
    }
    if (length > DataCapacity(record) || (length > 0 && data == nullptr)) {
        const HRESULT refused = E_INVALIDARG;  // more than the form carries
        return VEX_FAIL(kLevelWarning, "CTembraDspDrova::SetModuleParam", refused,
                        "Failed to set PP module parameter!: [0x%.8x]%s");
    }
    // The value travels as a block: its length, the data, zeros up to the block's size. The
    // audio-module form carries it inside the request; the other forms send it from the
    // driver's own buffer, so that a set allocates no block of its own.
    const size_t blockSize =
        record.vendorSet != 0 ? VendorKs::kAmdParamBlockSize : VendorKs::kParamBlockSize;
    ULONG returned = 0;
    HRESULT hr = S_OK;
    if (record.vendorSet == 0 && record.audioModule != 0) {
        hr = ForModule(record, VendorKs::kModuleParameter, KSPROPERTY_TYPE_SET)
                 .AppendU32(moduleParamId)
                 .AppendU8(1)
                 .AppendBlock(data, length, blockSize)
                 .Send(record.ksControl.Get(), nullptr, 0, &returned);
    } else {
        BYTE* block = reinterpret_cast<BYTE*>(m_replyBuffer.get());
        if (length > 0) {
            std::memmove(block + sizeof length, data, length);
        }
        std::memcpy(block, &length, sizeof length);
        std::memset(block + sizeof length + length, 0, blockSize - sizeof length - length);
        ModuleRequest request =
            record.vendorSet != 0
                ? ForAmdModule(record, KSPROPERTY_TYPE_SET, moduleParamId)
                : ForModule(record, VendorKs::kModuleParameter, KSPROPERTY_TYPE_SET);
        if (record.vendorSet == 0) {
            request.AppendU32(moduleParamId).AppendU8(1);
        }
        hr = request.Send(record.ksControl.Get(), block, static_cast<ULONG>(blockSize), &returned);
    }
    if (FAILED(hr)) {
        VEX_FAIL(kLevelWarning, "CTembraDspDrova::SetModuleParam", hr,
                 "Failed to set PP module parameter!: [0x%.8x]%s");
    }
    return hr;
}

HRESULT CTembraDspDrova::GetModuleGuid(BSTR* text) {
    VEX_LOG_SCOPE("CTembraDspDrova::GetModuleGuid");
    const EndpointModuleRecord* record = nullptr;
    const HRESULT hr = TargetRecord(&record);
    if (FAILED(hr)) {
        return hr;
    }
    WString guid = Util::GuidText(record->moduleGuid);
    std::transform(guid.begin(), guid.end(), guid.begin(), [](WCHAR c) {
        return c >= 'A' && c <= 'F' ? static_cast<WCHAR>(c - 'A' + 'a') : c;
    });
    *text = BstrFromText(guid.c_str()).Release();
    return S_OK;
}

HRESULT CTembraDspDrova::UnregisterCallbackEvent() {
    VEX_LOG_SCOPE("CTembraDspDrova::UnregisterCallbackEvent");
    const EndpointModuleRecord* target = nullptr;
    HRESULT hr = TargetRecord(&target);
    if (FAILED(hr)) {
        return hr;
    }
    EndpointModuleRecord& record = m_helper.m_ModuleList[target - m_helper.m_ModuleList.data()];
    if (record.vendorSet != 0) {
        return E_NOTIMPL;
    }
    ULONG returned = 0;
    ModuleRequest request =
        ForModule(record, VendorKs::kUnregisterNotification, KSPROPERTY_TYPE_SET);
    if (record.audioModule != 0) {
        hr = request.AppendU64(record.notificationCookie)
                 .Send(record.ksControl.Get(), nullptr, 0, &returned);
    } else {
        ULONGLONG cookie = record.notificationCookie;
        hr = request.Send(record.ksControl.Get(), &cookie, sizeof cookie, &returned);
    }
    if (SUCCEEDED(hr)) {
        record.notificationCookie = 0;
    }
    return hr;
}

HRESULT CTembraDspDrova::GetVersionLabel(BSTR* label) {
    const EndpointModuleRecord* record = nullptr;
    const HRESULT hr = TargetRecord(&record);
    if (FAILED(hr)) {
        return hr;
    }
    *label = DuplicateBstr(record->versionLabel.Get()).Release();
    return S_OK;
}

HRESULT CTembraDspDrova::GetModuleVersionText(BSTR* text) {
    const EndpointModuleRecord* record = nullptr;
    HRESULT hr = TargetRecord(&record);
    if (FAILED(hr)) {
        return hr;
    }
    if (record->vendorSet == 0) {
        *text = DuplicateBstr(record->moduleVersion.Get()).Release();
        return S_OK;
    }
    // The AMD-type module answers a NUL-terminated text in the thread's code page; at most its
    // first 64 bytes are taken.
    ScopedBstr wide;
    hr = ReadParam(*record, m_replyBuffer.get(), kAmdVersionParam);
    if (SUCCEEDED(hr)) {
        constexpr size_t kVersionTextBytes = 64;
        const char* narrow = reinterpret_cast<const char*>(m_replyBuffer->data);
        const size_t bound = std::min<size_t>(m_replyBuffer->length, kVersionTextBytes);
        const void* end = std::memchr(narrow, '\0', bound);
        const size_t bytes =
            end != nullptr ? static_cast<size_t>(static_cast<const char*>(end) - narrow) : bound;
        hr = NarrowToBstr(narrow, bytes, &wide);
    }
    if (FAILED(hr)) {
        VEX_FAIL(kLevelWarning, "CTembraDspDrova::GetModuleVersionText", hr,
                 "Failed to get PP module parameter %d: [0x%.8x]%s", kAmdVersionParam);
        return E_FAIL;
    }
    *text = wide.Release();
    return S_OK;
}
