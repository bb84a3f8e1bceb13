// Faults that rewrite a driver's answer: other bytes, a count or length field, a bytes-returned
// value shorter or longer than what was written. The simulator never writes past the caller's
// buffer, whatever the fault says.
#include "support/KsRequests.h"

#include <string>

namespace {

using simtest::Bytes;
using simtest::Loaded;
using simtest::Request;

Request Pin(ULONG id, ULONG flags) {
    Request r;
    r.Guid(simtest::kVendorSet).U32(id).U32(flags).U32(simtest::kOffloadPin).U32(0);
    return r;
}

Bytes InterfaceVersion() {
    return Pin(0, 1).Get();
}

Bytes ModuleList() {
    return Pin(1, 1).Guid(simtest::kModuleAddress).Get();
}

Bytes Descriptors() {
    return Request().Guid(simtest::kAudioModuleSet).U32(1).U32(1).Get();
}

Bytes ParamGet() {
    Request r = Pin(3, 1);
    r.Guid(simtest::kModuleAddress).U32(simtest::kModuleType).Guid(simtest::kSpeakerModule);
    return r.U32(127).U8(1).Get();
}

Bytes Engine() {
    return Request().Guid(simtest::kAudioEngineSet).U32(6).U32(0x10000001).U32(0).U32(0).Get();
}

struct AnswerCase {
    const char* name;
    const char* request;
    const char* answer;  // the fault's other members
    Bytes (*property)();
    ULONG dataLength;  // 0: no data buffer (a size query)
    HRESULT result;
    ULONG returned;
    Bytes head;  // the answer's first bytes expected
};

class SimAnswerFault : public simtest::KsTest, public ::testing::WithParamInterface<AnswerCase> {
protected:
    void SetUp() override {
        KsTest::SetUp();
        ASSERT_TRUE(Loaded(vexsim_LoadMachine("default")));
    }
};

// The sizes of the default wave filter's answers.
constexpr ULONG kListSize = 8 + 148;
constexpr ULONG kDescriptorsSize = 8 + 284;

TEST_P(SimAnswerFault, TheCallerSeesTheRewrittenAnswer) {
    const AnswerCase& c = GetParam();
    const std::string fault = std::string(R"({"method": "IKsControl::KsProperty", "request": ")") +
                              c.request + "\", " + c.answer + "}";
    ASSERT_EQ(0, vexsim_AddFaults(fault.c_str())) << vexsim_LastError();
    ComPtr<IKsControl> wave = Control(simtest::kWaveFilterUtf8);
    ASSERT_TRUE(wave);
    Bytes property = c.property();
    // A guard after the buffer the caller gives: the simulator must leave it alone.
    constexpr size_t kGuard = 16;
    Bytes buffer(c.dataLength + kGuard, 0xA5);
    ULONG returned = 0xDEADBEEF;
    EXPECT_HR(c.result, wave->KsProperty(reinterpret_cast<PKSPROPERTY>(property.data()),
                                         static_cast<ULONG>(property.size()),
                                         c.dataLength != 0 ? buffer.data() : nullptr, c.dataLength,
                                         &returned));
    EXPECT_EQ(c.returned, returned);
    EXPECT_EQ(c.head, Bytes(buffer.begin(), buffer.begin() + c.head.size()));
    EXPECT_EQ(Bytes(kGuard, 0xA5), Bytes(buffer.end() - kGuard, buffer.end()));

    // The log shows what the caller got, never more than its buffer.
    const int count = vexsim_KsRequestCount(simtest::kWaveFilterUtf8);
    ASSERT_GT(count, 0);
    vexsim_KsRequestInfo info{};
    ASSERT_EQ(0, vexsim_KsRequest(simtest::kWaveFilterUtf8, count - 1, &info));
    EXPECT_EQ(c.returned, info.bytesReturned);
    EXPECT_EQ(c.result, static_cast<HRESULT>(info.result));
    EXPECT_LE(info.answerLength, c.dataLength);
}

using simtest::Le32;
// clang-format off
const AnswerCase kAnswers[] = {
    {"ModuleListSizeQueryTooShort", "moduleList", R"("sizeQuery": true, "answer": {"returned": 4})", ModuleList, 0, S_OK, 4, Bytes()},
    {"ModuleListSizeFieldLies", "moduleList", R"("answer": {"length": 100000, "count": 1000})", ModuleList, kListSize, S_OK, kListSize, Le32({100000, 1000})},
    {"DescriptorCountBeyondTheList", "moduleDescriptors", R"("answer": {"count": 7})", Descriptors, kDescriptorsSize, S_OK, kDescriptorsSize, Le32({kDescriptorsSize, 7})},
    {"VersionBytesReplaced", "interfaceVersion", R"("answer": {"bytes": "03"})", InterfaceVersion, 5, S_OK, 1, Bytes({3, 0, 0, 0, 0})},
    {"BytesLongerThanTheBufferAreCut", "interfaceVersion", R"("answer": {"bytes": "0102030405060708090a"})", InterfaceVersion, 5, S_OK, 5, Bytes({1, 2, 3, 4, 5})},
    {"ReturnedLongerThanTheBuffer", "moduleParam", R"("answer": {"returned": 70000})", ParamGet, 64004, S_OK, 70000, Le32({4, 1})},
    {"EngineAnswerWithAFailure", "engineDescriptor", R"("answer": {"bytes": "090000000800000007000000", "returned": 2}, "result": "E_FAIL")", Engine, 12, E_FAIL, 2, Le32({9, 8, 7})},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Answers, SimAnswerFault, ::testing::ValuesIn(kAnswers),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
