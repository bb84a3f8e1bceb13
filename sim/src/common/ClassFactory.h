// The class objects of the two classes the simulator serves (the device enumerator and the
// policy-configuration class) and their registration with CoRegisterClassObject. The class
// objects live as long as the process and are not counted among the live objects.
#pragma once

#include "Platform.h"

namespace vexsim {

// Registers (again) the class objects for the calling thread; the COM result.
HRESULT RegisterClasses();
void RevokeClasses();

}  // namespace vexsim
