#include "PPAPIHelper.h"

#include "ConnectorSearch.h"
#include "SystemGuids.h"
#include "util/GuidText.h"
#include "util/Log.h"
#include "util/ScopedCoMem.h"
#include "util/ScopedPropVariant.h"
#include "util/Unload.h"

#include <cstring>
#include <new>
#include <optional>

namespace {

using Util::ErrorText;
using Util::kLevelInformation;
using Util::kLevelVerbose;
using Util::kLevelWarning;

constexpr HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
constexpr HRESULT kMoreData = HRESULT_FROM_WIN32(ERROR_MORE_DATA);

// No driver needs more than this for a list of descriptors or modules; a larger size is refused
// before anything is allocated.
constexpr ULONG kMaxListBytes = 1024 * 1024;

// The length of a NUL-terminated text inside a fixed field, or nullopt when the field holds no
// terminator.
std::optional<size_t> BoundedLength(const char* field, size_t capacity) {
    const void* end = std::memchr(field, '\0', capacity);
    if (end == nullptr) {
        return std::nullopt;
    }
    return static_cast<size_t>(static_cast<const char*>(end) - field);
}

const WCHAR* ModuleTypeName(ULONG type) {
    switch (type) {
        case VendorKs::kModuleTypeSfx:
            return TEXT("SFX");
        case VendorKs::kModuleTypeMfx:
            return TEXT("MFX");
        case VendorKs::kModuleTypeEfx:
            return TEXT("EFX");
        default:
            return TEXT("Unknown module type");
    }
}

// A value read from the endpoint's property store: a failing read keeps its code, an empty value
// is "not found", a value of another type a type mismatch.
HRESULT ReadProperty(IPropertyStore* store, const PROPERTYKEY& key, ScopedPropVariant* value) {
    const HRESULT hr = store->GetValue(key, value->Receive());
    if (FAILED(hr)) {
        return hr;
    }
    return value->Type() == VT_EMPTY ? kNotFound : S_OK;
}

// The records of the Intel-type search differ between the inventory and the module lookup.
struct IntelSearchTexts {
    const WCHAR* function;
    const WCHAR* versionFailed;
    const WCHAR* listSizeFailed;
    const WCHAR* listReadFailed;
    bool logEntries;  // "Module id" and "Module type" for every entry
};

const IntelSearchTexts kInventoryTexts = {
    nullptr,
    TEXT("Failed to retrieve version! [0x%.8x]%s"),
    TEXT("Failed to retrieve modules list size! [0x%.8x]%s"),
    TEXT("Failed to read modules list! [0x%.8x]%s"),
    true,
};

const IntelSearchTexts kLookupTexts = {
    TEXT("CPPAPIHelper::LookForTembraModuleInfo_Intel"),
    TEXT("Failed to retrieve version: [0x%.8x]%s"),
    TEXT("Failed to retrieve modules list size: [0x%.8x]%s"),
    TEXT("Failed to read modules list: [0x%.8x]%s"),
    false,
};

template <typename... Args>
void LogText(UCHAR level, int line, const WCHAR* function, const WCHAR* format,
             const Args&... args) {
    Util::LogAt(level, VEX_LOG_FILE, line, function, format, args...);
}

// The module list one pin answers, checked against the bytes the driver returned.
struct ModuleList {
    std::vector<BYTE> bytes;
    ULONG count = 0;
    ULONG size = 0;

    const VendorKs::ModuleEntry* Entry(ULONG index, VendorKs::ModuleEntry* storage) const {
        std::memcpy(storage,
                    bytes.data() + sizeof(VendorKs::ModuleListHeader) +
                        size_t{index} * sizeof(VendorKs::ModuleEntry),
                    sizeof *storage);
        return storage;
    }
};

// Whether every entry of the list carries terminated name and version texts.
bool EntryTextsTerminated(const VendorKs::ModuleEntry& entry) {
    return BoundedLength(entry.name, sizeof entry.name) &&
           BoundedLength(entry.version, sizeof entry.version);
}

// The interface version and the module list of one pin, with the records of `texts`.
HRESULT ReadIntelModuleList(ULONG pinId, IKsControl* control, const AudioModuleAddress* wrap,
                            const IntelSearchTexts& texts, ModuleList* list) {
    const WCHAR* function = texts.function;
    BYTE version[VendorKs::kInterfaceVersionSize] = {};
    ULONG returned = 0;
    HRESULT hr =
        ModuleRequest::Vendor(VendorKs::kInterfaceVersion, KSPROPERTY_TYPE_GET, pinId, wrap)
            .Send(control, version, sizeof version, &returned);
    if (SUCCEEDED(hr) && returned < 1) {
        hr = kMalformedAnswer;
    }
    if (FAILED(hr)) {
        return Util::LogFailure(kLevelWarning, VEX_LOG_FILE, __LINE__, function, hr,
                                texts.versionFailed);
    }
    const int interfaceVersion = version[0];
    if (interfaceVersion != 1 && interfaceVersion != 2) {
        LogText(kLevelWarning, __LINE__, function, TEXT("Version mismatch! iapVersion[%d]"),
                interfaceVersion);
        return E_NOTIMPL;
    }
    LogText(kLevelInformation, __LINE__, function, TEXT("iapVersion[%d]"), interfaceVersion);

    LogText(kLevelInformation, __LINE__, function, TEXT("Obtaining modules list..."));
    auto listRequest = [&] {
        ModuleRequest request =
            ModuleRequest::Vendor(VendorKs::kModuleList, KSPROPERTY_TYPE_GET, pinId, wrap);
        request.AppendGuid(VendorKs::kModuleAddress);
        return request;
    };
    ULONG size = 0;
    hr = listRequest().Send(control, nullptr, 0, &size);
    if (SUCCEEDED(hr) && (size < sizeof(VendorKs::ModuleListHeader) || size > kMaxListBytes)) {
        hr = kMalformedAnswer;
    }
    if (FAILED(hr)) {
        return Util::LogFailure(kLevelWarning, VEX_LOG_FILE, __LINE__, function, hr,
                                texts.listSizeFailed);
    }
    // The list is as long as the driver says (up to 1 MiB): a list that cannot be allocated
    // fails this query only, and discovery goes on.
    try {
        list->bytes.assign(size, 0);
        hr = listRequest().Send(control, list->bytes.data(), size, &returned);
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    if (SUCCEEDED(hr)) {
        VendorKs::ModuleListHeader header{};
        if (returned >= sizeof header) {
            std::memcpy(&header, list->bytes.data(), sizeof header);
        }
        const uint64_t needed =
            sizeof header + uint64_t{header.count} * sizeof(VendorKs::ModuleEntry);
        if (returned < sizeof header || needed > returned) {
            hr = kMalformedAnswer;
        }
        list->count = header.count;
        list->size = header.size;
    }
    for (ULONG i = 0; SUCCEEDED(hr) && i < list->count; ++i) {
        VendorKs::ModuleEntry entry;
        if (!EntryTextsTerminated(*list->Entry(i, &entry))) {
            hr = kMalformedAnswer;
        }
    }
    if (FAILED(hr)) {
        return Util::LogFailure(kLevelWarning, VEX_LOG_FILE, __LINE__, function, hr,
                                texts.listReadFailed);
    }
    LogText(kLevelInformation, __LINE__, function, TEXT("Modules count: %d, modules size: %d"),
            list->count, list->size);
    return list->count == 0 ? E_FAIL : S_OK;
}

// The first entry of one pin's module list whose module GUID has an Intel version label,
// copied to `entry`, with that label; the list is read with the records of `texts`.
HRESULT FindLabelledModule(ULONG pinId, IKsControl* control, const AudioModuleAddress* wrap,
                           const IntelSearchTexts& texts, VendorKs::ModuleEntry* entry,
                           const WCHAR** label) {
    ModuleList list;
    const HRESULT hr = ReadIntelModuleList(pinId, control, wrap, texts, &list);
    if (FAILED(hr)) {
        return hr;
    }
    const WCHAR* function = texts.function;
    for (ULONG i = 0; i < list.count; ++i) {
        VendorKs::ModuleEntry storage;
        const VendorKs::ModuleEntry* candidate = list.Entry(i, &storage);
        const WString id = Util::GuidText(candidate->moduleGuid);
        if (texts.logEntries) {
            LogText(kLevelInformation, __LINE__, function, TEXT("Module id: %s"), id);
            LogText(kLevelInformation, __LINE__, function,
                    TEXT("Module type: %s, version: %s, name: %s"),
                    ModuleTypeName(candidate->moduleType), candidate->version, candidate->name);
        }
        const auto found = IntelModuleVersionLabels.find(candidate->moduleGuid);
        if (found == IntelModuleVersionLabels.end()) {
            LogText(kLevelWarning, __LINE__, function, TEXT("Unspecific ModuleId: %s"), id);
            continue;
        }
        *entry = *candidate;
        *label = found->second;
        return S_OK;
    }
    return E_FAIL;
}

// The identity of one endpoint from its property store; nullopt when it was read, else the
// result that ends the run.
std::optional<LONG> ReadEndpointIdentity(IMMDevice* device, EndpointModuleRecord* working) {
    ComPtr<IPropertyStore> store;
    HRESULT hr = device->OpenPropertyStore(STGM_READ, store.Receive());
    if (FAILED(hr)) {
        VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                 "Failed to open device property store! [0x%.8x]%s");
        return -1;
    }
    ScopedPropVariant value;
    hr = ReadProperty(store.Get(), Guids::kPkeyAudioEndpointGuid, &value);
    if (SUCCEEDED(hr) && value.Type() != VT_LPWSTR) {
        hr = DISP_E_TYPEMISMATCH;
    }
    if (FAILED(hr)) {
        VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                 "Failed to read device GUID! [0x%.8x]%s");
        return -1;
    }
    GUID endpointGuid{};
    hr = value.Get().pwszVal != nullptr ? CLSIDFromString(value.Get().pwszVal, &endpointGuid)
                                        : E_POINTER;
    if (FAILED(hr)) {
        VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                 "Failed to convert device GUID! [0x%.8x]%s");
        return -1;
    }
    VEX_LOG(kLevelInformation, "CPPAPIHelper::PPInitialize", "Device GUID: %s",
            Util::GuidText(endpointGuid));
    working->endpointGuid = endpointGuid;

    hr = ReadProperty(store.Get(), Guids::kPkeyAudioEndpointFormFactor, &value);
    if (SUCCEEDED(hr) && value.Type() != VT_UI4 && value.Type() != VT_I4) {
        hr = DISP_E_TYPEMISMATCH;
    }
    if (FAILED(hr)) {
        VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                 "Failed to read device Form Factor: [0x%.8x]%s");
        return -1;
    }
    working->formFactor = value.Get().ulVal;

    hr = ReadProperty(store.Get(), Guids::kPkeyAudioEngineDeviceFormat, &value);
    if (SUCCEEDED(hr) && value.Type() != VT_BLOB) {
        hr = DISP_E_TYPEMISMATCH;
    }
    // A WAVEFORMATEX is 18 bytes; the channel count is its second 16-bit field.
    constexpr ULONG kWaveFormatSize = 18;
    if (SUCCEEDED(hr) &&
        (value.Get().blob.cbSize < kWaveFormatSize || value.Get().blob.pBlobData == nullptr)) {
        hr = kMalformedAnswer;
    }
    if (FAILED(hr)) {
        VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                 "Get audio engine device format failed. [0x%.8x]%s");
        working->channelCount = 2;
    } else {
        const BYTE* format = value.Get().blob.pBlobData;
        working->channelCount = static_cast<ULONG>(format[2] | (format[3] << 8));
    }

    hr = store->GetValue(Guids::kPkeyDeviceFriendlyName, value.Receive());
    if (FAILED(hr)) {
        return VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                        "Failed to read device friendly name: [0x%.8x]%s");
    }
    const bool named = value.Type() == VT_LPWSTR && value.Get().pwszVal != nullptr;
    working->friendlyName = BstrFromText(named ? value.Get().pwszVal : TEXT(""));
    VEX_LOG(kLevelInformation, "CPPAPIHelper::PPInitialize", "Device GUID: %s",
            Util::GuidText(endpointGuid));
    return std::nullopt;
}

}  // namespace

HRESULT NarrowToBstr(const char* text, size_t length, ScopedBstr* out) {
    if (length == 0) {
        *out = BstrFromText(TEXT(""));
        return S_OK;
    }
    const int bytes = static_cast<int>(length);
    const int chars = MultiByteToWideChar(CP_THREAD_ACP, 0, text, bytes, nullptr, 0);
    if (chars <= 0) {
        return kMalformedAnswer;
    }
    ScopedBstr wide;
    wide.Reset(SysAllocStringLen(nullptr, static_cast<UINT>(chars)));
    if (wide.Get() == nullptr) {
        return E_OUTOFMEMORY;
    }
    if (MultiByteToWideChar(CP_THREAD_ACP, 0, text, bytes, wide.Get(), chars) != chars) {
        return kMalformedAnswer;
    }
    *out = std::move(wide);
    return S_OK;
}

EndpointModuleRecord EndpointModuleRecord::Copy() const {
    EndpointModuleRecord copy;
    copy.endpointGuid = endpointGuid;
    copy.deviceId = DuplicateBstr(deviceId.Get());
    copy.formFactor = formFactor;
    copy.friendlyName = DuplicateBstr(friendlyName.Get());
    copy.channelCount = channelCount;
    copy.ksControl = ksControl;
    copy.pinId = pinId;
    copy.moduleGuid = moduleGuid;
    copy.moduleType = moduleType;
    copy.vendorSet = vendorSet;
    copy.audioModule = audioModule;
    copy.audioModuleClassId = audioModuleClassId;
    copy.audioModuleInstanceId = audioModuleInstanceId;
    copy.versionLabel = DuplicateBstr(versionLabel.Get());
    copy.moduleName = DuplicateBstr(moduleName.Get());
    copy.moduleVersion = DuplicateBstr(moduleVersion.Get());
    copy.notificationCookie = notificationCookie;
    return copy;
}

const AudioModuleAddress* EndpointModuleRecord::Wrap(AudioModuleAddress* storage) const {
    if (audioModule == 0) {
        return nullptr;
    }
    *storage = {audioModuleClassId, audioModuleInstanceId};
    return storage;
}

CPPAPIHelper::CPPAPIHelper() {
    VEX_LOG_SCOPE("CPPAPIHelper::CPPAPIHelper");
}

CPPAPIHelper::~CPPAPIHelper() {
    for (EndpointModuleRecord& record : m_ModuleList) {
        Util::ReleaseAtUnload(record.ksControl);
    }
}

void CPPAPIHelper::RefreshModuleList() {
    VEX_LOG_SCOPE("CPPAPIHelper::RefreshModuleList");
    static_cast<void>(PPInitialize());
}

LONG CPPAPIHelper::PPInitialize() {
    VEX_LOG_SCOPE("CPPAPIHelper::PPInitialize");
    ComPtr<IMMDeviceEnumerator> enumerator;
    HRESULT hr = CoCreateInstance(Guids::kClsidMMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                  Guids::kIidIMMDeviceEnumerator, enumerator.ReceiveVoid());
    if (FAILED(hr)) {
        VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                 "Failed to initialize COM instance MMDeviceEnumerator! [0x%.8x]%s");
        return -1;
    }
    ComPtr<IMMDeviceCollection> endpoints;
    hr = Received(enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, endpoints.Receive()),
                  endpoints);
    if (FAILED(hr)) {
        VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                 "EnumAudioEndpoints failed! [0x%.8x]%s");
        return -1;
    }
    UINT count = 0;
    hr = endpoints->GetCount(&count);
    if (FAILED(hr)) {
        VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                 "GetCount for devices list failed! [0x%.8x]%s");
        return -1;
    }
    VEX_LOG(kLevelInformation, "CPPAPIHelper::PPInitialize", "Devices count: %d", count);
    for (UINT index = 0; index < count; ++index) {
        if (const std::optional<LONG> end =
                ExamineEndpoint(enumerator.Get(), endpoints.Get(), index)) {
            return *end;
        }
    }
    return m_ModuleList.empty() ? 1 : 0;
}

std::optional<LONG> CPPAPIHelper::ExamineEndpoint(IMMDeviceEnumerator* enumerator,
                                                  IMMDeviceCollection* endpoints, UINT index) {
    VEX_LOG(kLevelInformation, "CPPAPIHelper::PPInitialize", "Next device...");
    ComPtr<IMMDevice> device;
    HRESULT hr = Received(endpoints->Item(index, device.Receive()), device);
    if (FAILED(hr)) {
        VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                 "Failed to get device from collection! [0x%.8x]%s");
        return -1;
    }
    ScopedCoMem<WCHAR> id;
    hr = device->GetId(id.Receive());
    if (SUCCEEDED(hr) && id.Get() == nullptr) {
        hr = E_POINTER;
    }
    if (FAILED(hr)) {
        VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                 "Failed to get device id! [0x%.8x]%s");
        return -1;
    }
    VEX_LOG(kLevelInformation, "CPPAPIHelper::PPInitialize", "Current device id: %s", id.Get());

    // Each endpoint starts from an empty working record and pin set, so that nothing found
    // behind one endpoint is tried on or written into the next.
    EndpointModuleRecord working;
    working.deviceId = BstrFromText(id.Get());
    for (const EndpointModuleRecord& record : m_ModuleList) {
        if (VarBstrCmp(working.deviceId.Get(), record.deviceId.Get(), LOCALE_USER_DEFAULT, 0) ==
            VARCMP_EQ) {
            VEX_LOG(kLevelInformation, "CPPAPIHelper::PPInitialize",
                    "Current device id: %s already exist in m_ModuleList.", id.Get());
            return std::nullopt;
        }
    }
    if (const std::optional<LONG> end = ReadEndpointIdentity(device.Get(), &working)) {
        return end;
    }

    ComPtr<IMMEndpoint> endpoint;
    hr = device.QueryInterface(Guids::kIidIMMEndpoint, &endpoint);
    if (FAILED(hr)) {
        VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                 "Endpoint interface query failed! [0x%.8x]%s");
        return -1;
    }
    EDataFlow dataFlow = eRender;
    hr = endpoint->GetDataFlow(&dataFlow);
    if (FAILED(hr)) {
        VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr, "GetDataFlow failed! [0x%.8x]%s");
        return -1;
    }
    ComPtr<IDeviceTopology> topology;
    hr = Received(
        device->Activate(Guids::kIidIDeviceTopology, CLSCTX_ALL, nullptr, topology.ReceiveVoid()),
        topology);
    if (FAILED(hr)) {
        VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                 "Device activation failed! [0x%.8x]%s");
        return -1;
    }
    ComPtr<IConnector> current;
    hr = Received(topology->GetConnector(0, current.Receive()), current);
    if (FAILED(hr)) {
        VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                 "GetConnector failed! [0x%.8x]%s");
        return -1;
    }

    std::set<ULONG> pinIds;
    ComPtr<IPart> connectorPart;
    bool useConnectorPins = false;
    hr = WalkToSoftwareConnector(static_cast<ULONG>(dataFlow), enumerator, &current, &connectorPart,
                                 &useConnectorPins, &pinIds);
    if (hr != S_OK) {
        VEX_FAIL(kLevelWarning, "CPPAPIHelper::PPInitialize", hr,
                 "Software IO connector not found! [0x%.8x]%s");
        return std::nullopt;
    }
    ComPtr<IKsControl> control;
    if (FAILED(OpenWaveFilter(enumerator, current.Get(), connectorPart.Get(), useConnectorPins,
                              &pinIds, &control))) {
        return std::nullopt;
    }
    QueryVendorModules(control.Get(), pinIds, &working);
    return std::nullopt;
}

void CPPAPIHelper::QueryVendorModules(IKsControl* control, const std::set<ULONG>& pinIds,
                                      EndpointModuleRecord* working) {
    VEX_LOG(kLevelInformation, "CPPAPIHelper::PPInitialize",
            "Begging to look for a connector that supports PP API...");
    GUID classId{};
    ULONG instanceId = 0;
    const HRESULT hr = QueryPPAudioModule(control, &classId, &instanceId);
    audioModuleFound = SUCCEEDED(hr);
    if (!audioModuleFound) {
        VEX_FAIL(kLevelInformation, "CPPAPIHelper::PPInitialize", hr,
                 "Query audio module for PP configuration failed! Result: [0x%.8x]%s");
    }
    bool appended = false;
    for (const ULONG pinId : pinIds) {
        VEX_LOG(kLevelInformation, "CPPAPIHelper::PPInitialize", "Using pin id:  %d", pinId);
        VEX_LOG(kLevelInformation, "CPPAPIHelper::PPInitialize",
                "Testing PP API; comparing versions...");
        const HRESULT found = audioModuleFound
                                  ? LookForPPAudioModuleConnectorId_Intel(pinId, control, classId,
                                                                          instanceId, working)
                                  : LookForPPModuleConnectorId_Intel(pinId, control, working);
        if (SUCCEEDED(found)) {
            m_ModuleList.push_back(working->Copy());
            appended = true;
        }
    }
    if (!appended && SUCCEEDED(LookForPPModuleConnectorId_AMD(control, working))) {
        m_ModuleList.push_back(working->Copy());
    }
}

HRESULT CPPAPIHelper::QueryPPAudioModule(IKsControl* control, GUID* classId, ULONG* instanceId) {
    if (control == nullptr) {
        return E_INVALIDARG;
    }
    ModuleRequest request = ModuleRequest::Property(
        KSPROPSETID_AudioModule, KSPROPERTY_AUDIOMODULE_DESCRIPTORS, KSPROPERTY_TYPE_GET);
    ULONG size = 0;
    HRESULT hr = request.Send(control, nullptr, 0, &size);
    if ((SUCCEEDED(hr) || hr == kMoreData) &&
        (size < sizeof(KSMULTIPLE_ITEM) || size > kMaxListBytes)) {
        hr = kMalformedAnswer;
    }
    if (FAILED(hr) && hr != kMoreData) {
        VEX_FAIL(kLevelWarning, "CPPAPIHelper::QueryPPAudioModule", hr,
                 "Unable to get the required size of the buffer for getting audio module "
                 "descriptor, HRESULT: [0x%.8x]%s");
        return kNotFound;
    }
    // A list that cannot be allocated is a failed read: the module is not found.
    std::vector<BYTE> list;
    ULONG returned = 0;
    try {
        list.assign(size, 0);
        hr = request.Send(control, list.data(), size, &returned);
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    KSMULTIPLE_ITEM header{};
    if (SUCCEEDED(hr)) {
        if (returned >= sizeof header) {
            std::memcpy(&header, list.data(), sizeof header);
        }
        const uint64_t needed =
            sizeof header + uint64_t{header.Count} * sizeof(KSAUDIOMODULE_DESCRIPTOR);
        if (returned < sizeof header || needed > header.Size || needed > returned) {
            hr = kMalformedAnswer;
        }
    }
    if (FAILED(hr)) {
        VEX_FAIL(kLevelWarning, "CPPAPIHelper::QueryPPAudioModule", hr,
                 "Failed to get audio module descriptor, HRESULT: [0x%.8x]%s");
        return kNotFound;
    }
    for (ULONG i = 0; i < header.Count; ++i) {
        KSAUDIOMODULE_DESCRIPTOR descriptor;
        std::memcpy(&descriptor, list.data() + sizeof header + size_t{i} * sizeof descriptor,
                    sizeof descriptor);
        if (IsEqualGUID(descriptor.ClassId, VendorKs::kAudioModuleClass)) {
            *classId = descriptor.ClassId;
            *instanceId = descriptor.InstanceId;
            return hr;
        }
    }
    return kNotFound;
}

HRESULT CPPAPIHelper::SearchIntelModule(ULONG pinId, IKsControl* control,
                                        const AudioModuleAddress* wrap,
                                        EndpointModuleRecord* record) {
    const WCHAR* function = wrap != nullptr
                                ? TEXT("CPPAPIHelper::LookForPPAudioModuleConnectorId_Intel")
                                : TEXT("CPPAPIHelper::LookForPPModuleConnectorId_Intel");
    IntelSearchTexts texts = kInventoryTexts;
    texts.function = function;
    VendorKs::ModuleEntry entry;
    const WCHAR* label = nullptr;
    HRESULT hr = FindLabelledModule(pinId, control, wrap, texts, &entry, &label);
    if (FAILED(hr)) {
        return hr;
    }
    ScopedBstr name;
    ScopedBstr version;
    hr = NarrowToBstr(entry.name, *BoundedLength(entry.name, sizeof entry.name), &name);
    if (SUCCEEDED(hr)) {
        hr = NarrowToBstr(entry.version, *BoundedLength(entry.version, sizeof entry.version),
                          &version);
    }
    if (FAILED(hr)) {
        return Util::LogFailure(kLevelWarning, VEX_LOG_FILE, __LINE__, function, hr,
                                TEXT("Failed to read module name and version! [0x%.8x]%s"));
    }
    record->versionLabel = BstrFromText(label);
    record->moduleName = std::move(name);
    record->moduleVersion = std::move(version);
    record->pinId = pinId;
    record->moduleGuid = entry.moduleGuid;
    record->moduleType = entry.moduleType;
    record->vendorSet = 0;
    record->ksControl = ComPtr<IKsControl>(control);
    record->audioModule = wrap != nullptr ? 1 : 0;
    if (wrap != nullptr) {
        record->audioModuleClassId = wrap->classId;
        record->audioModuleInstanceId = wrap->instanceId;
    }
    return S_OK;
}

HRESULT CPPAPIHelper::LookForPPAudioModuleConnectorId_Intel(ULONG pinId, IKsControl* control,
                                                            const GUID& classId, ULONG instanceId,
                                                            EndpointModuleRecord* record) {
    VEX_LOG_SCOPE("CPPAPIHelper::LookForPPAudioModuleConnectorId_Intel");
    const AudioModuleAddress wrap{classId, instanceId};
    return SearchIntelModule(pinId, control, &wrap, record);
}

HRESULT CPPAPIHelper::LookForPPModuleConnectorId_Intel(ULONG pinId, IKsControl* control,
                                                       EndpointModuleRecord* record) {
    VEX_LOG_SCOPE("CPPAPIHelper::LookForPPModuleConnectorId_Intel");
    return SearchIntelModule(pinId, control, nullptr, record);
}

HRESULT CPPAPIHelper::ProbeAmdModules(IKsControl* control, const GUID** found,
                                      const WCHAR** label) {
    for (const auto& [guid, rowLabel] : AmdModuleVersionLabels) {
        BYTE presence[VendorKs::kAmdPresenceSize] = {};
        ULONG returned = 0;
        const HRESULT hr = ModuleRequest::Amd(VendorKs::kAmdModulePresence, KSPROPERTY_TYPE_GET,
                                              guid, VendorKs::kModuleTypeEfx, 0)
                               .Send(control, presence, sizeof presence, &returned);
        if (SUCCEEDED(hr) && returned >= 1 && presence[0] != 0) {
            *found = &guid;
            *label = rowLabel;
            return hr;
        }
    }
    return E_FAIL;
}

HRESULT CPPAPIHelper::LookForPPModuleConnectorId_AMD(IKsControl* control,
                                                     EndpointModuleRecord* record) {
    VEX_LOG_SCOPE("CPPAPIHelper::LookForPPModuleConnectorId_AMD");
    const GUID* guid = nullptr;
    const WCHAR* label = nullptr;
    const HRESULT hr = ProbeAmdModules(control, &guid, &label);
    if (FAILED(hr)) {
        return hr;
    }
    ScopedBstr labelText(label);
    ScopedBstr name(TEXT("drova-amd"));
    ScopedBstr version(TEXT(""));
    if (labelText.Get() == nullptr || name.Get() == nullptr || version.Get() == nullptr) {
        return E_OUTOFMEMORY;
    }
    record->moduleGuid = *guid;
    record->moduleType = VendorKs::kModuleTypeEfx;
    record->vendorSet = 1;
    record->audioModule = 0;
    record->ksControl = ComPtr<IKsControl>(control);
    record->versionLabel = std::move(labelText);
    record->moduleName = std::move(name);
    record->moduleVersion = std::move(version);
    VEX_LOG(kLevelInformation, "CPPAPIHelper::LookForPPModuleConnectorId_AMD",
            "Tembra AMD module info is found, version %s", label);
    return S_OK;
}

HRESULT CPPAPIHelper::LookForTembraModuleInfo_Intel(IKsControl* control, ULONG pinId,
                                                    const GUID& classId, ULONG instanceId,
                                                    VendorKs::ModuleEntry* entry) {
    VEX_LOG_SCOPE("CPPAPIHelper::LookForTembraModuleInfo_Intel");
    const AudioModuleAddress address{classId, instanceId};
    const AudioModuleAddress* wrap = IsEqualGUID(classId, GUID_NULL) ? nullptr : &address;
    const WCHAR* label = nullptr;
    const HRESULT hr = FindLabelledModule(pinId, control, wrap, kLookupTexts, entry, &label);
    if (FAILED(hr)) {
        return hr;
    }
    std::memset(entry->version, 0, sizeof entry->version);
    for (size_t i = 0; i + 1 < sizeof entry->version && label[i] != 0; ++i) {
        entry->version[i] = static_cast<char>(label[i]);
    }
    VEX_LOG(kLevelInformation, "CPPAPIHelper::LookForTembraModuleInfo_Intel",
            "Found DSP module, name = %S, version = %S, type = %d", entry->name, entry->version,
            entry->moduleType);
    return S_OK;
}

HRESULT CPPAPIHelper::TembraModuleExist(IUnknown* collection, ULONG deviceIndex,
                                        ULONG connectorIndex) {
    VEX_LOG_SCOPE("CPPAPIHelper::TembraModuleExist");
    ComPtr<IMMDeviceCollection> devices;
    if (collection == nullptr ||
        FAILED(collection->QueryInterface(Guids::kIidIMMDeviceCollection, devices.ReceiveVoid())) ||
        !devices) {
        VEX_LOG(kLevelWarning, "CPPAPIHelper::TembraModuleExist",
                "Query interface IMMDeviceCollection failed.");
        return E_NOINTERFACE;
    }
    ComPtr<IMMDevice> device;
    HRESULT hr = Received(devices->Item(deviceIndex, device.Receive()), device);
    if (FAILED(hr)) {
        return VEX_FAIL(kLevelWarning, "CPPAPIHelper::TembraModuleExist", hr,
                        "Failed to get device: [0x%.8x]%s");
    }
    ComPtr<IDeviceTopology> topology;
    hr = Received(
        device->Activate(Guids::kIidIDeviceTopology, CLSCTX_ALL, nullptr, topology.ReceiveVoid()),
        topology);
    if (FAILED(hr)) {
        return VEX_FAIL(kLevelWarning, "CPPAPIHelper::TembraModuleExist", hr,
                        "Failed to active device IDeviceTopology: [0x%.8x]%s");
    }
    ComPtr<IConnector> connector;
    hr = Received(topology->GetConnector(connectorIndex, connector.Receive()), connector);
    if (FAILED(hr)) {
        return VEX_FAIL(kLevelWarning, "CPPAPIHelper::TembraModuleExist", hr,
                        "Failed to get connector: [0x%.8x]%s");
    }
    ComPtr<IPart> part;
    if (FAILED(connector.QueryInterface(Guids::kIidIPart, &part)) || !part) {
        VEX_LOG(kLevelWarning, "CPPAPIHelper::TembraModuleExist", "Query interface IPart failed.");
        return E_NOINTERFACE;
    }
    UINT localId = 0;
    hr = part->GetLocalId(&localId);
    if (FAILED(hr)) {
        return VEX_FAIL(kLevelWarning, "CPPAPIHelper::TembraModuleExist", hr,
                        "Failed to get local id: [0x%.8x]%s");
    }
    const ULONG pinId = PinOf(localId);
    ComPtr<IKsControl> control;
    hr = Received(
        device->Activate(Guids::kIidIKsControl, CLSCTX_ALL, nullptr, control.ReceiveVoid()),
        control);
    if (FAILED(hr)) {
        return VEX_FAIL(kLevelWarning, "CPPAPIHelper::TembraModuleExist", hr,
                        "Failed to active device IKsControl: [0x%.8x]%s");
    }

    GUID classId{};
    ULONG instanceId = 0;
    hr = QueryPPAudioModule(control.Get(), &classId, &instanceId);
    if (FAILED(hr)) {
        VEX_FAIL(kLevelInformation, "CPPAPIHelper::TembraModuleExist", hr,
                 "Query audio module for PP configuration failed! Result: [0x%.8x]%s");
        classId = GUID_NULL;
    }
    VendorKs::ModuleEntry entry{};
    if (SUCCEEDED(
            LookForTembraModuleInfo_Intel(control.Get(), pinId, classId, instanceId, &entry))) {
        const AudioModuleAddress address{classId, instanceId};
        const AudioModuleAddress* wrap = IsEqualGUID(classId, GUID_NULL) ? nullptr : &address;
        BYTE instantiated = 0;
        ULONG returned = 0;
        hr = ModuleRequest::Vendor(VendorKs::kInstantiationState, KSPROPERTY_TYPE_GET, pinId, wrap)
                 .AppendModuleHeader(entry.moduleType, entry.moduleGuid)
                 .Send(control.Get(), &instantiated, sizeof instantiated, &returned);
        if (SUCCEEDED(hr) && returned < 1) {
            hr = kMalformedAnswer;
        }
        if (FAILED(hr)) {
            VEX_FAIL(kLevelWarning, "CPPAPIHelper::TembraModuleExist", hr,
                     "Failed to GetAudioModuleInstantiationState_Intel: [0x%.8x]%s");
        } else if (instantiated != 0) {
            return hr;
        }
    }
    const GUID* guid = nullptr;
    const WCHAR* label = nullptr;
    hr = ProbeAmdModules(control.Get(), &guid, &label);
    if (SUCCEEDED(hr)) {
        return hr;
    }
    VEX_LOG(kLevelWarning, "CPPAPIHelper::TembraModuleExist", "fInstantiated is false.");
    return E_FAIL;
}
