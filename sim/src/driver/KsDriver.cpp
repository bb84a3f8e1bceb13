#include "driver/KsDriver.h"

#include "KsAudioModule.h"

#include <algorithm>
#include <cstring>

namespace vexsim {

namespace {

const HRESULT kInvalid = HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER);
const HRESULT kNotSupported = HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
const HRESULT kTooSmall = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
const HRESULT kMoreData = HRESULT_FROM_WIN32(ERROR_MORE_DATA);

constexpr ULONG kGet = KSPROPERTY_TYPE_GET;
constexpr ULONG kSet = KSPROPERTY_TYPE_SET;

// Offsets inside the pin form (a KSP_PIN, then the module header and what follows it).
constexpr size_t kPinIdOffset = 24;
constexpr size_t kPinReservedOffset = 28;
constexpr size_t kHeaderOffset = 32;
constexpr size_t kHeaderTypeOffset = kHeaderOffset + 16;
constexpr size_t kHeaderGuidOffset = kHeaderOffset + 20;
constexpr size_t kAfterHeader = kHeaderOffset + 36;                  // 68
constexpr size_t kAudioModuleHead = sizeof(KSAUDIOMODULE_PROPERTY);  // 48

uint32_t U32(const uint8_t* p, size_t offset) {
    return static_cast<uint32_t>(p[offset]) | (static_cast<uint32_t>(p[offset + 1]) << 8) |
           (static_cast<uint32_t>(p[offset + 2]) << 16) |
           (static_cast<uint32_t>(p[offset + 3]) << 24);
}

void PutU32(uint8_t* p, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        p[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

GUID GuidAt(const uint8_t* p, size_t offset) {
    GUID guid;
    guid.Data1 = U32(p, offset);
    guid.Data2 = static_cast<uint16_t>(p[offset + 4] | (p[offset + 5] << 8));
    guid.Data3 = static_cast<uint16_t>(p[offset + 6] | (p[offset + 7] << 8));
    std::memcpy(guid.Data4, p + offset + 8, 8);
    return guid;
}

void PutGuid(uint8_t* p, size_t offset, const GUID& guid) {
    PutU32(p, offset, guid.Data1);
    p[offset + 4] = static_cast<uint8_t>(guid.Data2);
    p[offset + 5] = static_cast<uint8_t>(guid.Data2 >> 8);
    p[offset + 6] = static_cast<uint8_t>(guid.Data3);
    p[offset + 7] = static_cast<uint8_t>(guid.Data3 >> 8);
    std::memcpy(p + offset + 8, guid.Data4, 8);
}

bool Same(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

bool ZeroFrom(const uint8_t* p, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
        if (p[i] != 0) {
            return false;
        }
    }
    return true;
}

// The request's flags against the one direction the property takes: the other plain direction
// is not supported, anything else is malformed.
HRESULT CheckFlags(ULONG flags, ULONG wanted) {
    if (flags == wanted) {
        return S_OK;
    }
    return flags == kGet || flags == kSet ? kNotSupported : kInvalid;
}

// A fixed-size answer: a request without a data buffer learns the size (ERROR_MORE_DATA), a
// smaller buffer is refused.
HRESULT CheckFixedData(const uint8_t* data, ULONG dataLength, size_t size, ULONG* returned) {
    if (data == nullptr || dataLength == 0) {
        *returned = static_cast<ULONG>(size);
        return kMoreData;
    }
    return dataLength < size ? kTooSmall : S_OK;
}

// A list answer whose size query answers as the filter is configured.
HRESULT CheckListData(const uint8_t* data, ULONG dataLength, size_t size, SizeQuery query,
                      ULONG* returned) {
    if (data == nullptr || dataLength == 0) {
        *returned = static_cast<ULONG>(size);
        return query == SizeQuery::MoreData ? kMoreData : S_OK;
    }
    return dataLength < size ? kTooSmall : S_OK;
}

const char* Direction(ULONG flags) {
    const ULONG plain = flags & (kGet | kSet);
    return plain == kGet ? "get" : plain == kSet ? "set" : nullptr;
}

const char* VendorKind(ULONG id) {
    switch (id) {
        case VendorKs::kInterfaceVersion:
            return "interfaceVersion";
        case VendorKs::kModuleList:
            return "moduleList";
        case VendorKs::kModuleEnable:
            return "moduleEnable";
        case VendorKs::kModuleParameter:
            return "moduleParam";
        case VendorKs::kUnregisterNotification:
            return "unregister";
        case VendorKs::kInstantiationState:
            return "instantiationState";
        default:
            return "unknown";
    }
}

void ClassifyVendor(const uint8_t* p, size_t n, size_t base, KsRequestInfo* info) {
    if (n < base + sizeof(KSP_PIN)) {
        return;
    }
    const ULONG id = U32(p, base + 16);
    info->kind = VendorKind(id);
    info->direction = Direction(U32(p, base + 20));
    info->pin = U32(p, base + kPinIdOffset);
    if (id != VendorKs::kInterfaceVersion && id != VendorKs::kModuleList &&
        n >= base + kAfterHeader) {
        info->module = GuidAt(p, base + kHeaderGuidOffset);
    }
    if (id == VendorKs::kModuleParameter && n >= base + kAfterHeader + 4) {
        info->param = U32(p, base + kAfterHeader);
    }
}

// ---- module parameters -----------------------------------------------------------------------

HRESULT ReadParam(const VendorModule& module, ULONG id, std::vector<uint8_t>* value) {
    const auto it = module.params.find(id);
    if (it != module.params.end()) {
        *value = it->second.bytes;
        return S_OK;
    }
    if (module.set == ModuleSet::Amd && id == 1001) {
        value->assign(module.version.begin(), module.version.end());
        value->push_back(0);
        return S_OK;
    }
    if (!module.acceptOthers) {
        return kInvalid;
    }
    value->assign(module.otherLength, 0);
    return S_OK;
}

HRESULT WriteParam(VendorModule& module, ULONG id, const uint8_t* bytes, size_t length) {
    auto it = module.params.find(id);
    if (it == module.params.end()) {
        if (!module.acceptOthers) {
            return kInvalid;
        }
        ModuleParam param;
        param.asWords = length % 4 == 0;
        it = module.params.emplace(id, param).first;
    } else if (it->second.fixedLength && it->second.bytes.size() != length) {
        return kInvalid;
    }
    it->second.bytes.assign(bytes, bytes + length);
    return S_OK;
}

// ---- the vendor module set -------------------------------------------------------------------

struct VendorContext {
    Device* filter;
    FilterDriver* driver;
    const uint8_t* p;  // the whole property
    size_t n;
    size_t base;  // where the KSP_PIN starts: 0 in the pin form, 48 in the audio-module form
    bool audioModuleForm;
    const AudioModuleDescriptor* descriptor;  // the addressed audio module (audio-module form)
    uint8_t* data;
    ULONG dataLength;
    ULONG* returned;
};

bool FilterHasPin(const Device& filter, ULONG pin) {
    for (const Part& part : filter.topology.parts) {
        if (part.kind == PartKind::Connector && (part.localId & 0xFFFF) == pin) {
            return true;
        }
    }
    for (const VendorModule& module : filter.driver.modules) {
        if (std::find(module.pins.begin(), module.pins.end(), pin) != module.pins.end()) {
            return true;
        }
    }
    return false;
}

// The vendor modules that answer on the pin in the request's form.
std::vector<VendorModule*> Reachable(const VendorContext& c, ULONG pin) {
    std::vector<VendorModule*> found;
    for (VendorModule& module : c.driver->modules) {
        if (module.set != ModuleSet::Vendor ||
            std::find(module.pins.begin(), module.pins.end(), pin) == module.pins.end()) {
            continue;
        }
        if (c.audioModuleForm
                ? module.audioModuleForm && Same(module.classId, c.descriptor->classId) &&
                      module.instanceId == c.descriptor->instanceId
                : module.pinForm) {
            found.push_back(&module);
        }
    }
    return found;
}

// The exact property length of a request in the request's form: `pinFormLength` in the pin
// form; in the audio-module form the 48-byte head comes first and the whole is padded to 8.
size_t FormLength(const VendorContext& c, size_t pinFormLength) {
    if (!c.audioModuleForm) {
        return pinFormLength;
    }
    return (kAudioModuleHead + pinFormLength + 7) / 8 * 8;
}

HRESULT ModuleListAnswer(const VendorContext& c, const std::vector<VendorModule*>& modules) {
    const size_t size =
        sizeof(VendorKs::ModuleListHeader) + modules.size() * sizeof(VendorKs::ModuleEntry);
    const HRESULT hr =
        CheckListData(c.data, c.dataLength, size, c.driver->moduleListSizeQuery, c.returned);
    if (c.data == nullptr || c.dataLength == 0 || FAILED(hr)) {
        return hr;
    }
    std::memset(c.data, 0, size);
    PutU32(c.data, 0, static_cast<uint32_t>(size));
    PutU32(c.data, 4, static_cast<uint32_t>(modules.size()));
    size_t at = sizeof(VendorKs::ModuleListHeader);
    for (const VendorModule* module : modules) {
        PutU32(c.data, at, module->type);
        PutGuid(c.data, at + 4, module->guid);
        std::memcpy(c.data + at + 20, module->name.data(),
                    std::min<size_t>(module->name.size(), 63));
        std::memcpy(c.data + at + 84, module->version.data(),
                    std::min<size_t>(module->version.size(), 63));
        at += sizeof(VendorKs::ModuleEntry);
    }
    *c.returned = static_cast<ULONG>(size);
    return S_OK;
}

HRESULT ParamGet(const VendorContext& c, VendorModule& module, ULONG id) {
    HRESULT hr = CheckFixedData(c.data, c.dataLength, VendorKs::kParamBlockSize, c.returned);
    if (FAILED(hr)) {
        return hr;
    }
    std::vector<uint8_t> value;
    hr = ReadParam(module, id, &value);
    if (FAILED(hr)) {
        return hr;
    }
    PutU32(c.data, 0, static_cast<uint32_t>(value.size()));
    std::memcpy(c.data + 4, value.data(), value.size());
    *c.returned = static_cast<ULONG>(4 + value.size());
    return S_OK;
}

HRESULT Vendor(const VendorContext& c) {
    const uint8_t* p = c.p;
    const size_t b = c.base;
    const ULONG id = U32(p, b + 16);
    const ULONG flags = U32(p, b + 20);
    const ULONG pin = U32(p, b + kPinIdOffset);
    if (U32(p, b + kPinReservedOffset) != 0 || !FilterHasPin(*c.filter, pin)) {
        return kInvalid;
    }
    const std::vector<VendorModule*> modules = Reachable(c, pin);
    if (modules.empty()) {
        return kNotSupported;  // the set is not served on this pin in this form
    }
    if (id == VendorKs::kInterfaceVersion) {
        HRESULT hr = CheckFlags(flags, kGet);
        if (SUCCEEDED(hr) && c.n != FormLength(c, kHeaderOffset)) {
            hr = kInvalid;
        }
        if (SUCCEEDED(hr)) {
            hr = CheckFixedData(c.data, c.dataLength, VendorKs::kInterfaceVersionSize, c.returned);
        }
        if (FAILED(hr)) {
            return hr;
        }
        std::memset(c.data, 0, VendorKs::kInterfaceVersionSize);
        c.data[0] = static_cast<uint8_t>(c.driver->interfaceVersion);
        *c.returned = VendorKs::kInterfaceVersionSize;
        return S_OK;
    }
    if (id == VendorKs::kModuleList) {
        HRESULT hr = CheckFlags(flags, kGet);
        if (SUCCEEDED(hr) && (c.n != FormLength(c, kHeaderOffset + 16) ||
                              !Same(GuidAt(p, b + kHeaderOffset), VendorKs::kModuleAddress) ||
                              !ZeroFrom(p, b + kHeaderOffset + 16, c.n))) {
            hr = kInvalid;
        }
        return FAILED(hr) ? hr : ModuleListAnswer(c, modules);
    }
    if (id != VendorKs::kModuleEnable && id != VendorKs::kModuleParameter &&
        id != VendorKs::kUnregisterNotification && id != VendorKs::kInstantiationState) {
        return kNotSupported;
    }
    // Requests addressed to one module: the header must name one that answers here.
    if (c.n < b + kAfterHeader || !Same(GuidAt(p, b + kHeaderOffset), VendorKs::kModuleAddress)) {
        return kInvalid;
    }
    const GUID guid = GuidAt(p, b + kHeaderGuidOffset);
    VendorModule* module = nullptr;
    for (VendorModule* candidate : modules) {
        if (Same(candidate->guid, guid)) {
            module = candidate;
        }
    }
    if (module == nullptr || U32(p, b + kHeaderTypeOffset) != module->type) {
        return kInvalid;
    }
    const size_t after = b + kAfterHeader;  // the first byte after the header
    switch (id) {
        case VendorKs::kInstantiationState: {
            HRESULT hr = CheckFlags(flags, kGet);
            if (SUCCEEDED(hr) && (c.n != FormLength(c, kAfterHeader) || !ZeroFrom(p, after, c.n))) {
                hr = kInvalid;
            }
            if (SUCCEEDED(hr)) {
                hr = CheckFixedData(c.data, c.dataLength, VendorKs::kInstantiationStateSize,
                                    c.returned);
            }
            if (FAILED(hr)) {
                return hr;
            }
            c.data[0] = module->instantiated ? 1 : 0;
            *c.returned = VendorKs::kInstantiationStateSize;
            return S_OK;
        }
        case VendorKs::kModuleEnable: {
            if (flags != kGet && flags != kSet) {
                return kInvalid;
            }
            const bool set = flags == kSet;
            // Pin form: the selector byte, the value in the data buffer. Audio-module form:
            // the selector byte and, for a set, the value byte inside the property.
            const size_t used = c.audioModuleForm && set ? 2 : 1;
            if (c.n != FormLength(c, kAfterHeader + 1) || p[after] != (set ? 1 : 0) ||
                !ZeroFrom(p, after + used, c.n)) {
                return kInvalid;
            }
            if (set) {
                uint8_t value = 0;
                if (c.audioModuleForm) {
                    value = p[after + 1];
                } else {
                    if (c.data == nullptr || c.dataLength < 1) {
                        return kInvalid;
                    }
                    value = c.data[0];
                }
                if (value > 1) {
                    return kInvalid;
                }
                module->enabled = value == 1;
                *c.returned = 0;
                return S_OK;
            }
            const HRESULT hr = CheckFixedData(c.data, c.dataLength, 1, c.returned);
            if (FAILED(hr)) {
                return hr;
            }
            c.data[0] = module->enabled ? 1 : 0;
            *c.returned = 1;
            return S_OK;
        }
        case VendorKs::kModuleParameter: {
            if (flags != kGet && flags != kSet) {
                return kInvalid;
            }
            if (c.n < after + 5) {
                return kInvalid;
            }
            const ULONG param = U32(p, after);
            const uint8_t flag = p[after + 4];
            if (flags == kGet) {
                if (c.n != FormLength(c, kAfterHeader + 5) || flag != ExpectedReadFlag(param) ||
                    !ZeroFrom(p, after + 5, c.n)) {
                    return kInvalid;
                }
                return ParamGet(c, *module, param);
            }
            if (flag != 1) {
                return kInvalid;
            }
            const uint8_t* block = nullptr;  // length, then the value
            size_t blockEnd = 0;
            if (c.audioModuleForm) {
                // The length and the value follow the flag inside the property, unaligned.
                if (c.n != FormLength(c, kAfterHeader + 5 + VendorKs::kParamBlockSize)) {
                    return kInvalid;
                }
                block = p + after + 5;
                blockEnd = c.n - (after + 5);
            } else {
                if (c.n != kAfterHeader + 5) {
                    return kInvalid;
                }
                if (c.data == nullptr) {
                    return kInvalid;
                }
                if (c.dataLength < VendorKs::kParamBlockSize) {
                    return kTooSmall;
                }
                block = c.data;
                blockEnd = c.dataLength;
            }
            const uint32_t length = U32(block, 0);
            if (length > VendorKs::kParamDataCapacity || !ZeroFrom(block, 4 + length, blockEnd)) {
                return kInvalid;
            }
            const HRESULT hr = WriteParam(*module, param, block + 4, length);
            *c.returned = 0;
            return hr;
        }
        default: {  // notification unregistration
            HRESULT hr = CheckFlags(flags, kSet);
            if (FAILED(hr)) {
                return hr;
            }
            if (c.audioModuleForm) {
                // The cookie follows the header inside the property.
                if (c.n != FormLength(c, kAfterHeader + 8) || !ZeroFrom(p, after + 8, c.n)) {
                    return kInvalid;
                }
            } else if (c.n != kAfterHeader || c.data == nullptr || c.dataLength < 8) {
                return kInvalid;
            }
            *c.returned = 0;
            return S_OK;
        }
    }
}

// ---- the set of AMD-type modules -------------------------------------------------------------

HRESULT Amd(FilterDriver& driver, const uint8_t* p, size_t n, uint8_t* data, ULONG dataLength,
            ULONG* returned) {
    bool offered = false;
    for (const VendorModule& module : driver.modules) {
        offered = offered || module.set == ModuleSet::Amd;
    }
    const ULONG id = U32(p, 16);
    const ULONG flags = U32(p, 20);
    if (!offered || (id != VendorKs::kAmdModulePresence && id != VendorKs::kAmdModuleParameter)) {
        return kNotSupported;
    }
    if (n != sizeof(VendorKs::AmdRequest)) {
        return kInvalid;
    }
    const GUID guid = GuidAt(p, 24);
    const ULONG type = U32(p, 40);
    const ULONG param = U32(p, 44);
    VendorModule* module = driver.FindModule(guid);
    if (module != nullptr && module->set != ModuleSet::Amd) {
        module = nullptr;
    }
    if (id == VendorKs::kAmdModulePresence) {
        HRESULT hr = CheckFlags(flags, kGet);
        if (SUCCEEDED(hr) && (param != 0 || (module != nullptr && type != module->type))) {
            hr = kInvalid;
        }
        if (SUCCEEDED(hr)) {
            hr = CheckFixedData(data, dataLength, VendorKs::kAmdPresenceSize, returned);
        }
        if (FAILED(hr)) {
            return hr;
        }
        std::memset(data, 0, VendorKs::kAmdPresenceSize);
        data[0] = module != nullptr && module->present ? 1 : 0;
        *returned = VendorKs::kAmdPresenceSize;
        return S_OK;
    }
    if (flags != kGet && flags != kSet) {
        return kInvalid;
    }
    if (module == nullptr || type != module->type) {
        return kInvalid;
    }
    const size_t capacity = VendorKs::kAmdParamBlockSize - 4;
    if (flags == kGet) {
        HRESULT hr = CheckFixedData(data, dataLength, VendorKs::kAmdParamBlockSize, returned);
        std::vector<uint8_t> value;
        if (SUCCEEDED(hr)) {
            hr = ReadParam(*module, param, &value);
        }
        if (FAILED(hr)) {
            return hr;
        }
        // A value longer than the block states its length but fills the block only.
        const size_t copied = std::min(value.size(), capacity);
        std::memset(data, 0, VendorKs::kAmdParamBlockSize);
        PutU32(data, 0, static_cast<uint32_t>(value.size()));
        std::memcpy(data + 4, value.data(), copied);
        *returned = static_cast<ULONG>(4 + copied);
        return S_OK;
    }
    if (data == nullptr) {
        return kInvalid;
    }
    if (dataLength < VendorKs::kAmdParamBlockSize) {
        return kTooSmall;
    }
    const uint32_t length = U32(data, 0);
    if (length > capacity || !ZeroFrom(data, 4 + length, dataLength)) {
        return kInvalid;
    }
    *returned = 0;
    return WriteParam(*module, param, data + 4, length);
}

// ---- standard sets ---------------------------------------------------------------------------

bool FilterHasNode(const Device& filter, ULONG node) {
    for (const Part& part : filter.topology.parts) {
        if (part.kind == PartKind::Subunit && (part.localId & 0xFFFF) == node) {
            return true;
        }
    }
    return false;
}

HRESULT Engine(const Device& filter, const uint8_t* p, size_t n, uint8_t* data, ULONG dataLength,
               ULONG* returned) {
    const ULONG id = U32(p, 16);
    const ULONG flags = U32(p, 20);
    if (id != KSPROPERTY_AUDIOENGINE_DESCRIPTOR) {
        return kNotSupported;
    }
    if (flags == kGet || flags == (kSet | KSPROPERTY_TYPE_TOPOLOGY)) {
        return flags == kGet ? kInvalid : kNotSupported;  // no node addressed / read-only
    }
    if (flags != (kGet | KSPROPERTY_TYPE_TOPOLOGY) || n != sizeof(KSP_NODE) || U32(p, 28) != 0) {
        return kInvalid;
    }
    const ULONG node = U32(p, 24);
    const EngineNode* engine = nullptr;
    for (const EngineNode& candidate : filter.driver.engines) {
        if (candidate.node == node) {
            engine = &candidate;
        }
    }
    if (engine == nullptr) {
        return FilterHasNode(filter, node) ? kNotSupported : kInvalid;
    }
    const HRESULT hr = CheckFixedData(data, dataLength, sizeof(KSAUDIOENGINE_DESCRIPTOR), returned);
    if (FAILED(hr)) {
        return hr;
    }
    PutU32(data, 0, engine->hostPin);
    PutU32(data, 4, engine->offloadPin);
    PutU32(data, 8, engine->loopbackPin);
    *returned = sizeof(KSAUDIOENGINE_DESCRIPTOR);
    return S_OK;
}

HRESULT Descriptors(const FilterDriver& driver, const std::vector<AudioModuleDescriptor>& list,
                    const uint8_t* p, size_t n, uint8_t* data, ULONG dataLength, ULONG* returned) {
    HRESULT hr = CheckFlags(U32(p, 20), kGet);
    if (SUCCEEDED(hr) && n != sizeof(KSPROPERTY)) {
        hr = kInvalid;
    }
    const size_t size = sizeof(KSMULTIPLE_ITEM) + list.size() * sizeof(KSAUDIOMODULE_DESCRIPTOR);
    if (SUCCEEDED(hr)) {
        hr = CheckListData(data, dataLength, size, driver.descriptorSizeQuery, returned);
    }
    if (FAILED(hr) || data == nullptr || dataLength == 0) {
        return hr;
    }
    std::memset(data, 0, size);
    PutU32(data, 0, static_cast<uint32_t>(size));
    PutU32(data, 4, static_cast<uint32_t>(list.size()));
    size_t at = sizeof(KSMULTIPLE_ITEM);
    for (const AudioModuleDescriptor& entry : list) {
        PutGuid(data, at, entry.classId);
        PutU32(data, at + 16, entry.instanceId);
        PutU32(data, at + 20, entry.versionMajor);
        PutU32(data, at + 24, entry.versionMinor);
        const size_t chars = std::min<size_t>(entry.name.size(), AUDIOMODULE_MAX_NAME_CCH_SIZE - 1);
        for (size_t i = 0; i < chars; ++i) {
            data[at + 28 + 2 * i] = static_cast<uint8_t>(entry.name[i]);
            data[at + 29 + 2 * i] = static_cast<uint8_t>(static_cast<uint16_t>(entry.name[i]) >> 8);
        }
        at += sizeof(KSAUDIOMODULE_DESCRIPTOR);
    }
    *returned = static_cast<ULONG>(size);
    return S_OK;
}

}  // namespace

uint8_t ExpectedReadFlag(ULONG param) {
    constexpr uint64_t kWithoutFlag = 0xc0c00600c0000000ull;
    return param < 64 && ((kWithoutFlag >> param) & 1) != 0 ? 0 : 1;
}

std::optional<std::vector<AudioModuleDescriptor>> AudioModuleList(const FilterDriver& driver) {
    if (driver.audioModules) {
        return driver.audioModules;
    }
    std::vector<AudioModuleDescriptor> derived;
    for (const VendorModule& module : driver.modules) {
        if (module.set != ModuleSet::Vendor || !module.audioModuleForm) {
            continue;
        }
        bool known = false;
        for (const AudioModuleDescriptor& entry : derived) {
            known = known ||
                    (Same(entry.classId, module.classId) && entry.instanceId == module.instanceId);
        }
        if (!known) {
            AudioModuleDescriptor entry;
            entry.classId = module.classId;
            entry.instanceId = module.instanceId;
            entry.versionMajor = 1;
            for (char c : module.name) {
                entry.name.push_back(static_cast<WCHAR>(static_cast<unsigned char>(c)));
            }
            derived.push_back(entry);
        }
    }
    if (derived.empty()) {
        return std::nullopt;
    }
    return derived;
}

KsRequestInfo ClassifyKsRequest(const uint8_t* p, size_t n) {
    KsRequestInfo info;
    if (p == nullptr || n < sizeof(KSPROPERTY)) {
        return info;
    }
    const GUID set = GuidAt(p, 0);
    const ULONG id = U32(p, 16);
    if (Same(set, KSPROPSETID_AudioEngine)) {
        info.form = "node";
        info.direction = Direction(U32(p, 20));
        info.kind = id == KSPROPERTY_AUDIOENGINE_DESCRIPTOR ? "engineDescriptor" : "unknown";
        if (n >= sizeof(KSP_NODE)) {
            info.node = U32(p, 24);
        }
    } else if (Same(set, KSPROPSETID_AudioModule)) {
        if (id == KSPROPERTY_AUDIOMODULE_DESCRIPTORS) {
            info.form = "filter";
            info.kind = "moduleDescriptors";
            info.direction = Direction(U32(p, 20));
        } else if (id == KSPROPERTY_AUDIOMODULE_COMMAND) {
            info.form = "audioModule";
            if (n >= kAudioModuleHead + sizeof(KSP_PIN) &&
                Same(GuidAt(p, kAudioModuleHead), VendorKs::kModuleSet)) {
                ClassifyVendor(p, n, kAudioModuleHead, &info);
            }
        }
    } else if (Same(set, VendorKs::kModuleSet)) {
        info.form = "pin";
        ClassifyVendor(p, n, 0, &info);
    } else if (Same(set, VendorKs::kAmdModuleSet)) {
        info.form = "vendorSet";
        info.direction = Direction(U32(p, 20));
        info.kind = id == VendorKs::kAmdModulePresence    ? "amdPresence"
                    : id == VendorKs::kAmdModuleParameter ? "amdParam"
                                                          : "unknown";
        if (n >= sizeof(VendorKs::AmdRequest)) {
            info.module = GuidAt(p, 24);
            if (id == VendorKs::kAmdModuleParameter) {
                info.param = U32(p, 44);
            }
        }
    }
    return info;
}

HRESULT AnswerKsRequest(Device& filter, const uint8_t* p, size_t n, uint8_t* data, ULONG dataLength,
                        ULONG* returned) {
    *returned = 0;
    if (p == nullptr || n < sizeof(KSPROPERTY) || (data == nullptr && dataLength != 0)) {
        return kInvalid;
    }
    FilterDriver& driver = filter.driver;
    const GUID set = GuidAt(p, 0);
    const ULONG id = U32(p, 16);
    if (Same(set, KSPROPSETID_AudioEngine)) {
        return Engine(filter, p, n, data, dataLength, returned);
    }
    if (Same(set, VendorKs::kAmdModuleSet)) {
        return Amd(driver, p, n, data, dataLength, returned);
    }
    if (Same(set, VendorKs::kModuleSet)) {
        if (n < sizeof(KSP_PIN)) {
            return kInvalid;
        }
        VendorContext c{&filter, &driver, p, n, 0, false, nullptr, data, dataLength, returned};
        return Vendor(c);
    }
    if (!Same(set, KSPROPSETID_AudioModule)) {
        return kNotSupported;
    }
    const auto list = AudioModuleList(driver);
    if (!list ||
        (id != KSPROPERTY_AUDIOMODULE_DESCRIPTORS && id != KSPROPERTY_AUDIOMODULE_COMMAND)) {
        return kNotSupported;
    }
    if (id == KSPROPERTY_AUDIOMODULE_DESCRIPTORS) {
        return Descriptors(driver, *list, p, n, data, dataLength, returned);
    }
    // The audio-module command: the 48-byte head addresses one module of the list, the vendor
    // request follows it.
    const HRESULT hr = CheckFlags(U32(p, 20), kGet);
    if (FAILED(hr)) {
        return hr;
    }
    if (n < kAudioModuleHead + sizeof(KSP_PIN) || U32(p, 44) != 0) {
        return kInvalid;
    }
    const GUID classId = GuidAt(p, 24);
    const ULONG instanceId = U32(p, 40);
    const AudioModuleDescriptor* descriptor = nullptr;
    for (const AudioModuleDescriptor& entry : *list) {
        if (Same(entry.classId, classId) && entry.instanceId == instanceId) {
            descriptor = &entry;
        }
    }
    if (descriptor == nullptr) {
        return kInvalid;
    }
    if (!Same(GuidAt(p, kAudioModuleHead), VendorKs::kModuleSet)) {
        return kNotSupported;
    }
    VendorContext c{&filter, &driver,    p,    n,          kAudioModuleHead,
                    true,    descriptor, data, dataLength, returned};
    return Vendor(c);
}

}  // namespace vexsim
