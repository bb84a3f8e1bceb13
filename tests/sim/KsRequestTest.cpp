// Kernel-streaming requests to the default machine's wave filter, built byte by byte: the
// audio-engine descriptor, the audio-module descriptor list, and the vendor module set in the
// pin form and wrapped in the audio-module command. Wrong requests get a driver's codes.
#include "support/KsRequests.h"

#include <ostream>
#include <string>

namespace {

using simtest::Bytes;
using simtest::kInsufficientBuffer;
using simtest::kInvalidParameter;
using simtest::kMoreData;
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

TEST_F(SimKsRequest, EngineDescriptorOfTheEngineNode) {
    // KSP_NODE: KSPROPSETID_AudioEngine, id 6, get | topology, node 0, reserved 0.
    Bytes property = {0xDC, 0x82, 0x2F, 0x3A, 0x6F, 0x88, 0xAA, 0x4B, 0x9E, 0xB4, 0x08,
                      0x2B, 0x90, 0x25, 0xC5, 0x36, 0x06, 0x00, 0x00, 0x00, 0x01, 0x00,
                      0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    Bytes data(12, 0xCC);
    ULONG returned = 0;
    ASSERT_HR(S_OK, Send(property, &data, &returned));
    EXPECT_EQ(12u, returned);
    EXPECT_EQ(simtest::Le32({0, 1, 2}), data) << "host pin 0, offload pin 1, loopback pin 2";

    EXPECT_HR(kMoreData, Send(property, nullptr, &returned));
    EXPECT_EQ(12u, returned);
    Bytes small(8);
    EXPECT_HR(kInsufficientBuffer, Send(property, &small, &returned));

    // Byte offsets of KSP_NODE changed one at a time: flags, node, reserved, the property id.
    const struct {
        size_t offset;
        BYTE value;
        HRESULT expected;
    } changes[] = {{23, 0, kInvalidParameter},
                   {24, 7, kInvalidParameter},
                   {28, 1, kInvalidParameter},
                   {16, 5, kNotSupported}};
    for (const auto& change : changes) {
        Bytes changed = property;
        changed[change.offset] = change.value;
        EXPECT_HR(change.expected, Send(changed, &data, &returned)) << change.offset;
    }
    Bytes shortProperty(property.begin(), property.end() - 4);
    EXPECT_HR(kInvalidParameter, Send(shortProperty, &data, &returned));

    // The topology filter has a node 0 (its volume node), but no engine.
    ComPtr<IKsControl> topology = Control(simtest::kTopologyFilterUtf8);
    ASSERT_TRUE(topology);
    EXPECT_HR(kNotSupported, KsTest::Send(topology.Get(), property, &data, &returned));
}

TEST_F(SimKsRequest, DescriptorListWithItsSizeQuery) {
    Request r;
    r.Guid(simtest::kAudioModuleSet).U32(1).U32(1);
    Bytes& property = r.Get();
    ASSERT_EQ(24u, property.size());
    ULONG returned = 0;
    ASSERT_HR(kMoreData, Send(property, nullptr, &returned)) << "the default size query";
    const ULONG size = 8 + 284;
    EXPECT_EQ(size, returned);
    Bytes small(size - 1);
    EXPECT_HR(kInsufficientBuffer, Send(property, &small, &returned));
    Bytes data(size, 0xCC);
    ASSERT_HR(S_OK, Send(property, &data, &returned));
    EXPECT_EQ(size, returned);
    Request expected;
    expected.U32(size).U32(1).Guid(simtest::kVendorClass).U32(0).U32(1).U32(0);
    for (char c : std::string("drova")) {
        expected.U16(static_cast<uint16_t>(c));
    }
    expected.PadTo(size);
    EXPECT_EQ(expected.Get(), data);

    Request set;
    set.Guid(simtest::kAudioModuleSet).U32(1).U32(2);
    EXPECT_HR(kNotSupported, Send(set.Get(), &data, &returned));
    Request longer;
    longer.Guid(simtest::kAudioModuleSet).U32(1).U32(1).U32(0);
    EXPECT_HR(kInvalidParameter, Send(longer.Get(), &data, &returned));

    // A filter that answers the size query with success, and one without audio modules.
    ASSERT_TRUE(Loaded(vexsim_LoadMachineJson(R"({"filters": [
        {"id": "w", "descriptorSizeQuery": "S_OK", "audioModules": []},
        {"id": "plain"}]})")));
    ComPtr<IKsControl> w = Control("w");
    ASSERT_HR(S_OK, KsTest::Send(w.Get(), property, nullptr, &returned));
    EXPECT_EQ(8u, returned) << "an empty list is a header alone";
    Bytes header(8, 0xCC);
    ASSERT_HR(S_OK, KsTest::Send(w.Get(), property, &header, &returned));
    EXPECT_EQ(simtest::Le32({8, 0}), header);
    ComPtr<IKsControl> plain = Control("plain");
    EXPECT_HR(kNotSupported, KsTest::Send(plain.Get(), property, &header, &returned));
}

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
    Request badAddress = Pin(3, 1);
    badAddress.Guid(simtest::kVendorClass).U32(2).Guid(simtest::kSpeakerModule).U32(40).U8(1);
    Request reserved;
    reserved.Guid(simtest::kVendorSet).U32(0).U32(1).U32(1).U32(5);
    Request wrongClass;
    wrongClass.Guid(simtest::kAudioModuleSet).U32(2).U32(1).Guid(simtest::kModuleAddress);
    wrongClass.U32(0).U32(0);
    wrongClass.Append(Pin(0, 1).Get());
    Request unknownSet;
    unknownSet.Guid("{00000000-1111-2222-3333-444444444444}").U32(0).U32(1);
    const char* const speaker = simtest::kSpeakerModule;
    // clang-format off
    const Case cases[] = {
        {"unknown property set", unknownSet.Get(), kNotSupported},
        {"another module type", withHeader(Pin(3, 1), 1, speaker), kInvalidParameter},
        {"an unknown module", withHeader(Pin(3, 1), 2, "{9DC26903-A3A8-4A30-8839-A77B6F4E5964}"), kInvalidParameter},
        {"a wrong address GUID", badAddress.Get(), kInvalidParameter},
        {"a pin without the module", withHeader(Pin(3, 1, 0), 2, speaker), kNotSupported},
        {"a pin the filter lacks", withHeader(Pin(3, 1, 9), 2, speaker), kInvalidParameter},
        {"get and set at once", withHeader(Pin(3, 3), 2, speaker), kInvalidParameter},
        {"a non-zero reserved word", reserved.Get(), kInvalidParameter},
        {"an unknown vendor id", Pin(4, 1).Get(), kNotSupported},
        {"an audio module the filter lacks", wrongClass.Get(), kInvalidParameter},
        {"a short property", Bytes(20), kInvalidParameter},
    };
    // clang-format on
    for (Case c : cases) {
        EXPECT_HR(c.expected, Send(c.property, &data, &returned)) << c.what;
    }
    Request ok = Pin(3, 1);
    Header(ok).U32(40).U8(1);
    Bytes& property = ok.Get();
    property.pop_back();  // 72 bytes
    EXPECT_HR(kInvalidParameter, Send(property, &data, &returned)) << "72 bytes";
    EXPECT_HR(E_POINTER, m_wave->KsProperty(reinterpret_cast<PKSPROPERTY>(property.data()),
                                            static_cast<ULONG>(property.size()), data.data(),
                                            static_cast<ULONG>(data.size()), nullptr));
}

TEST_F(SimKsRequest, FaultsNarrowedToOneRequestKind) {
    ASSERT_EQ(0, vexsim_AddFaults(R"([
        {"method": "IKsControl::KsProperty", "request": "moduleParam", "direction": "set",
         "param": 127, "result": "0x8007001F"},
        {"method": "IKsControl::KsProperty", "request": "interfaceVersion", "form": "audioModule",
         "call": 1, "result": "E_FAIL"}])"))
        << vexsim_LastError();
    ULONG returned = 0;
    Request block;
    block.U32(4).U32(3).PadTo(64004);
    Request set127 = Pin(3, 2);
    Header(set127).U32(127).U8(1);
    EXPECT_HR(static_cast<HRESULT>(0x8007001F), Send(set127.Get(), &block.Get(), &returned));
    Request set40 = Pin(3, 2);
    Header(set40).U32(40).U8(1);
    EXPECT_HR(S_OK, Send(set40.Get(), &block.Get(), &returned));
    unsigned long length = 0;
    unsigned char value[4] = {};
    ASSERT_EQ(0, vexsim_ModuleParam(simtest::kWaveFilterUtf8, simtest::kSpeakerModule, 127, value,
                                    4, &length));
    EXPECT_EQ(simtest::Le32({1}), Bytes(value, value + 4)) << "the failed write changed nothing";

    Bytes answer(5);
    EXPECT_HR(S_OK, Send(Pin(0, 1).Get(), &answer, &returned)) << "the pin form is not hit";
    Request wrapped = AudioModuleHead();
    wrapped.Append(Pin(0, 1).Get());
    EXPECT_HR(E_FAIL, Send(wrapped.Get(), &answer, &returned));
    EXPECT_HR(S_OK, Send(wrapped.Get(), &answer, &returned)) << "only the first call";
    EXPECT_EQ(5u, vexsim_CallCount("IKsControl::KsProperty"));
}

}  // namespace
