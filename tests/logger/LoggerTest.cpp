// The event-trace logger: record text, levels, keywords, enable notifications, scopes and
// failure texts. Records are read back through the platform's in-process trace controller,
// which only the Linux build has: under Wine no trace session can enable the provider.
#include "support/TestSupport.h"

#include "SystemGuids.h"
#include "util/Log.h"

#include "support/TraceCapture.h"

#include <atomic>
#include <thread>
#include <vector>

namespace {

using vextest::TraceSession;
const auto Records = vextest::CapturedRecords;

class Logger : public ::testing::Test {
protected:
    void SetUp() override { VEX_REQUIRE_TRACE_CONTROLLER(); }
};

}  // namespace

TEST_F(Logger, RecordTextWithAndWithoutALine) {
    TraceSession session(5, 0x400);
    Util::EtwLogger& logger = Util::GetLogger(0x400);
    logger.Log(4, TEXT("C:\\build\\src\\ApoController.cpp"), 42, TEXT("ApoController::Open"),
               TEXT("message"));
    logger.Log(2, TEXT("C:\\build\\src\\ApoController.cpp"), 0, TEXT("F"), TEXT("zero"));
    logger.Log(3, TEXT("dir/unix/Path.cpp"), 3, TEXT("H"), TEXT("slashes"));
    const auto records = Records();
    ASSERT_EQ(3u, records.size());
    EXPECT_EQ("[ApoController.cpp:42] ApoController::Open: message", records[0].text);
    EXPECT_EQ("[ApoController.cpp] F: zero", records[1].text);
    EXPECT_EQ("[dir/unix/Path.cpp:3] H: slashes", records[2].text)
        << "only a backslash separates the file name";
    EXPECT_EQ(0x400u, records[0].keyword);
}

TEST_F(Logger, SessionLevelAndKeywordsFilterRecords) {
    TraceSession session(3, 0x400);
    for (UCHAR level = 2; level <= 5; ++level) {
        VEX_LOG(level, "F", "level %d", level);
    }
    const auto records = Records();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(2, records[0].level);
    EXPECT_EQ(3, records[1].level);
    EXPECT_FALSE(Util::GetLogger(0x400).IsEnabled(4));
    EXPECT_TRUE(Util::GetLogger(0x400).IsEnabled(3));

    VexTraceClear();
    VexTraceEnable(Guids::kTraceProvider, 5, 0x3FF | 0x800);  // a mask without the library's bit
    EXPECT_FALSE(Util::GetLogger(0x400).IsEnabled(2));
    VEX_LOG(Util::kLevelError, "F", "never");
    EXPECT_TRUE(Records().empty());
}

TEST_F(Logger, CaptureStateTurnsLoggerOffUntilNextEnable) {
    TraceSession session(5, 0x400);
    Util::EtwLogger& logger = Util::GetLogger(0x400);
    EXPECT_TRUE(logger.IsEnabled(5));
    VexTraceCaptureState(Guids::kTraceProvider);
    EXPECT_FALSE(logger.IsEnabled(2));
    VEX_LOG(Util::kLevelError, "F", "dropped");
    EXPECT_TRUE(Records().empty());
    VexTraceEnable(Guids::kTraceProvider, 5, 0x400);
    EXPECT_TRUE(logger.IsEnabled(5));
    VexTraceDisable(Guids::kTraceProvider);
    EXPECT_FALSE(logger.IsEnabled(2));
}

TEST_F(Logger, NotificationsArriveOnAThreadOfTheirOwnWhileTheHostLogs) {
    std::thread::id notified;
    const PENABLECALLBACK callback = [](const GUID*, ULONG, UCHAR, ULONGLONG, ULONGLONG,
                                        PEVENT_FILTER_DESCRIPTOR, void* context) {
        *static_cast<std::thread::id*>(context) = std::this_thread::get_id();
    };
    REGHANDLE handle = 0;
    ASSERT_EQ(0u, EventRegister(&Guids::kTraceProvider, callback, &notified, &handle));
    Util::EtwLogger& logger = Util::GetLogger(0x400);
    std::thread::id controllerThread;
    std::atomic<bool> done{false};
    // The host's thread tests the level while a session turns the provider on and off; a
    // race detector sees the fields written and read unsynchronised.
    std::thread controller([&] {
        controllerThread = std::this_thread::get_id();
        for (int i = 0; i < 50; ++i) {
            VexTraceEnable(Guids::kTraceProvider, 5, 0x400);
            VexTraceDisable(Guids::kTraceProvider);
        }
        done = true;
    });
    while (!done) {
        VEX_LOG(Util::kLevelVerbose, "F", "while notified");
    }
    controller.join();
    EventUnregister(handle);
    VexTraceClear();  // the records taken while the controller had the provider on
    EXPECT_NE(std::thread::id(), notified);
    EXPECT_NE(controllerThread, notified) << "not on the controller's thread";
    EXPECT_NE(std::this_thread::get_id(), notified) << "not on the host's thread";
    EXPECT_FALSE(logger.IsEnabled(2));
}

TEST_F(Logger, ScopeWritesEnterAndLeave) {
    TraceSession session(5, 0x400);
    int line = 0;
    {
        line = __LINE__ + 1;
        VEX_LOG_SCOPE("Scoped::Work");
        VEX_LOG(Util::kLevelInformation, "Scoped::Work", "inside");
    }
    const auto records = Records();
    ASSERT_EQ(3u, records.size());
    EXPECT_EQ("[LoggerTest.cpp:" + std::to_string(line) + "] Scoped::Work: Enter", records[0].text);
    EXPECT_EQ("[LoggerTest.cpp] Scoped::Work:  Leave", records[2].text);
    EXPECT_EQ(5, records[0].level);
    EXPECT_EQ(5, records[2].level);
}

TEST_F(Logger, NamePrefixesEveryMessage) {
    TraceSession session(5, 0x400);
    Util::EtwProvider provider{};
    ASSERT_EQ(0u, EventRegister(&Guids::kTraceProvider, nullptr, nullptr, &provider.handle));
    provider.enabled = true;
    provider.level = 5;
    provider.matchAnyKeyword = 0x400;
    Util::EtwLogger named(&provider, 0x400, TEXT("Tuner: "));
    named.Log(4, TEXT("A.cpp"), 1, TEXT("F"), TEXT("hello"));
    EventUnregister(provider.handle);
    // A provider no session listens to keeps nothing; a registration needs a provider id.
    REGHANDLE unheard = 0;
    ASSERT_EQ(0u, EventRegister(&GUID_NULL, nullptr, nullptr, &unheard));
    EXPECT_EQ(0u, EventWriteString(unheard, 1, 0, TEXT("unheard")));
    EventUnregister(unheard);
    EXPECT_EQ(static_cast<ULONG>(ERROR_INVALID_PARAMETER),
              EventRegister(nullptr, nullptr, nullptr, &unheard));
    const auto records = Records();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("[A.cpp:1] F: Tuner: hello", records[0].text);
}

TEST_F(Logger, OverlongRecordIsCutAndMarked) {
    TraceSession session(5, 0x400);
    const WString message(100000, u'x');
    Util::GetLogger(0x400).Log(4, TEXT("A.cpp"), 1, TEXT("F"), message);
    const auto records = Records();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(30000u, records[0].text.size()) << "cut to the length that fits one event";
    EXPECT_EQ(0u, records[0].text.find("[A.cpp:1] F: xxx"));
    EXPECT_TRUE(records[0].text.ends_with(" [record cut]"));
}

TEST_F(Logger, FailureTextIsFormattedOnlyForWrittenRecords) {
    const uint64_t before = Util::FormatCount();
    for (int i = 0; i < 1000; ++i) {
        VEX_LOG(Util::kLevelError, "F", "error %d [0x%.8x]%s", i, E_FAIL, Util::ErrorText{E_FAIL});
    }
    EXPECT_EQ(before, Util::FormatCount());

    TraceSession session(2, 0x400);
    for (int i = 0; i < 1000; ++i) {
        VEX_LOG(Util::kLevelInformation, "F", "information %d", i);
        VEX_LOG_SCOPE("F");
    }
    EXPECT_EQ(before, Util::FormatCount()) << "records below the session's level";
    EXPECT_TRUE(Records().empty());
}

// GetErrorText asks the platform, so it runs under Wine too, against Wine's own texts.
TEST(ErrorText, SystemTextWithoutLineBreak) {
    for (HRESULT code : {E_INVALIDARG, E_FAIL, E_OUTOFMEMORY}) {
        WString expected = vextest::SystemMessage(code);
        ASSERT_GE(expected.size(), 2u) << vextest::Hex(code);
        expected.resize(expected.size() - 2);  // CR LF
        EXPECT_EQ(vextest::Narrow(expected), vextest::Narrow(Util::GetErrorText(code)));
    }
}

TEST(ErrorText, CodesWithoutSystemText) {
    struct Case {
        uint32_t code;
        const char* text;
    };
    const Case cases[] = {
        {0x80040201u, "IDispatch error #1"},       {0x8004FFFFu, "IDispatch error #65023"},
        {0xA0001234u, "Unknown error 0xA0001234"}, {0x80040200u, "Unknown error 0x80040200"},
        {0x0000BEEFu, "Unknown error 0xBEEF"},
    };
    for (const Case& c : cases) {
        if (!vextest::SystemMessage(static_cast<HRESULT>(c.code)).empty()) {
            continue;  // this platform has a text of its own for it
        }
        EXPECT_EQ(c.text, vextest::Narrow(Util::GetErrorText(static_cast<HRESULT>(c.code))));
    }
}
