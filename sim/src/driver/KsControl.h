// The kernel-streaming control of a filter device (IKsControl). Property requests go to the
// filter's simulated driver (KsDriver.h) and are logged in the machine with their answers.
#pragma once

#include "common/ComObject.h"
#include "machine/Machine.h"

#include <memory>

namespace vexsim {

class KsControlObject final : public ComObject<IKsControl> {
public:
    KsControlObject(std::shared_ptr<Machine> machine, Device* device);

    HRESULT STDMETHODCALLTYPE KsProperty(PKSPROPERTY property, ULONG propertyLength,
                                         void* propertyData, ULONG dataLength,
                                         ULONG* bytesReturned) override;
    HRESULT STDMETHODCALLTYPE KsMethod(PKSMETHOD method, ULONG methodLength, void* methodData,
                                       ULONG dataLength, ULONG* bytesReturned) override;
    HRESULT STDMETHODCALLTYPE KsEvent(PKSEVENT event, ULONG eventLength, void* eventData,
                                      ULONG dataLength, ULONG* bytesReturned) override;

protected:
    void* Find(REFIID iid) override;
    std::optional<HRESULT> EnterQueryInterface(REFIID iid) override;

private:
    HRESULT Unsupported(const char* method, ULONG* bytesReturned);

    std::shared_ptr<Machine> m_machine;
    Device* m_device;
};

}  // namespace vexsim
