// The driver of the vendor DSP modules found behind the render endpoints: it owns the module
// inventory, remembers which module is addressed, and turns each operation into one
// kernel-streaming request on the module's control.
#pragma once

#include "parameters/ModuleParamNames.h"
#include "discovery/PPAPIHelper.h"
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

    // Reads one module parameter into `block` (length and data) from the target module: the
    // selected one, or the first with the index at -1.
    HRESULT GetModuleParam(ModuleParamBlock* block, ULONG moduleParamId);
    // Writes one module parameter to the target modules (every module in order with the index
    // at -1, stopping at the first failure), after checking the id against each module's list.
    HRESULT SetModuleParam(ULONG moduleParamId, const BYTE* data, ULONG length);
    // Whether a module whose list is `names` accepts the id; logs the module parameter's name.
    bool IsValidParameter(ULONG moduleParamId, ULONG base, const WCHAR* friendlyName,
                          const ModuleParamNames& names);
    // The target module's GUID as braced lower-case text.
    HRESULT GetModuleGuid(BSTR* text);
    // Cancels the target module's notification registration.
    HRESULT UnregisterCallbackEvent();
    // Fresh copies of the target record's version label and module version text (for an
    // AMD-type module, the text the module answers for its parameter 1001).
    HRESULT GetVersionLabel(BSTR* label);
    HRESULT GetModuleVersionText(BSTR* text);
    // The target record itself, for the readers of its fields; E_FAIL when there is none.
    HRESULT TargetRecord(const EndpointModuleRecord** record) const;

    LONG SelectedIndex() const { return m_selectedIndex; }
    const std::vector<EndpointModuleRecord>& Modules() const { return m_helper.m_ModuleList; }
    std::vector<EndpointModuleRecord>& Modules() { return m_helper.m_ModuleList; }
    ModuleParamBlock& ModuleReplyBuffer() { return *m_replyBuffer; }

private:
    // The records an operation addresses: all of them for a writer with the index at -1, else
    // the selected one (the first for a reader at -1). E_FAIL for an empty list or an index
    // outside it.
    HRESULT Targets(bool writer, size_t* first, size_t* end) const;
    HRESULT SetModuleEnableOn(EndpointModuleRecord& record, ULONG enable);
    HRESULT SetModuleParamOn(EndpointModuleRecord& record, ULONG moduleParamId, const BYTE* data,
                             ULONG length);
    HRESULT ReadParam(const EndpointModuleRecord& record, ModuleParamBlock* block,
                      ULONG moduleParamId);

    CPPAPIHelper m_helper;
    LONG m_selectedIndex = -1;
    std::unique_ptr<ModuleParamBlock> m_replyBuffer;
};
