// Trace capture of the library's records through the platform layer's trace controller.
#include "vexsim.h"

#include "api/ApiSupport.h"
#include "SystemGuids.h"
#include "common/Text.h"

#ifndef _WIN32
#include <vexplat/tracecontroller.h>
#endif

using namespace vexsim;

namespace {

thread_local std::string t_record;

}  // namespace

#ifdef _WIN32

extern "C" VEXSIM_API int vexsim_TraceStart(unsigned char /*level*/,
                                            unsigned long long /*keywordMask*/) {
    return FailWith(
        "trace capture is not available on Windows (it needs the platform layer's "
        "trace controller)");
}

extern "C" VEXSIM_API int vexsim_TraceStop(void) {
    return FailWith("trace capture is not available on Windows");
}

extern "C" VEXSIM_API void vexsim_TraceClear(void) {}

extern "C" VEXSIM_API int vexsim_TraceRecordCount(void) {
    return 0;
}

extern "C" VEXSIM_API const char* vexsim_TraceRecord(int /*index*/, int* /*level*/,
                                                     unsigned long long* /*keyword*/) {
    return nullptr;
}

#else

extern "C" VEXSIM_API int vexsim_TraceStart(unsigned char level, unsigned long long keywordMask) {
    VexTraceDisable(Guids::kTraceProvider);
    VexTraceClear();
    VexTraceEnable(Guids::kTraceProvider, level, keywordMask);
    return Succeed();
}

extern "C" VEXSIM_API int vexsim_TraceStop(void) {
    VexTraceDisable(Guids::kTraceProvider);
    return Succeed();
}

extern "C" VEXSIM_API void vexsim_TraceClear(void) {
    VexTraceClear();
}

extern "C" VEXSIM_API int vexsim_TraceRecordCount(void) {
    return static_cast<int>(VexTraceRecordCount());
}

extern "C" VEXSIM_API const char* vexsim_TraceRecord(int index, int* level,
                                                     unsigned long long* keyword) {
    VexTraceRecord record{};
    if (index < 0 || !VexTraceGetRecord(static_cast<ULONG>(index), &record)) {
        return nullptr;
    }
    if (level != nullptr) {
        *level = record.level;
    }
    if (keyword != nullptr) {
        *keyword = record.keyword;
    }
    const WCHAR* text = record.text != nullptr ? record.text : TEXT("");
    size_t length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return HandOut(&t_record, ToUtf8(text, length));
}

#endif
