// Discovery of the vendor DSP modules behind the system's active render endpoints: the walk
// through each endpoint's device topology to its wave filter, the kernel-streaming queries that
// ask the filter which vendor module it offers, and the inventory of what answered.
#pragma once

#include "ModuleRequest.h"
#include "ModuleTables.h"
#include "Platform.h"
#include "util/ComPtr.h"
#include "util/ScopedBstr.h"

#include <map>
#include <optional>
#include <set>
#include <vector>

// One vendor module found behind an endpoint, with the endpoint's identity and everything a
// request to the module needs.
struct EndpointModuleRecord {
    GUID endpointGuid{};
    ScopedBstr deviceId;
    ULONG formFactor = 0;
    ScopedBstr friendlyName;
    ULONG channelCount = 0;
    ComPtr<IKsControl> ksControl;  // the wave filter's control; one reference of the record's
    ULONG pinId = 0;
    GUID moduleGuid{};
    ULONG moduleType = 0;
    ULONG vendorSet = 0;    // 1: the module speaks the AMD-type set
    ULONG audioModule = 0;  // 1: requests travel in an audio-module command
    GUID audioModuleClassId{};
    ULONG audioModuleInstanceId = 0;
    ScopedBstr versionLabel;
    ScopedBstr moduleName;
    ScopedBstr moduleVersion;
    ULONGLONG notificationCookie = 0;

    // A copy with its own strings and its own reference to the control; throws std::bad_alloc
    // when a string cannot be copied.
    EndpointModuleRecord Copy() const;
    // The audio-module command the module's requests travel in, or null for the pin form.
    const AudioModuleAddress* Wrap(AudioModuleAddress* storage) const;
};

class CPPAPIHelper {
public:
    CPPAPIHelper();
    ~CPPAPIHelper();
    CPPAPIHelper(const CPPAPIHelper&) = delete;
    CPPAPIHelper& operator=(const CPPAPIHelper&) = delete;

    // Runs the inventory again; endpoints that already have a record are not examined again.
    void RefreshModuleList();
    // 0 when the list holds a record after a complete run, 1 when it holds none, -1 when the run
    // ended early, or the failing code of a friendly-name read.
    LONG PPInitialize();

    // Whether a vendor module answers behind one connector of one endpoint of a collection.
    HRESULT TembraModuleExist(IUnknown* collection, ULONG deviceIndex, ULONG connectorIndex);

    // The standard descriptor query for the vendor audio-module class.
    HRESULT QueryPPAudioModule(IKsControl* control, GUID* classId, ULONG* instanceId);
    // The Intel-type module search on one pin, in the audio-module form and in the pin form.
    HRESULT LookForPPAudioModuleConnectorId_Intel(ULONG pinId, IKsControl* control,
                                                  const GUID& classId, ULONG instanceId,
                                                  EndpointModuleRecord* record);
    HRESULT LookForPPModuleConnectorId_Intel(ULONG pinId, IKsControl* control,
                                             EndpointModuleRecord* record);
    // The presence probe over the AMD-type modules.
    HRESULT LookForPPModuleConnectorId_AMD(IKsControl* control, EndpointModuleRecord* record);
    // The Intel-type search that hands back the module entry (with the table's version label in
    // place of the module's version text).
    HRESULT LookForTembraModuleInfo_Intel(IKsControl* control, ULONG pinId, const GUID& classId,
                                          ULONG instanceId, VendorKs::ModuleEntry* entry);

    std::vector<EndpointModuleRecord> m_ModuleList;

private:
    // One endpoint of the run: nullopt to go on with the next, else the result that ends the run.
    std::optional<LONG> ExamineEndpoint(IMMDeviceEnumerator* enumerator,
                                        IMMDeviceCollection* endpoints, UINT index);
    // The vendor queries on the wave filter of one endpoint; appends what answers.
    void QueryVendorModules(IKsControl* control, const std::set<ULONG>& pinIds,
                            EndpointModuleRecord* working);
    HRESULT SearchIntelModule(ULONG pinId, IKsControl* control, const AudioModuleAddress* wrap,
                              EndpointModuleRecord* record);
    // The first AMD-type module present, in table order.
    static HRESULT ProbeAmdModules(IKsControl* control, const GUID** found, const WCHAR** label);

    bool audioModuleFound = false;
};

// A module's narrow text of `length` bytes converted with the thread's ANSI code page;
// kMalformedAnswer when the code page cannot convert it.
HRESULT NarrowToBstr(const char* text, size_t length, ScopedBstr* out);
