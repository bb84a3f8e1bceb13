// Export macro of the platform layer's shared library.
#pragma once

#if defined(VEXPLAT_BUILDING)
#define VEXPLAT_API __attribute__((visibility("default")))
#else
#define VEXPLAT_API
#endif
