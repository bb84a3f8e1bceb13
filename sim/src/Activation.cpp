// Interfaces that IMMDevice::Activate hands out. The simulated devices offer none yet; device
// topology and kernel-streaming control join here.
#include "Simulator.h"

namespace vexsim {

HRESULT ActivateOnDevice(const std::shared_ptr<Machine>& /*machine*/, Device* /*device*/,
                         REFIID /*iid*/, void** object) {
    *object = nullptr;
    return E_NOINTERFACE;
}

}  // namespace vexsim
