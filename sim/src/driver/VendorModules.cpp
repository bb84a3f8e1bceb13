#include "driver/VendorModules.h"

#include "driver/KsDriver.h"

#include <algorithm>

namespace vexsim::ks {

namespace {

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

}  // namespace

HRESULT AnswerVendor(const VendorContext& c) {
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
        return FAILED(hr)
                   ? hr
                   : FixedAnswer(c.data, c.dataLength, VendorKs::kInterfaceVersionSize, c.returned,
                                 [&](uint8_t* data) {
                                     std::memset(data, 0, VendorKs::kInterfaceVersionSize);
                                     data[0] = static_cast<uint8_t>(c.driver->interfaceVersion);
                                 });
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
            return FAILED(hr) ? hr
                              : FixedAnswer(c.data, c.dataLength, VendorKs::kInstantiationStateSize,
                                            c.returned, [&](uint8_t* data) {
                                                data[0] = module->instantiated ? 1 : 0;
                                            });
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
            return FixedAnswer(c.data, c.dataLength, 1, c.returned,
                               [&](uint8_t* data) { data[0] = module->enabled ? 1 : 0; });
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

HRESULT AnswerAmd(FilterDriver& driver, const uint8_t* p, size_t n, uint8_t* data, ULONG dataLength,
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
        return FAILED(hr) ? hr
                          : FixedAnswer(data, dataLength, VendorKs::kAmdPresenceSize, returned,
                                        [&](uint8_t* answer) {
                                            std::memset(answer, 0, VendorKs::kAmdPresenceSize);
                                            answer[0] = module != nullptr && module->present;
                                        });
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

}  // namespace vexsim::ks
