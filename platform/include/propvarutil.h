// PROPVARIANT helpers of the property system.
#pragma once

#include "propsys.h"

extern "C" {
VEXPLAT_API HRESULT InitPropVariantFromInt32Vector(const LONG* values, ULONG count,
                                                   PROPVARIANT* value);
VEXPLAT_API ULONG PropVariantGetElementCount(REFPROPVARIANT value);
VEXPLAT_API HRESULT PropVariantGetStringElem(REFPROPVARIANT value, ULONG index, PWSTR* text);
}
