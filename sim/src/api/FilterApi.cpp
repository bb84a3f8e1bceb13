// The C API's view into filters: request logs, selector choices and module state.
#include "vexsim.h"

#include "api/ApiSupport.h"
#include "common/Simulator.h"
#include "common/Text.h"

#include <algorithm>
#include <cstring>

namespace vexsim {

namespace {

thread_local KsRequest t_request;

Device* FindFilter(const char* deviceId) {
    return FindDevice(deviceId, DeviceKind::Filter);
}

Part* FindSelector(const char* deviceId, unsigned int localId) {
    Device* device = FindDevice(deviceId);
    if (device == nullptr) {
        return nullptr;
    }
    Part* part = device->topology.FindById(localId);
    return part != nullptr && part->selector != SelectorKind::None ? part : nullptr;
}

VendorModule* FindModule(const char* deviceId, const char* moduleGuid) {
    Device* filter = FindFilter(deviceId);
    if (filter == nullptr || moduleGuid == nullptr) {
        return nullptr;
    }
    const auto guid = ParseGuid(moduleGuid);
    return guid ? filter->driver.FindModule(*guid) : nullptr;
}

}  // namespace

}  // namespace vexsim

using namespace vexsim;

extern "C" VEXSIM_API int vexsim_KsRequestCount(const char* deviceId) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Device* filter = FindFilter(deviceId);
    if (filter == nullptr) {
        return FailWith("no filter of the machine has that id");
    }
    return static_cast<int>(filter->driver.requests.size());
}

extern "C" VEXSIM_API int vexsim_KsRequest(const char* deviceId, int index,
                                           vexsim_KsRequestInfo* info) {
    if (info == nullptr) {
        return FailWith("no place for the request given");
    }
    std::lock_guard<std::mutex> guard(MachineLock());
    Device* filter = FindFilter(deviceId);
    if (filter == nullptr) {
        return FailWith("no filter of the machine has that id");
    }
    const auto& requests = filter->driver.requests;
    if (index < 0 || static_cast<size_t>(index) >= requests.size()) {
        return FailWith("no request with that index");
    }
    t_request = requests[static_cast<size_t>(index)];
    info->kind = t_request.kind.c_str();
    info->property = t_request.property.data();
    info->propertyLength = static_cast<unsigned long>(t_request.property.size());
    info->hasData = t_request.hasData ? 1 : 0;
    info->dataLength = t_request.dataLength;
    info->data = t_request.data.empty() ? nullptr : t_request.data.data();
    info->answer = t_request.answer.data();
    info->answerLength = static_cast<unsigned long>(t_request.answer.size());
    info->bytesReturned = t_request.bytesReturned;
    info->result = t_request.result;
    return Succeed();
}

extern "C" VEXSIM_API int vexsim_KsClearRequests(const char* deviceId) {
    std::lock_guard<std::mutex> guard(MachineLock());
    if (deviceId == nullptr) {
        for (auto& device : CurrentMachine()->devices) {
            device->driver.requests.clear();
            device->driver.requestTotal = 0;
        }
        return Succeed();
    }
    Device* filter = FindFilter(deviceId);
    if (filter == nullptr) {
        return FailWith("no filter of the machine has that id");
    }
    filter->driver.requests.clear();
    filter->driver.requestTotal = 0;
    return Succeed();
}

extern "C" VEXSIM_API long long vexsim_KsRequestTotal(const char* deviceId) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Device* filter = FindFilter(deviceId);
    if (filter == nullptr) {
        return FailWith("no filter of the machine has that id");
    }
    Succeed();
    return static_cast<long long>(filter->driver.requestTotal);
}

extern "C" VEXSIM_API void vexsim_KsSetRequestLogging(int on) {
    std::lock_guard<std::mutex> guard(MachineLock());
    CurrentMachine()->requestLogging = on != 0;
}

extern "C" VEXSIM_API int vexsim_SelectorSelection(const char* deviceId, unsigned int localId,
                                                   unsigned int* selection) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Part* part = FindSelector(deviceId, localId);
    if (part == nullptr || selection == nullptr) {
        return FailWith("no selector part with that device id and local id");
    }
    if (!part->selection) {
        return FailWith("the selector has no selection yet");
    }
    *selection = *part->selection;
    return Succeed();
}

extern "C" VEXSIM_API int vexsim_SelectorHistory(const char* deviceId, unsigned int localId,
                                                 unsigned int* localIds, int capacity) {
    std::lock_guard<std::mutex> guard(MachineLock());
    Part* part = FindSelector(deviceId, localId);
    if (part == nullptr) {
        return FailWith("no selector part with that device id and local id");
    }
    const int count = static_cast<int>(part->selections.size());
    for (int i = 0; localIds != nullptr && i < std::min(count, capacity); ++i) {
        localIds[i] = part->selections[static_cast<size_t>(i)];
    }
    Succeed();
    return count;
}

extern "C" VEXSIM_API int vexsim_ModuleParam(const char* deviceId, const char* moduleGuid,
                                             unsigned long paramId, unsigned char* buffer,
                                             unsigned long capacity, unsigned long* length) {
    std::lock_guard<std::mutex> guard(MachineLock());
    VendorModule* module = FindModule(deviceId, moduleGuid);
    if (module == nullptr) {
        return FailWith("no module with that GUID in a filter with that id");
    }
    const auto it = module->params.find(static_cast<ULONG>(paramId));
    if (it == module->params.end()) {
        return FailWith("the module holds no value for that parameter");
    }
    const auto& bytes = it->second.bytes;
    if (length != nullptr) {
        *length = static_cast<unsigned long>(bytes.size());
    }
    if (buffer != nullptr) {
        std::memcpy(buffer, bytes.data(), std::min<size_t>(capacity, bytes.size()));
    }
    return Succeed();
}

extern "C" VEXSIM_API int vexsim_ModuleEnabled(const char* deviceId, const char* moduleGuid) {
    std::lock_guard<std::mutex> guard(MachineLock());
    VendorModule* module = FindModule(deviceId, moduleGuid);
    if (module == nullptr) {
        return FailWith("no module with that GUID in a filter with that id");
    }
    Succeed();
    return module->enabled ? 1 : 0;
}
