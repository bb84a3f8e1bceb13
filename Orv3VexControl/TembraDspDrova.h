// The driver of the vendor DSP modules found behind the render endpoints: it owns the module
// inventory, remembers which module is addressed, and turns each operation into one
// kernel-streaming request on the module's control.
#pragma once

#include "PPAPIHelper.h"
#include "Platform.h"

#include <memory>

// A parameter value as exchanged with a module: its length in bytes, then the data.
struct ModuleParamBlock {
    ULONG length;
    BYTE data[VendorKs::kParamDataCapacity];
};
static_assert(sizeof(ModuleParamBlock) == VendorKs::kParamBlockSize);

class CTembraDspDrova {
public:
    CTembraDspDrova();
    virtual ~CTembraDspDrova();
    CTembraDspDrova(const CTembraDspDrova&) = delete;
    CTembraDspDrova& operator=(const CTembraDspDrova&) = delete;

    // Runs the inventory again (records are only appended); S_OK whatever it reported.
    virtual HRESULT RefreshModules();
    virtual HRESULT GetModuleCount(ULONG* count);
    // Fresh copies of one record's identity; E_FAIL for an index outside the list.
    virtual HRESULT GetModuleInfo(ULONG index, BSTR* deviceId, GUID* endpointGuid,
                                  ULONG* formFactor, BSTR* friendlyName, ULONG* channelCount,
                                  ULONG* moduleType, BSTR* versionLabel);
    // Addresses one record, or all of them with -1; E_FAIL and the old index otherwise.
    virtual HRESULT SelectModule(LONG index);
    virtual HRESULT TembraModuleExist(IUnknown* collection, ULONG deviceIndex,
                                      ULONG connectorIndex);
    virtual HRESULT SetModuleEnable(ULONG enable);
    virtual HRESULT GetModuleEnable(ULONG* enabled);
    virtual HRESULT SetFormFactor(ULONG formFactor);

    LONG SelectedIndex() const { return m_selectedIndex; }
    const std::vector<EndpointModuleRecord>& Modules() const { return m_helper.m_ModuleList; }
    ModuleParamBlock& ModuleReplyBuffer() { return *m_replyBuffer; }

private:
    CPPAPIHelper m_helper;
    LONG m_selectedIndex = -1;
    std::unique_ptr<ModuleParamBlock> m_replyBuffer;
};
