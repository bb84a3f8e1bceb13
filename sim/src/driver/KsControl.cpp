#include "driver/KsControl.h"

#include "driver/KsBytes.h"
#include "driver/KsDriver.h"

#include <algorithm>
#include <cstring>

namespace vexsim {

namespace {

// Writes a fault's answer over the driver's: only into a read's data buffer and never past
// its end; gives the bytes returned.
ULONG ApplyAnswer(const AnswerOverride& answer, bool sets, uint8_t* data, ULONG dataLength,
                  ULONG returned) {
    if (data != nullptr && dataLength > 0 && !sets) {
        if (answer.bytes) {
            const size_t written = std::min<size_t>(answer.bytes->size(), dataLength);
            std::memcpy(data, answer.bytes->data(), written);
            returned = static_cast<ULONG>(written);
        }
        if (answer.length && dataLength >= 4) {
            ks::PutU32(data, 0, *answer.length);
        }
        if (answer.count && dataLength >= 8) {
            ks::PutU32(data, 4, *answer.count);
        }
    }
    return answer.returned ? *answer.returned : returned;
}

}  // namespace

HRESULT KsControlObject::KsProperty(PKSPROPERTY property, ULONG propertyLength, void* propertyData,
                                    ULONG dataLength, ULONG* bytesReturned) {
    const MachineGuard guard;
    const auto* bytes = reinterpret_cast<const uint8_t*>(property);
    auto* data = static_cast<uint8_t*>(propertyData);
    const KsRequestInfo info = ClassifyKsRequest(bytes, propertyLength);
    Call call = Describe("IKsControl::KsProperty");
    call.request = info.kind;
    call.form = info.form;
    call.direction = info.direction;
    call.pin = info.pin;
    call.node = info.node;
    call.module = info.module ? &*info.module : nullptr;
    call.param = info.param;
    call.sizeQuery = data == nullptr || dataLength == 0;
    const Fault* fault = m_machine->EnterFault(call);
    std::optional<AnswerOverride> answer;
    std::optional<HRESULT> injected;
    if (fault != nullptr) {
        answer = fault->answer;
        if (fault->hasResult) {
            injected = fault->result;
        }
    }
    // A fault that rewrites the answer lets the driver answer first.
    const Outcome outcome(answer ? std::nullopt : injected);

    KsRequest record;
    record.kind = info.kind;
    if (bytes != nullptr) {
        record.property.assign(bytes, bytes + propertyLength);
    }
    record.hasData = data != nullptr;
    record.dataLength = dataLength;
    const bool sets = info.direction != nullptr && std::string(info.direction) == "set";
    if (data != nullptr && sets) {
        record.data.assign(data, data + dataLength);
    }

    ULONG returned = 0;
    HRESULT hr = S_OK;
    if (bytesReturned == nullptr) {
        hr = E_POINTER;
    } else if (outcome.Failed()) {
        hr = outcome.Failure();
        *bytesReturned = 0;
    } else {
        hr = outcome.Finish(
            AnswerKsRequest(*m_device, bytes, propertyLength, data, dataLength, &returned));
        if (answer) {
            returned = ApplyAnswer(*answer, sets, data, dataLength, returned);
            hr = injected ? *injected : hr;
        }
        *bytesReturned = returned;
    }
    record.result = hr;
    record.bytesReturned = bytesReturned != nullptr ? *bytesReturned : 0;
    if (SUCCEEDED(hr) && data != nullptr && !sets) {
        record.answer.assign(data, data + std::min(returned, dataLength));
    }
    FilterDriver& driver = m_device->driver;
    ++driver.requestTotal;
    if (m_machine->requestLogging) {
        driver.requests.push_back(std::move(record));
        while (driver.requests.size() > kRequestLogCapacity) {
            driver.requests.pop_front();
        }
    }
    return hr;
}

HRESULT KsControlObject::Unsupported(const char* method, ULONG* bytesReturned) {
    const Entry entry = Enter(method);
    if (bytesReturned != nullptr) {
        *bytesReturned = 0;
    }
    return entry.Run([] { return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED); });
}

}  // namespace vexsim
