// Reading the library's trace records in tests. Natively the platform's in-process trace
// controller plays the trace session; on Windows (and Wine) no session can be started from a
// test, so the same calls exist but capture nothing, and tests that need records skip there.
#pragma once

#include "support/TestSupport.h"

#include "SystemGuids.h"

#include <string>
#include <vector>

#ifndef _WIN32
#include "vexplat/tracecontroller.h"
#else
struct VexTraceRecord {
    GUID provider;
    UCHAR level;
    ULONGLONG keyword;
    const WCHAR* text;
};
inline void VexTraceEnable(REFGUID, UCHAR, ULONGLONG) {}
inline void VexTraceDisable(REFGUID) {}
inline void VexTraceCaptureState(REFGUID) {}
inline ULONG VexTraceRecordCount() {
    return 0;
}
inline BOOL VexTraceGetRecord(ULONG, VexTraceRecord*) {
    return FALSE;
}
inline void VexTraceClear() {}
inline void VexTraceStop() {}
#endif

namespace vextest {

// A trace session on the library's provider for the lifetime of the object.
class TraceSession {
public:
    explicit TraceSession(UCHAR level = 5, ULONGLONG mask = 0x400) {
        VexTraceEnable(Guids::kTraceProvider, level, mask);
    }
    TraceSession(const TraceSession&) = delete;
    TraceSession& operator=(const TraceSession&) = delete;
    ~TraceSession() { VexTraceStop(); }
};

struct Captured {
    UCHAR level;
    ULONGLONG keyword;
    std::string text;
};

// The records captured so far, as ASCII text (other characters as \uXXXX).
inline std::vector<Captured> CapturedRecords() {
    std::vector<Captured> records;
    for (ULONG i = 0; i < VexTraceRecordCount(); ++i) {
        VexTraceRecord record;
        if (VexTraceGetRecord(i, &record)) {
            records.push_back({record.level, record.keyword, Narrow(record.text)});
        }
    }
    return records;
}

// The records whose text contains the fragment.
inline std::vector<Captured> RecordsContaining(const std::string& fragment) {
    std::vector<Captured> found;
    for (Captured& record : CapturedRecords()) {
        if (record.text.find(fragment) != std::string::npos) {
            found.push_back(std::move(record));
        }
    }
    return found;
}

// Exactly one record contains the fragment, and it has the given level.
inline ::testing::AssertionResult OneRecordAt(int level, const std::string& fragment) {
    const auto records = RecordsContaining(fragment);
    if (records.size() != 1) {
        return ::testing::AssertionFailure()
               << records.size() << " records contain \"" << fragment << "\"";
    }
    if (records[0].level != level) {
        return ::testing::AssertionFailure()
               << "level " << int{records[0].level} << ", not " << level << ": " << records[0].text;
    }
    return ::testing::AssertionSuccess();
}

}  // namespace vextest

// Skips the test where no trace session can be started.
#define VEX_REQUIRE_TRACE_CONTROLLER()                                                \
    do {                                                                              \
        if (!::vextest::HaveTraceController()) {                                      \
            GTEST_SKIP() << "no trace session can enable the provider on Windows or " \
                            "Wine, so records cannot be read here";                   \
        }                                                                             \
    } while (0)
