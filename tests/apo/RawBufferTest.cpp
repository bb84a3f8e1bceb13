// SetVexParam and GetVexParam on the property-store route: a raw layout set and read back
// through the exports under the size protocol (every layout's conversion has its own test). Refused
// arguments are rows of the misuse table.
#include "support/Layouts.h"
#include "support/SimMachine.h"

#include <cstring>
#include <string>
#include <vector>

using vextest::kSpeakers;
using vextest::LibraryTest;

namespace {

class RawBuffers : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        Load("default");
        m_handle = OpenOrFail(kSpeakers);
    }
    void TearDown() override {
        EXPECT_HR(S_OK, m_library.Close(m_handle));
        LibraryTest::TearDown();
    }
    ControlHandle m_handle = nullptr;
};

}  // namespace

TEST_F(RawBuffers, GetSizeProtocolReportsWhatTheSameCallAccepts) {
    const vextest::Bytes bands = vextest::Layouts().front().caller;  // 1114, 164 bytes
    ASSERT_HR(S_OK, m_library.Set(m_handle, 1114, bands.data(), 164, VEX_ROUTE_APO));
    std::vector<BYTE> buffer(200, 0xEE);
    ULONG size = 100;
    EXPECT_HR(E_INVALIDARG, m_library.Get(m_handle, 1114, buffer.data(), &size, VEX_ROUTE_APO));
    EXPECT_EQ(164u, size);
    EXPECT_EQ(0, buffer[99]) << "the declared bytes are cleared";
    EXPECT_EQ(0xEE, buffer[100]) << "nothing past the declared size is touched";
    ASSERT_HR(S_OK, m_library.Get(m_handle, 1114, buffer.data(), &size, VEX_ROUTE_APO));
    EXPECT_EQ(0, std::memcmp(buffer.data(), bands.data(), 164));
}

// What a set or get without a stored value, a route or a catalogue entry answers.
TEST_F(RawBuffers, NothingToReadOrNowhereToWrite) {
    int32_t value = 5;
    ULONG size = 4;
    EXPECT_HR(E_FAIL, m_library.Get(m_handle, 1101, &value, &size, VEX_ROUTE_APO))
        << "a parameter never written";
    EXPECT_HR(E_FAIL, m_library.Set(m_handle, 9999, &value, 4, VEX_ROUTE_APO));

    const std::string before = vextest::SimDump().dump();
    EXPECT_HR(S_OK, m_library.Set(m_handle, 1101, &value, 4, 0));
    EXPECT_HR(E_INVALIDARG, m_library.Set(m_handle, 1114, &value, 4, 0))
        << "the buffer is converted first even when no route is chosen";
    int32_t out = 0x11111111;
    EXPECT_HR(S_OK, m_library.Get(m_handle, 1101, &out, &size, 0));
    EXPECT_EQ(0x11111111, out);
    EXPECT_EQ(before, vextest::SimDump().dump());
}

TEST_F(RawBuffers, NullDrcMetadataSetsZeroWords) {
    ASSERT_HR(S_OK, m_library.Set(m_handle, 1162, nullptr, 0, VEX_ROUTE_APO));
    const auto stored = vextest::DumpedProperty(vextest::SimDump(), vextest::Narrow(kSpeakers),
                                                "{F112024A-FE30-42A8-80AB-8DD825A06F78},65");
    EXPECT_EQ(nlohmann::json(std::vector<int>(18, 0)), stored.value("words", nlohmann::json()));
}
