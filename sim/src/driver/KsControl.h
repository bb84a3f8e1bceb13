// The kernel-streaming control of a filter device (IKsControl). Property requests go to the
// filter's simulated driver (driver/KsDriver.h) and are logged in the machine with their
// answers.
#pragma once

#include "common/ComObject.h"

namespace vexsim {

class KsControlObject final : public ComObject<IKsControl> {
public:
    KsControlObject(std::shared_ptr<Machine> machine, Device* device)
        : ComObject("IKsControl", Guids::kIidIKsControl, std::move(machine), device) {}

    HRESULT STDMETHODCALLTYPE KsProperty(PKSPROPERTY property, ULONG propertyLength,
                                         void* propertyData, ULONG dataLength,
                                         ULONG* bytesReturned) override;
    HRESULT STDMETHODCALLTYPE KsMethod(PKSMETHOD, ULONG, void*, ULONG,
                                       ULONG* bytesReturned) override {
        return Unsupported("IKsControl::KsMethod", bytesReturned);
    }
    HRESULT STDMETHODCALLTYPE KsEvent(PKSEVENT, ULONG, void*, ULONG,
                                      ULONG* bytesReturned) override {
        return Unsupported("IKsControl::KsEvent", bytesReturned);
    }

private:
    HRESULT Unsupported(const char* method, ULONG* bytesReturned);
};

}  // namespace vexsim
