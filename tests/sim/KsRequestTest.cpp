// Kernel-streaming requests to the default machine's wave filter, built byte by byte: wrong
// requests get a driver's codes, one of each kind, and faults narrowed to one kind of request.
// The right requests' answers are what the library's discovery tests read.
#include "support/KsRequests.h"

#include <ostream>

namespace {

using simtest::Bytes;
using simtest::kInvalidParameter;
using simtest::kNotSupported;
using simtest::Loaded;
using simtest::Request;

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

    // KSP_PIN on the vendor set: set, id, flags, pin id, reserved.
    static Request Pin(ULONG id, ULONG flags, ULONG pin = simtest::kOffloadPin) {
        Request r;
        r.Guid(simtest::kVendorSet).U32(id).U32(flags).U32(pin).U32(0);
        return r;
    }
    // The 48-byte KSAUDIOMODULE_PROPERTY head: audio-module set, id 2, get, class, instance,
    // four zero bytes.
    static Request AudioModuleHead() {
        Request r;
        r.Guid(simtest::kAudioModuleSet).U32(2).U32(1).Guid(simtest::kVendorClass).U32(0).U32(0);
        return r;
    }
    // The module header: address GUID, module type, module GUID.
    static Request& Header(Request& r, ULONG type = simtest::kModuleType,
                           const char* module = simtest::kSpeakerModule) {
        return r.Guid(simtest::kModuleAddress).U32(type).Guid(module);
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
    auto withHeader = [](Request r, ULONG type, const char* module) {
        Header(r, type, module).U32(40).U8(1);
        return r.Get();
    };
    Request reserved;
    reserved.Guid(simtest::kVendorSet).U32(0).U32(1).U32(1).U32(5);
    Request wrongClass;
    wrongClass.Guid(simtest::kAudioModuleSet).U32(2).U32(1).Guid(simtest::kModuleAddress);
    wrongClass.U32(0).U32(0);
    wrongClass.Append(Pin(0, 1).Get());
    Request engineNode;
    engineNode.Guid(simtest::kAudioEngineSet).U32(6).U32(0x10000001).U32(7).U32(0);
    Request descriptorSet;
    descriptorSet.Guid(simtest::kAudioModuleSet).U32(1).U32(2);
    Request unknownSet;
    unknownSet.Guid("{00000000-1111-2222-3333-444444444444}").U32(0).U32(1);
    const char* const speaker = simtest::kSpeakerModule;
    // clang-format off
    const Case cases[] = {
        {"unknown property set", unknownSet.Get(), kNotSupported},
        {"an unknown module", withHeader(Pin(3, 1), 2, "{9DC26903-A3A8-4A30-8839-A77B6F4E5964}"), kInvalidParameter},
        {"a pin without the module", withHeader(Pin(3, 1, 0), 2, speaker), kNotSupported},
        {"a pin the filter lacks", withHeader(Pin(3, 1, 9), 2, speaker), kInvalidParameter},
        {"get and set at once", withHeader(Pin(3, 3), 2, speaker), kInvalidParameter},
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
    Request ok = Pin(3, 1);
    Header(ok).U32(40).U8(1);
    Bytes& property = ok.Get();
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
    Request wrapped = AudioModuleHead();
    wrapped.Append(Pin(0, 1).Get());
    EXPECT_HR(E_FAIL, Send(wrapped.Get(), &answer, &returned));
    EXPECT_HR(S_OK, Send(wrapped.Get(), &answer, &returned)) << "only the first call";
    EXPECT_EQ(3u, vexsim_CallCount("IKsControl::KsProperty"));
}

}  // namespace
