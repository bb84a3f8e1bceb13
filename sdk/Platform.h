// The platform interfaces the library, the simulated audio system and the tools use, for the
// Windows build (the SDK headers) and for the Linux build (the project's platform layer).
// What the mingw-w64 headers lack is declared here for both builds.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <propidl.h>
#include <propsys.h>
#include <mmdeviceapi.h>
#include <ks.h>
#include <devicetopology.h>
#include <evntprov.h>

// The mingw-w64 headers call IPart's GetTopologyObject "GetTopologyObjects" (same slot) and
// spell ISubunit "ISubUnit"; the project writes the Windows names.
#define GetTopologyObject GetTopologyObjects
typedef ISubUnit ISubunit;

#else
#include <windows.h>
#include <propsys.h>
#include <mmdeviceapi.h>
#include <ks.h>
#include <devicetopology.h>
#include <evntprov.h>
#endif

#include <string>

// The library's wide text: UTF-16 code units on both builds.
using WString = std::basic_string<WCHAR>;
