// Kernel-streaming requests to the default machine's wave filter, built byte by byte: wrong
// requests get a driver's codes, one of each kind; faults narrowed to one kind of request; and
// faults that rewrite an answer (other bytes, a count or length field, a bytes-returned value
// shorter or longer than what was written), never written past the caller's buffer.
#include "support/KsRequests.h"

#include <string>

namespace {

using simtest::Bytes;
using simtest::kInvalidParameter;
using simtest::kNotSupported;
using simtest::Le32;
using simtest::Loaded;
using simtest::Request;

// KSP_PIN on the vendor set: set, id, flags, pin id, reserved.
Request Pin(ULONG id, ULONG flags, ULONG pin = simtest::kOffloadPin) {
    Request r;
    r.Guid(simtest::kVendorSet).U32(id).U32(flags).U32(pin).U32(0);
    return r;
}

// A module parameter request: KSP_PIN, the module header (address, type, module), the
// parameter id and one byte.
Bytes ParamGet(ULONG param, ULONG flags = 1, ULONG pin = simtest::kOffloadPin,
               const char* module = simtest::kSpeakerModule) {
    Request r = Pin(3, flags, pin);
    r.Guid(simtest::kModuleAddress).U32(simtest::kModuleType).Guid(module);
    return r.U32(param).U8(1).Get();
}

// The interface version and the module list, on the vendor set.
Bytes InterfaceVersion() {
    return Pin(0, 1).Get();
}

Bytes ModuleList() {
    return Pin(1, 1).Guid(simtest::kModuleAddress).Get();
}

class SimKsRequest : public simtest::KsTest {
protected:
    void SetUp() override {
        KsTest::SetUp();
        ASSERT_TRUE(Loaded(vexsim_LoadMachine("default")));
        m_wave = Control(simtest::kWaveFilterUtf8);
        ASSERT_TRUE(m_wave);
    }
    void TearDown() override {
        m_wave.Reset();
        KsTest::TearDown();
    }

    HRESULT Send(Bytes& property, Bytes* data, ULONG* returned) {
        return KsTest::Send(m_wave.Get(), property, data, returned);
    }

    ComPtr<IKsControl> m_wave;
};

TEST_F(SimKsRequest, WrongRequestsGetDriverCodes) {
    ULONG returned = 0;
    Bytes data(64004);
    struct Case {
        const char* what;
        Bytes property;
        HRESULT expected;
    };
    Request reserved;
    reserved.Guid(simtest::kVendorSet).U32(0).U32(1).U32(1).U32(5);
    Request wrongClass;
    wrongClass.Guid(simtest::kAudioModuleSet).U32(2).U32(1).Guid(simtest::kModuleAddress);
    wrongClass.U32(0).U32(0);
    wrongClass.Append(InterfaceVersion());
    Request engineNode;
    engineNode.Guid(simtest::kAudioEngineSet).U32(6).U32(0x10000001).U32(7).U32(0);
    Request descriptorSet;
    descriptorSet.Guid(simtest::kAudioModuleSet).U32(1).U32(2);
    Request unknownSet;
    unknownSet.Guid("{00000000-1111-2222-3333-444444444444}").U32(0).U32(1);
    // clang-format off
    const Case cases[] = {
        {"unknown property set", unknownSet.Get(), kNotSupported},
        {"an unknown module", ParamGet(40, 1, simtest::kOffloadPin, "{9DC26903-A3A8-4A30-8839-A77B6F4E5964}"), kInvalidParameter},
        {"a pin without the module", ParamGet(40, 1, 0), kNotSupported},
        {"a pin the filter lacks", ParamGet(40, 1, 9), kInvalidParameter},
        {"get and set at once", ParamGet(40, 3), kInvalidParameter},
        {"a non-zero reserved word", reserved.Get(), kInvalidParameter},
        {"an unknown vendor id", Pin(4, 1).Get(), kNotSupported},
        {"an audio module the filter lacks", wrongClass.Get(), kInvalidParameter},
        {"a short property", Bytes(20), kInvalidParameter},
        {"a node the filter lacks", engineNode.Get(), kInvalidParameter},
        {"a set of the descriptor list", descriptorSet.Get(), kNotSupported},
    };
    // clang-format on
    for (Case c : cases) {
        EXPECT_HR(c.expected, Send(c.property, &data, &returned)) << c.what;
    }
    Bytes property = ParamGet(40);
    EXPECT_HR(E_POINTER, m_wave->KsProperty(reinterpret_cast<PKSPROPERTY>(property.data()),
                                            static_cast<ULONG>(property.size()), data.data(),
                                            static_cast<ULONG>(data.size()), nullptr));
    // The topology filter has a node 0 (its volume node), but no engine.
    ComPtr<IKsControl> topology = Control(simtest::kTopologyFilterUtf8);
    ASSERT_TRUE(topology);
    engineNode.Get()[24] = 0;
    EXPECT_HR(kNotSupported, KsTest::Send(topology.Get(), engineNode.Get(), &data, &returned));
}

TEST_F(SimKsRequest, FaultsNarrowedToOneRequestKind) {
    ASSERT_EQ(0, vexsim_AddFaults(R"({"method": "IKsControl::KsProperty",
        "request": "interfaceVersion", "form": "audioModule", "call": 1, "result": "E_FAIL"})"))
        << vexsim_LastError();
    ULONG returned = 0;
    Bytes answer(5);
    EXPECT_HR(S_OK, Send(Pin(0, 1).Get(), &answer, &returned)) << "the pin form is not hit";
    // The 48-byte KSAUDIOMODULE_PROPERTY head: set, id 2, get, class, instance, four zero bytes.
    Request wrapped;
    wrapped.Guid(simtest::kAudioModuleSet).U32(2).U32(1).Guid(simtest::kVendorClass).U32(0).U32(0);
    wrapped.Append(InterfaceVersion());
    EXPECT_HR(E_FAIL, Send(wrapped.Get(), &answer, &returned));
    EXPECT_HR(S_OK, Send(wrapped.Get(), &answer, &returned)) << "only the first call";
    EXPECT_EQ(3u, vexsim_CallCount("IKsControl::KsProperty"));
    EXPECT_EQ(0, vexsim_KsClearRequests(nullptr)) << "a null id clears every filter";
    EXPECT_EQ(0, vexsim_KsRequestTotal(simtest::kWaveFilterUtf8));
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

class SimAnswerFault : public SimKsRequest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(SimAnswerFault, TheCallerSeesTheRewrittenAnswer) {
    const AnswerCase& c = GetParam();
    const std::string fault = std::string(R"({"method": "IKsControl::KsProperty", "request": ")") +
                              c.request + "\", " + c.answer + "}";
    ASSERT_EQ(0, vexsim_AddFaults(fault.c_str())) << vexsim_LastError();
    Bytes property = c.property();
    // A guard after the buffer the caller gives: the simulator must leave it alone.
    constexpr size_t kGuard = 16;
    Bytes buffer(c.dataLength + kGuard, 0xA5);
    ULONG returned = 0xDEADBEEF;
    EXPECT_HR(c.result, m_wave->KsProperty(reinterpret_cast<PKSPROPERTY>(property.data()),
                                           static_cast<ULONG>(property.size()),
                                           c.dataLength != 0 ? buffer.data() : nullptr,
                                           c.dataLength, &returned));
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

// The sizes of the default wave filter's answers.
constexpr ULONG kListSize = 8 + 148;
constexpr ULONG kDescriptorsSize = 8 + 284;

// clang-format off
const AnswerCase kAnswers[] = {
    {"ModuleListSizeQueryTooShort", "moduleList", R"("sizeQuery": true, "answer": {"returned": 4})", ModuleList, 0, S_OK, 4, Bytes()},
    {"ModuleListSizeFieldLies", "moduleList", R"("answer": {"length": 100000, "count": 1000})", ModuleList, kListSize, S_OK, kListSize, Le32({100000, 1000})},
    {"DescriptorCountBeyondTheList", "moduleDescriptors", R"("answer": {"count": 7})", [] { return Request().Guid(simtest::kAudioModuleSet).U32(1).U32(1).Get(); }, kDescriptorsSize, S_OK, kDescriptorsSize, Le32({kDescriptorsSize, 7})},
    {"VersionBytesReplaced", "interfaceVersion", R"("answer": {"bytes": "03"})", InterfaceVersion, 5, S_OK, 1, Bytes({3, 0, 0, 0, 0})},
    {"BytesLongerThanTheBufferAreCut", "interfaceVersion", R"("answer": {"bytes": "0102030405060708090a"})", InterfaceVersion, 5, S_OK, 5, Bytes({1, 2, 3, 4, 5})},
    {"ReturnedLongerThanTheBuffer", "moduleParam", R"("answer": {"returned": 70000})", [] { return ParamGet(127); }, 64004, S_OK, 70000, Le32({4, 1})},
    {"EngineAnswerWithAFailure", "engineDescriptor", R"("answer": {"bytes": "090000000800000007000000", "returned": 2}, "result": "E_FAIL")", [] { return Request().Guid(simtest::kAudioEngineSet).U32(6).U32(0x10000001).U32(0).U32(0).Get(); }, 12, E_FAIL, 2, Le32({9, 8, 7})},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Answers, SimAnswerFault, ::testing::ValuesIn(kAnswers),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
