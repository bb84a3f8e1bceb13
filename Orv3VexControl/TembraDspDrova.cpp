#include "TembraDspDrova.h"

#include "util/GuidText.h"
#include "util/Log.h"

using Util::kLevelInformation;

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

HRESULT CTembraDspDrova::SetModuleEnable(ULONG) {
    VEX_LOG_SCOPE("CTembraDspDrova::SetModuleEnable");
    return E_NOTIMPL;
}

HRESULT CTembraDspDrova::GetModuleEnable(ULONG*) {
    VEX_LOG_SCOPE("CTembraDspDrova::GetModuleEnable");
    return E_NOTIMPL;
}

HRESULT CTembraDspDrova::SetFormFactor(ULONG) {
    VEX_LOG_SCOPE("CTembraDspDrova::SetFormFactor");
    return E_NOTIMPL;
}
