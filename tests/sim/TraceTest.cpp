// Capture of the library's trace records through the simulator's C API.
#include "SimTest.h"

#include <string>
#include <vector>

namespace {

// The library's trace provider.
constexpr GUID kProvider = {
    0x23A46DB4, 0x562B, 0x44A3, {0x9C, 0x4F, 0x1D, 0x55, 0x98, 0x26, 0x2B, 0x8E}};

struct Captured {
    std::string text;
    int level;
    unsigned long long keyword;
};

std::vector<Captured> Records() {
    std::vector<Captured> records;
    for (int i = 0; i < vexsim_TraceRecordCount(); ++i) {
        Captured record{"", 0, 0};
        const char* text = vexsim_TraceRecord(i, &record.level, &record.keyword);
        if (text != nullptr) {
            record.text = text;
        }
        records.push_back(record);
    }
    return records;
}

}  // namespace

TEST(SimTrace, CapturesRecordsAsUtf8WithTheirLevel) {
    if (!vextest::HaveTraceController()) {
        GTEST_SKIP() << "no in-process trace controller on Windows or Wine";
    }
    REGHANDLE handle = 0;
    ASSERT_EQ(static_cast<ULONG>(ERROR_SUCCESS),
              EventRegister(&kProvider, nullptr, nullptr, &handle));
    ASSERT_EQ(0, vexsim_TraceStart(4, 0x400)) << vexsim_LastError();

    const WCHAR text[] = {u'G', u'e', u'r', 0x00E4, u't', u' ', 0x2713, 0};
    EventWriteString(handle, 2, 0x400, text);
    EventWriteString(handle, 5, 0x400, TEXT("too verbose"));
    EventWriteString(handle, 4, 0x800, TEXT("other keyword"));
    EventWriteString(handle, 4, 0x400, TEXT("wanted"));
    ASSERT_EQ(0, vexsim_TraceStop());
    EventWriteString(handle, 2, 0x400, TEXT("after the stop"));

    const std::vector<Captured> records = Records();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ("Ger\xC3\xA4t \xE2\x9C\x93", records[0].text);
    EXPECT_EQ(2, records[0].level);
    EXPECT_EQ(0x400ull, records[0].keyword);
    EXPECT_EQ("wanted", records[1].text);
    EXPECT_EQ(4, records[1].level);
    EXPECT_EQ(nullptr, vexsim_TraceRecord(2, nullptr, nullptr));

    ASSERT_EQ(0, vexsim_TraceStart(5, 0x400));
    EXPECT_EQ(0, vexsim_TraceRecordCount()) << "a new capture starts empty";
    EventWriteString(handle, 5, 0x400, TEXT("verbose now"));
    EXPECT_EQ(1, vexsim_TraceRecordCount());
    vexsim_TraceClear();
    EXPECT_EQ(0, vexsim_TraceRecordCount());
    vexsim_TraceStop();
    EventUnregister(handle);
}

TEST(SimTrace, WindowsReportsCaptureAsNotAvailable) {
    if (vextest::HaveTraceController()) {
        GTEST_SKIP() << "the platform layer has a trace controller here";
    }
    EXPECT_EQ(-1, vexsim_TraceStart(5, 0x400));
    EXPECT_NE(std::string::npos, std::string(vexsim_LastError()).find("not available"));
    EXPECT_EQ(0, vexsim_TraceRecordCount());
    EXPECT_EQ(nullptr, vexsim_TraceRecord(0, nullptr, nullptr));
}
