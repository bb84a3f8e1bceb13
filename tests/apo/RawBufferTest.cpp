// SetVexParam and GetVexParam on the property-store route: raw layouts in, stored words in the
// endpoint's store, the same bytes back out; the size protocol and refused arguments.
#include "support/SimMachine.h"

#include <cstring>
#include <string>
#include <vector>

using vextest::kSpeakers;
using vextest::LibraryTest;

namespace {

const char* const kSpeakersUtf8 = "{0.0.0.00000000}.{6f1f6a2e-3c1b-4d59-9a51-0b7e2d1c4a01}";
const char* const kMain = "{F112024A-FE30-42A8-80AB-8DD825A06F78}";
const char* const kLowLatency = "{5510C7AB-DFC2-40D0-A98B-5F77F697005E}";

// A structured parameter: the caller's words, and the words the effect finds in the store.
struct Layout {
    LONG id;
    std::string key;
    std::vector<int32_t> caller;
    std::vector<int32_t> stored;
};

std::vector<int32_t> Sequence(int count, int32_t start) {
    std::vector<int32_t> words;
    for (int i = 0; i < count; ++i) {
        words.push_back(start + i);
    }
    return words;
}

void Append(std::vector<int32_t>& to, const std::vector<int32_t>& words) {
    to.insert(to.end(), words.begin(), words.end());
}

// Blocks of 20 words each behind a count: n, a[20], b[20], ... and n, 20, a, 20, b, ...
Layout CountedBlocks(LONG id, const std::string& key, int blocks) {
    Layout layout{id, key, {7}, {7}};
    for (int b = 0; b < blocks; ++b) {
        const auto block = Sequence(20, 100 * (b + 1));
        Append(layout.caller, block);
        layout.stored.push_back(20);
        Append(layout.stored, block);
    }
    return layout;
}

// Fixed blocks without a count: a[m], ... and m, a, ...
Layout FixedBlocks(LONG id, const std::string& key, int blocks, int words) {
    Layout layout{id, key, {}, {}};
    for (int b = 0; b < blocks; ++b) {
        const auto block = Sequence(words, -50 * (b + 1));
        Append(layout.caller, block);
        layout.stored.push_back(words);
        Append(layout.stored, block);
    }
    return layout;
}

std::vector<Layout> StructuredLayouts() {
    std::vector<Layout> layouts;
    const std::string main = std::string(kMain) + ",";
    const std::string low = std::string(kLowLatency) + ",";
    layouts.push_back(CountedBlocks(1114, main + "13", 2));
    layouts.push_back(CountedBlocks(1122, main + "21", 2));
    layouts.push_back(CountedBlocks(1123, main + "22", 4));
    layouts.push_back(CountedBlocks(1170, main + "73", 4));
    layouts.push_back(CountedBlocks(1119, main + "18", 11));  // f[20] and ten rows of g
    layouts.push_back(Layout{1156, main + "55", {9, 3, 31, 32, 33}, {9, 3, 31, 32, 33}});
    {
        Layout init{1161, main + "64", Sequence(42, 1000), {}};
        Append(init.stored, Sequence(10, 1000));
        init.stored.push_back(32);
        Append(init.stored, Sequence(32, 1010));
        layouts.push_back(init);
    }
    layouts.push_back(Layout{1162, main + "65", Sequence(18, -9), Sequence(18, -9)});
    layouts.push_back(Layout{2107, low + "7", {3, -1, -2, -3}, {3, -1, -2, -3}});
    layouts.push_back(FixedBlocks(2108, low + "8", 2, 20));
    layouts.push_back(FixedBlocks(2109, low + "9", 1, 20));
    {
        Layout records{2116, low + "17", {2}, {2}};
        for (int r = 0; r < 2; ++r) {
            const auto record = Sequence(6, 60 * (r + 1));
            Append(records.caller, record);
            records.stored.push_back(6);
            Append(records.stored, record);
        }
        layouts.push_back(records);
    }
    layouts.push_back(FixedBlocks(2122, low + "22", 1, 8));
    layouts.push_back(FixedBlocks(2135, low + "31", 1, 5));
    layouts.push_back(Layout{2137, low + "32", {2, 11, 12}, {2, 11, 12}});
    layouts.push_back(
        Layout{2138, low + "33", {8, 1, 0, 1, 0, 1, 0, 1, 0}, {8, 1, 0, 1, 0, 1, 0, 1, 0}});
    // 2105: a byte count and bytes, padded to whole words.
    layouts.push_back(Layout{2105, low + "5", {5, 0x04030201, 0x05}, {5, 0x04030201, 0x05}});
    return layouts;
}

std::vector<int32_t> StoredWords(const nlohmann::json& stored) {
    std::vector<int32_t> words;
    if (stored.contains("words")) {
        for (const auto& w : stored.at("words")) {
            words.push_back(static_cast<int32_t>(w.get<int64_t>()));
        }
    } else if (stored.contains("bytes")) {
        std::vector<uint8_t> bytes;
        for (const auto& b : stored.at("bytes")) {
            bytes.push_back(b.get<uint8_t>());
        }
        words.resize(bytes.size() / 4);
        std::memcpy(words.data(), bytes.data(), words.size() * 4);
    }
    return words;
}

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

TEST_F(RawBuffers, EveryStructuredParameterRoundTrips) {
    for (const Layout& layout : StructuredLayouts()) {
        SCOPED_TRACE("id " + std::to_string(layout.id));
        const ULONG bytes = static_cast<ULONG>(layout.caller.size() * 4);
        // 2105's caller bytes end after the fifth byte.
        const ULONG setSize = layout.id == 2105 ? 9 : bytes;
        ASSERT_HR(S_OK,
                  m_library.Set(m_handle, layout.id, layout.caller.data(), setSize, VEX_ROUTE_APO));

        const auto stored = vextest::DumpedProperty(vextest::SimDump(), kSpeakersUtf8, layout.key);
        ASSERT_FALSE(stored.is_null()) << layout.key;
        EXPECT_EQ("VT_BLOB", stored.at("type"));
        EXPECT_EQ(layout.stored, StoredWords(stored));

        // A compressor tuning always needs room for four records.
        ULONG size = layout.id == 2116 ? 100 : bytes;
        std::vector<int32_t> back(size / 4 + 4, 0x5A5A5A5A);
        ASSERT_HR(S_OK, m_library.Get(m_handle, layout.id, back.data(), &size, VEX_ROUTE_APO));
        back.resize(layout.caller.size());
        EXPECT_EQ(layout.caller, back);
    }
}

TEST_F(RawBuffers, ScalarsRoundTripAsInt32) {
    const int32_t value = -123456;
    ASSERT_HR(S_OK, m_library.Set(m_handle, 2140, &value, 4, VEX_ROUTE_APO));
    const auto stored = vextest::DumpedProperty(vextest::SimDump(), kSpeakersUtf8,
                                                std::string(kLowLatency) + ",35");
    EXPECT_EQ("VT_I4", stored.at("type"));
    EXPECT_EQ(value, stored.at("value"));
    int32_t back = 0;
    ULONG size = 4;
    ASSERT_HR(S_OK, m_library.Get(m_handle, 2140, &back, &size, VEX_ROUTE_APO));
    EXPECT_EQ(value, back);
}

TEST_F(RawBuffers, GetSizeProtocolReportsWhatTheSameCallAccepts) {
    const Layout bands = CountedBlocks(1114, "", 2);
    ASSERT_HR(S_OK, m_library.Set(m_handle, 1114, bands.caller.data(), 164, VEX_ROUTE_APO));
    std::vector<BYTE> buffer(200, 0xEE);
    ULONG size = 100;
    EXPECT_HR(E_INVALIDARG, m_library.Get(m_handle, 1114, buffer.data(), &size, VEX_ROUTE_APO));
    EXPECT_EQ(164u, size);
    EXPECT_EQ(0, buffer[99]) << "the declared bytes are cleared";
    EXPECT_EQ(0xEE, buffer[100]) << "nothing past the declared size is touched";
    ASSERT_HR(S_OK, m_library.Get(m_handle, 1114, buffer.data(), &size, VEX_ROUTE_APO));
    EXPECT_EQ(0, std::memcmp(buffer.data(), bands.caller.data(), 164));

    int32_t scalar = 1;
    ASSERT_HR(S_OK, m_library.Set(m_handle, 1101, &scalar, 4, VEX_ROUTE_APO));
    BYTE small[3] = {1, 2, 3};
    size = 3;
    EXPECT_HR(E_INVALIDARG, m_library.Get(m_handle, 1101, small, &size, VEX_ROUTE_APO));
    EXPECT_EQ(4u, size);
    EXPECT_EQ(0, small[0] | small[1] | small[2]) << "the 3 bytes are zeroed";
}

TEST_F(RawBuffers, ParameterNeverWrittenGivesEFail) {
    int32_t value = 0;
    ULONG size = 4;
    EXPECT_HR(E_FAIL, m_library.Get(m_handle, 1101, &value, &size, VEX_ROUTE_APO));
}

TEST_F(RawBuffers, FlagsZeroConvertsButWritesNothing) {
    const std::string before = vextest::SimDump().dump();
    const int32_t value = 5;
    EXPECT_HR(S_OK, m_library.Set(m_handle, 1101, &value, 4, 0));
    EXPECT_HR(E_INVALIDARG, m_library.Set(m_handle, 1114, &value, 4, 0))
        << "the buffer is converted first even when no route is chosen";
    int32_t out = 0x11111111;
    ULONG size = 4;
    EXPECT_HR(S_OK, m_library.Get(m_handle, 1101, &out, &size, 0));
    EXPECT_EQ(0x11111111, out);
    EXPECT_EQ(before, vextest::SimDump().dump());
}

TEST_F(RawBuffers, UncataloguedIdConvertsThenFails) {
    const int32_t value = 5;
    EXPECT_HR(E_FAIL, m_library.Set(m_handle, 9999, &value, 4, VEX_ROUTE_APO));
    EXPECT_HR(E_FAIL, m_library.Set(m_handle, 1003 + 1, &value, 4, VEX_ROUTE_APO));
}

TEST_F(RawBuffers, BadArgumentsAreRefused) {
    const std::string before = vextest::SimDump().dump();
    int32_t value = 5;
    EXPECT_HR(E_INVALIDARG, m_library.Set(m_handle, 1101, nullptr, 4, VEX_ROUTE_APO));
    EXPECT_HR(E_INVALIDARG, m_library.Set(m_handle, 1101, &value, 3, VEX_ROUTE_APO));
    EXPECT_HR(E_INVALIDARG, m_library.Set(m_handle, 1114, &value, 4, VEX_ROUTE_APO))
        << "a buffer shorter than its layout";
    const int32_t hugeCount[2] = {-1, 0};
    EXPECT_HR(E_INVALIDARG, m_library.Set(m_handle, 2107, hugeCount, 8, VEX_ROUTE_APO));
    // A filter configuration past what can be set reaches neither the store nor the module.
    std::vector<BYTE> filterConfig(4 + 3000, 0x11);
    const ULONG n = 3000;
    std::memcpy(filterConfig.data(), &n, sizeof n);
    const std::vector<BYTE> caller = filterConfig;
    EXPECT_HR(E_INVALIDARG, m_library.Set(m_handle, 2105, filterConfig.data(),
                                          static_cast<ULONG>(filterConfig.size()),
                                          VEX_ROUTE_APO | VEX_ROUTE_DSP));
    EXPECT_EQ(caller, filterConfig);
    EXPECT_EQ(before, vextest::SimDump().dump());

    ULONG size = 4;
    EXPECT_HR(E_INVALIDARG, m_library.Get(m_handle, 1101, &value, nullptr, VEX_ROUTE_APO));
    EXPECT_HR(E_INVALIDARG, m_library.Get(m_handle, 1101, nullptr, &size, VEX_ROUTE_APO));
    EXPECT_HR(E_INVALIDARG,
              m_library.Get(m_handle, VEX_PARAM_FORM_FACTOR, nullptr, &size, VEX_ROUTE_APO));
}

TEST_F(RawBuffers, NullDrcMetadataSetsZeroWords) {
    ASSERT_HR(S_OK, m_library.Set(m_handle, 1162, nullptr, 0, VEX_ROUTE_APO));
    const auto stored =
        vextest::DumpedProperty(vextest::SimDump(), kSpeakersUtf8, std::string(kMain) + ",65");
    EXPECT_EQ(std::vector<int32_t>(18, 0), StoredWords(stored));
}

TEST_F(RawBuffers, MalformedStoredValueIsRefused) {
    // A scalar where the effect expects a blob: nothing may be read as one.
    PROPVARIANT scalar;
    PropVariantInit(&scalar);
    scalar.vt = VT_I4;
    scalar.lVal = 1000;
    ASSERT_HR(S_OK, m_library.SetVariant(m_handle, 1114, &scalar, VEX_ROUTE_APO));
    std::vector<BYTE> buffer(164, 0xEE);
    ULONG size = 164;
    const HRESULT hr = m_library.Get(m_handle, 1114, buffer.data(), &size, VEX_ROUTE_APO);
    EXPECT_TRUE(FAILED(hr)) << vextest::Hex(hr);
    EXPECT_NE(E_INVALIDARG, hr) << "the caller's arguments were fine";
    EXPECT_EQ(164u, size);
}
