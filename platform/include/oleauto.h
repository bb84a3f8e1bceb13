// OLE Automation strings: length-prefixed BSTRs and their comparison.
#pragma once

#include "windows.h"

typedef OLECHAR* BSTR;

#define VARCMP_LT 0
#define VARCMP_EQ 1
#define VARCMP_GT 2
#define VARCMP_NULL 3

// The comparison flag VarBstrCmp implements here; any other flag is refused with E_INVALIDARG.
#define NORM_IGNORECASE 0x00000001

extern "C" {
VEXPLAT_API BSTR SysAllocString(const OLECHAR* text);
VEXPLAT_API BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
VEXPLAT_API UINT SysStringLen(BSTR text);
VEXPLAT_API void SysFreeString(BSTR text);
VEXPLAT_API HRESULT VarBstrCmp(BSTR left, BSTR right, LCID locale, ULONG flags);
}
