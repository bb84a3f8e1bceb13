#include "driver/KsDriver.h"

#include "driver/VendorModules.h"

#include <algorithm>

namespace vexsim {

using namespace ks;

namespace {

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
    return FixedAnswer(data, dataLength, sizeof(KSAUDIOENGINE_DESCRIPTOR), returned,
                       [&](uint8_t* answer) {
                           PutU32(answer, 0, engine->hostPin);
                           PutU32(answer, 4, engine->offloadPin);
                           PutU32(answer, 8, engine->loopbackPin);
                       });
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
        return AnswerAmd(driver, p, n, data, dataLength, returned);
    }
    if (Same(set, VendorKs::kModuleSet)) {
        if (n < sizeof(KSP_PIN)) {
            return kInvalid;
        }
        VendorContext c{&filter, &driver, p, n, 0, false, nullptr, data, dataLength, returned};
        return AnswerVendor(c);
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
    return AnswerVendor(c);
}

}  // namespace vexsim
