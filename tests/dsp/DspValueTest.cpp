// Structured values on the DSP route through the exports: a set reshaped into the module's
// layout, a get laid out under the size protocol, and what is refused.
#include "support/Machines.h"

#include <functional>

using namespace dsptest;

namespace {

constexpr ULONG kDsp = VEX_ROUTE_DSP;
constexpr HRESULT kInvalidData = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

const char* const k15 = "{876CD395-4C0D-4DD7-A205-7F99FD78ED78}";
const char* const kAmd141 = "{B5FCC815-1F49-4F4E-B04C-05F3A383EFFF}";

// The endpoints of the machine, one module each.
enum Module { kLabel15 = 1, kLabel100, kLabel131, kLabel141 };

// What the "1.5" module holds before the test touches it.
const vextest::Words kThresholds = vextest::Sequence(501, 5);
const vextest::Words kVisBands = vextest::Sequence(1001, 25);
const vextest::Words kTuningInfo = vextest::Sequence(4001, 180);
vextest::Words OptimizerBlock() {
    vextest::Words block = vextest::Sequence(0, 161);
    block[0] = 160;
    return block;
}
const vextest::Words kOptimizerValues = {7, 8, 9};

std::string Vendor(const char* guid, const std::string& params) {
    return std::string("[{\"guid\": \"") + guid + "\", \"forms\": [\"pin\"], \"params\": {" +
           params + "}}]";
}

std::string TheMachine() {
    const std::string tuning = Param(30, kTuningInfo);
    const std::string full = Param(26, kThresholds) + ", " + Param(31, kVisBands) + ", " + tuning +
                             ", " + Param(23, OptimizerBlock()) + ", " + Param(20, {1}) + ", " +
                             Param(54, {-11}) + ", " + Param(55, {-12});
    const std::string amd = std::string("[{\"guid\": \"") + kAmd141 +
                            "\", \"set\": \"amd\", \"params\": {" + tuning + "}}]";
    const auto endpoint = [](int n, const std::string& modules) {
        return Endpoint(n, StandardProperties(n), RenderPath(modules));
    };
    return Machine({endpoint(kLabel15, Vendor(k15, full)),
                    endpoint(kLabel100, Vendor(kIntel100, Param(23, kOptimizerValues))),
                    endpoint(kLabel131, Vendor(kIntel131, tuning)), endpoint(kLabel141, amd)});
}

std::vector<BYTE> Bytes(const vextest::Words& words) {
    std::vector<BYTE> bytes;
    for (const int32_t word : words) {
        const auto bits = static_cast<unsigned long>(word);
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<BYTE>(bits >> (8 * i)));
        }
    }
    return bytes;
}

std::vector<ParamWrite> Write(unsigned long param, const vextest::Words& words) {
    return {{param, WordsHex(words)}};
}

// One write per channel from the module parameter of channel 0 on.
std::vector<ParamWrite> PerChannel(unsigned long first, const vextest::Words& values) {
    std::vector<ParamWrite> writes;
    for (const int32_t value : values) {
        writes.push_back({first++, WordsHex({value})});
    }
    return writes;
}

class DspValues : public vextest::LibraryTest {
protected:
    void SetUp() override {
        vextest::LibraryTest::SetUp();
        LoadJson(TheMachine());
        for (int n = kLabel15; n <= kLabel141; ++n) {
            m_handles[n] = OpenOrFail(EndpointIdW(n).c_str());
        }
    }
    void TearDown() override {
        for (int n = kLabel15; n <= kLabel141; ++n) {
            EXPECT_HR(S_OK, m_library.Close(m_handles[n]));
        }
        vextest::LibraryTest::TearDown();
    }
    HRESULT SetBlob(Module module, LONG id, std::vector<BYTE> bytes) {
        const PROPVARIANT value = vextest::BlobOver(bytes);
        return m_library.SetVariant(m_handles[module], id, &value, kDsp);
    }

    ControlHandle m_handles[kLabel141 + 1] = {};
};

}  // namespace

TEST_F(DspValues, SetReshapesTheValueIntoTheModulesLayout) {
    const struct {
        const char* what;
        Module module;
        LONG id;
        vextest::Words value;
        std::vector<ParamWrite> sent;
    } cases[] = {
        {"both counts go", kLabel15, 2108, {2, 5, 6, 3, 7, 8, 9}, Write(26, {5, 6, 7, 8, 9})},
        {"two records, a word after them kept",
         kLabel15,
         2116,
         {2, 90, 1, 2, 3, 4, 5, 6, 91, 7, 8, 9, 10, 11, 12, 13},
         Write(36, {2, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13})},
        {"count word goes", kLabel15, 2109, {3, 1, 2, 3}, Write(29, {1, 2, 3})},
        {"not 1.0.0: the count stays", kLabel15, 2107, {2, 10, 20}, Write(23, {2, 10, 20})},
        {"1.0.0: the values alone", kLabel100, 2107, {2, 10, 20}, Write(23, {10, 20})},
        {"unchanged", kLabel15, 2105, {1, 2, 3}, Write(32, {1, 2, 3})},
        {"one write per channel", kLabel15, 2137, {2, 10, 20}, PerChannel(54, {10, 20})},
        {"no channels", kLabel15, 2137, {0, 10}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.what) + ", id " + std::to_string(c.id));
        const std::string filter = WaveFilter(c.module);
        ASSERT_EQ(0, vexsim_KsClearRequests(filter.c_str()));
        EXPECT_HR(S_OK, SetBlob(c.module, c.id, Bytes(c.value)));
        EXPECT_EQ(c.sent, ParamWrites(filter));
    }
}

TEST_F(DspValues, SetRefusesValuesItCannotReshape) {
    const std::string filter = WaveFilter(kLabel15);
    std::vector<BYTE> three = {1, 2, 3};
    const struct {
        const char* what;
        Module module;
        LONG id;
        std::vector<BYTE> value;
    } cases[] = {
        {"more channels than values", kLabel15, 2137, Bytes({3, 10, 20})},
        {"more than eight channels", kLabel15, 2137,
         Bytes(vextest::Join({{9}, vextest::Sequence(1, 9)}))},
        {"a channel count alone", kLabel15, 2138, Bytes({1})},
        {"negative count", kLabel15, 2108, Bytes({-1, 5, 6})},
        {"count reaching past the block", kLabel15, 2108, Bytes({3, 1, 2, 3})},
        {"count far past the block", kLabel15, 2108, Bytes({0x7fffffff, 1, 2})},
        {"count word alone", kLabel15, 2108, Bytes({0})},
        {"negative count", kLabel15, 2116, Bytes({-1, 1, 2, 3, 4, 5, 6, 7})},
        {"a record short", kLabel15, 2116, Bytes({1, 99, 1, 2, 3, 4, 5})},
        {"two records promised, one there", kLabel15, 2116,
         Bytes(vextest::Join({{2}, vextest::Sequence(1, 13)}))},
        {"shorter than the count word", kLabel15, 2109, three},
        {"shorter than the count word", kLabel100, 2107, three},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.what) + ", id " + std::to_string(c.id));
        const std::string moduleFilter = WaveFilter(c.module);
        ASSERT_EQ(0, vexsim_KsClearRequests(moduleFilter.c_str()));
        EXPECT_HR(E_INVALIDARG, SetBlob(c.module, c.id, c.value));
        EXPECT_EQ(0, vexsim_KsRequestCount(moduleFilter.c_str())) << "nothing is sent";
    }

    // A blob with bytes but no memory, an unsigned word, a count without the channel values.
    PROPVARIANT nowhere = vextest::Int32Value(0);
    nowhere.vt = VT_BLOB;
    nowhere.blob = {8, nullptr};
    PROPVARIANT unsignedWord = vextest::Int32Value(1);
    unsignedWord.vt = VT_UI4;
    const PROPVARIANT count = vextest::Int32Value(2);
    ASSERT_EQ(0, vexsim_KsClearRequests(filter.c_str()));
    for (const auto& [id, value] : {std::pair<LONG, const PROPVARIANT*>{2105, &nowhere},
                                    {2137, &nowhere},
                                    {2105, &unsignedWord},
                                    {2137, &count}}) {
        SCOPED_TRACE(std::to_string(id) + ", type " + std::to_string(value->vt));
        EXPECT_HR(E_INVALIDARG, m_library.SetVariant(m_handles[kLabel15], id, value, kDsp));
    }
    EXPECT_EQ(0, vexsim_KsRequestCount(filter.c_str())) << "nothing is sent";
}

TEST_F(DspValues, SetThroughTheRawExportReachesTheModule) {
    // The raw layout of 2108 (two blocks of 20 thresholds) is marked on the way in and the
    // marks removed on the way to the module: it holds the 40 values.
    const vextest::Words values = vextest::Sequence(-20, 40);
    const std::vector<BYTE> raw = Bytes(values);
    const std::string filter = WaveFilter(kLabel15);
    ASSERT_EQ(0, vexsim_KsClearRequests(filter.c_str()));
    ASSERT_HR(S_OK, m_library.Set(m_handles[kLabel15], 2108, raw.data(),
                                  static_cast<ULONG>(raw.size()), kDsp));
    const std::vector<ParamWrite> expected = {{26, WordsHex(values)}};
    EXPECT_EQ(expected, ParamWrites(filter));
}

TEST_F(DspValues, GetLaysTheAnswerOutUnderTheSizeProtocol) {
    constexpr long kUntouched = static_cast<long>(0xCDCDCDCDul);
    const struct {
        const char* what;
        Module module;
        LONG id;
        vextest::Words output;
    } cases[] = {
        {"a word", kLabel15, 2103, {1}},
        {"copied whole", kLabel15, 2108, kThresholds},
        {"80 bytes of a longer answer", kLabel15, 2126, Slice(kVisBands, 0, 20)},
        {"160 bytes from 1.3.1", kLabel131, 2125, Slice(kTuningInfo, 0, 40)},
        {"720 bytes from 1.4.1", kLabel141, 2125, Slice(kTuningInfo, 0, 180)},
        {"720 bytes from a two-number label", kLabel15, 2125, Slice(kTuningInfo, 0, 180)},
        {"the 644-byte block", kLabel15, 2107, OptimizerBlock()},
        {"a 1.0.0 module's values after their count", kLabel100, 2107,
         vextest::Join({{3}, kOptimizerValues})},
        {"the channel block, words past the channels untouched", kLabel15, 2137,
         vextest::Join({{2, -11, -12}, vextest::Words(6, kUntouched)})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.what) + ", id " + std::to_string(c.id));
        const ControlHandle handle = m_handles[c.module];
        const auto needed = static_cast<ULONG>(4 * c.output.size());
        ULONG size = 0;
        EXPECT_HR(E_INVALIDARG, m_library.Get(handle, c.id, nullptr, &size, kDsp));
        EXPECT_EQ(needed, size) << "a size query learns the size";

        std::vector<BYTE> small(needed - 1, 0xAB);
        size = needed - 1;
        EXPECT_HR(E_INVALIDARG, m_library.Get(handle, c.id, small.data(), &size, kDsp));
        EXPECT_EQ(needed, size);
        EXPECT_EQ(std::vector<BYTE>(needed - 1, 0xAB), small) << "nothing copied";

        std::vector<BYTE> exact(size, 0xAB);
        ASSERT_HR(S_OK, m_library.Get(handle, c.id, exact.data(), &size, kDsp));
        EXPECT_EQ(needed, size) << "the reported size is accepted";
        std::vector<BYTE> roomy(needed + 16, 0xCD);
        size = static_cast<ULONG>(roomy.size());
        ASSERT_HR(S_OK, m_library.Get(handle, c.id, roomy.data(), &size, kDsp));
        EXPECT_EQ(needed, size);
        EXPECT_EQ(WordsHex(c.output), Hex(roomy.data(), needed));
        EXPECT_EQ(std::vector<BYTE>(16, 0xCD),
                  std::vector<BYTE>(roomy.begin() + needed, roomy.end()))
            << "nothing written past the value";
    }
}

TEST_F(DspValues, ShortAndOversizedAnswersAreFailures) {
    const std::string filter = WaveFilter(kLabel15);
    const struct {
        const char* what;
        LONG id;
        int param;
        const char* answer;
        HRESULT result;
    } cases[] = {
        {"length past the block", 2126, 31, "{\"length\": 64001}", 0},
        {"length past what came back", 2126, 31, "{\"returned\": 10}", 0},
        {"nothing came back", 2108, 26, "{\"returned\": 2}", 0},
        {"shorter than 80 bytes", 2126, 31, "{\"length\": 40}", E_INVALIDARG},
        {"shorter than the 644-byte block", 2107, 23, "{\"length\": 100}", 0},
        {"a channel answer shorter than a word", 2137, 55, "{\"length\": 2}", 0},
        {"two words for a one-word id", 2103, 20, "{\"length\": 8, \"returned\": 12}",
         kInvalidData},
        {"half a word for the bypass", 2002, 1000, "{\"length\": 2}", kInvalidData},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.what) + ", id " + std::to_string(c.id));
        ASSERT_EQ(0, vexsim_AddFaults(("{\"method\": \"IKsControl::KsProperty\", \"endpoint\": \"" +
                                       filter + "\", \"request\": \"moduleParam\", \"param\": " +
                                       std::to_string(c.param) +
                                       ", \"call\": 1, \"answer\": " + c.answer + "}")
                                          .c_str()))
            << vexsim_LastError();
        std::vector<BYTE> buffer(1024, 0xAB);
        ULONG size = static_cast<ULONG>(buffer.size());
        const HRESULT hr = m_library.Get(m_handles[kLabel15], c.id, buffer.data(), &size, kDsp);
        if (c.result != 0) {
            EXPECT_HR(c.result, hr);
        } else {
            EXPECT_TRUE(FAILED(hr)) << vextest::Hex(hr);
        }
        if (c.id != 2137) {
            EXPECT_EQ(std::vector<BYTE>(1024, 0xAB), buffer) << "nothing copied";
        }
    }
}

using DspChannels = vextest::LibraryTest;

TEST_F(DspChannels, AModuleWithMoreThanEightChannelsFillsTheBlockOnly) {
    Load("ten-channels");
    ControlHandle handle =
        OpenOrFail(TEXT("{0.0.0.00000000}.{7b3c4d5e-0000-4000-8000-000000000004}"));
    ASSERT_EQ(0, vexsim_KsClearRequests("spk#wave"));
    std::vector<BYTE> block(36);  // exactly the block, so a write past it is caught
    ULONG size = 36;
    ASSERT_HR(S_OK, m_library.Get(handle, 2137, block.data(), &size, kDsp));
    EXPECT_EQ(WordsHex({8}), Hex(block.data(), 4)) << "eight of the ten channels";
    EXPECT_EQ(8u, RequestsOfKind("spk#wave", "moduleParam").size()) << "parameters 54 to 61";
    EXPECT_HR(S_OK, m_library.Close(handle));
}

TEST_F(DspValues, EveryRefusalLeavesOneRecord) {
    vextest::TraceSession session(5);
    const ControlHandle handle = m_handles[kLabel15];
    PROPVARIANT word = vextest::Int32Value(1000);
    std::vector<BYTE> tooLong(64001, 1);  // past the data part of a module parameter block
    const PROPVARIANT longBlob = vextest::BlobOver(tooLong);
    const struct {
        const char* what;
        std::function<HRESULT()> call;
        HRESULT result;
        const char* record;
        int level;
        const char* warning = nullptr;  // the driver's record of a request the module failed
    } cases[] = {
        {"more channels than values",
         [&] {
             return SetBlob(kLabel15, 2137, Bytes({3, 10, 20}));
         },
         E_INVALIDARG, "SetParameter: Set drova_channel_gain failed. [0x80070057]", 2},
        {"a channel the module refuses, the channel after it still written",
         [&] {
             EXPECT_EQ(0, vexsim_AddFaults(R"({"method": "IKsControl::KsProperty", "request": )"
                                           R"("moduleParam", "direction": "set", "param": 54, )"
                                           R"("result": "E_FAIL"})"));
             EXPECT_EQ(0, vexsim_KsClearRequests(WaveFilter(kLabel15).c_str()));
             const HRESULT hr = SetBlob(kLabel15, 2137, Bytes({2, -3, -4}));
             EXPECT_EQ(PerChannel(54, {-3, -4}), ParamWrites(WaveFilter(kLabel15)));
             return hr;
         },
         E_FAIL, "Set drova_channel_gain failed. [0x80004005]", 2,
         "SetModuleParam: Failed to set PP module parameter!: [0x80004005]"},
        {"a value longer than the form carries",
         [&] { return m_library.SetVariant(handle, 2105, &longBlob, kDsp); }, E_INVALIDARG,
         "SetModuleParam: Failed to set PP module parameter!: [0x80070057]", 3},
        {"an answer short of its layout",
         [&] {
             EXPECT_EQ(0, vexsim_AddFaults(R"({"method": "IKsControl::KsProperty", "request": )"
                                           R"("moduleParam", "param": 23, "call": 1, )"
                                           R"("answer": {"length": 100}})"));
             std::vector<BYTE> buffer(1024);
             ULONG size = 1024;
             return m_library.Get(handle, 2107, buffer.data(), &size, kDsp);
         },
         kInvalidData, "GetParameter: Get drova-audio-optimizer-bands failed. [0x8007000d]", 2},
        {"a get the module fails",
         [&] {
             EXPECT_EQ(0, vexsim_AddFaults(R"({"method": "IKsControl::KsProperty", "request": )"
                                           R"("moduleParam", "param": 20, "call": 1, )"
                                           R"("result": "E_FAIL"})"));
             LONG read = 0;
             ULONG size = sizeof read;
             return m_library.Get(handle, 2103, &read, &size, kDsp);
         },
         E_FAIL, "failed. [0x80004005]", 2, "Failed to get PP module parameter 20: [0x80004005]"},
        {"a stored value without its layout",
         [&] {
             EXPECT_HR(S_OK, m_library.SetVariant(handle, 1114, &word, VEX_ROUTE_APO));
             std::vector<BYTE> buffer(164);
             ULONG size = 164;
             return m_library.Get(handle, 1114, buffer.data(), &size, VEX_ROUTE_APO);
         },
         kInvalidData, "Stored value of parameter 1114 does not have its layout: [0x8007000d]", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        VexTraceClear();
        EXPECT_HR(c.result, c.call());
        if (vextest::HaveTraceController()) {
            EXPECT_TRUE(vextest::OneRecordAt(c.level, c.record));
            if (c.warning != nullptr) {
                EXPECT_TRUE(vextest::OneRecordAt(3, c.warning)) << "a warning";
            }
        }
    }
}
