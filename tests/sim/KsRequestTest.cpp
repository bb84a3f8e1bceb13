// Kernel-streaming requests to the default machine's wave filter, built byte by byte: the
// audio-engine descriptor, the audio-module descriptor list, and the vendor module set in the
// pin form and wrapped in the audio-module command. Wrong requests get a driver's codes.
#include "KsTestSupport.h"

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

    Bytes noTopologyFlag = property;
    noTopologyFlag[23] = 0;
    EXPECT_HR(kInvalidParameter, Send(noTopologyFlag, &data, &returned));
    Bytes otherNode = property;
    otherNode[24] = 7;
    EXPECT_HR(kInvalidParameter, Send(otherNode, &data, &returned));
    Bytes reserved = property;
    reserved[28] = 1;
    EXPECT_HR(kInvalidParameter, Send(reserved, &data, &returned));
    Bytes shortProperty(property.begin(), property.end() - 4);
    EXPECT_HR(kInvalidParameter, Send(shortProperty, &data, &returned));
    Bytes otherId = property;
    otherId[16] = 5;
    EXPECT_HR(kNotSupported, Send(otherId, &data, &returned));

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

TEST_F(SimKsRequest, InterfaceVersionAndModuleListInBothForms) {
    for (bool audioModule : {false, true}) {
        SCOPED_TRACE(audioModule ? "audio-module form" : "pin form");
        Request version = audioModule ? AudioModuleHead() : Request();
        version.Append(Pin(0, 1).Get());
        ASSERT_EQ(audioModule ? 80u : 32u, version.Size());
        Bytes answer(5, 0xCC);
        ULONG returned = 0;
        ASSERT_HR(S_OK, Send(version.Get(), &answer, &returned));
        EXPECT_EQ(5u, returned);
        EXPECT_EQ((Bytes{2, 0, 0, 0, 0}), answer);

        Request list = audioModule ? AudioModuleHead() : Request();
        list.Append(Pin(1, 1).Get()).Guid(simtest::kModuleAddress);
        ASSERT_EQ(audioModule ? 96u : 48u, list.Size());
        const ULONG size = 8 + 148;
        ASSERT_HR(S_OK, Send(list.Get(), nullptr, &returned)) << "the size query succeeds";
        EXPECT_EQ(size, returned);
        Bytes entries(size + 10, 0xCC);
        ASSERT_HR(S_OK, Send(list.Get(), &entries, &returned));
        EXPECT_EQ(size, returned);
        Request expected;
        expected.U32(size).U32(1).U32(2).Guid(simtest::kSpeakerModule);
        const size_t name = expected.Size();
        for (char c : std::string("drova")) {
            expected.U8(static_cast<uint8_t>(c));
        }
        expected.PadTo(name + 64);
        for (char c : std::string("1.4.2.0")) {
            expected.U8(static_cast<uint8_t>(c));
        }
        expected.PadTo(size);
        EXPECT_EQ(expected.Get(), Bytes(entries.begin(), entries.begin() + size));
        Bytes small(size - 1);
        EXPECT_HR(kInsufficientBuffer, Send(list.Get(), &small, &returned));
    }
}

TEST_F(SimKsRequest, EnableAndInstantiationStateInBothForms) {
    ULONG returned = 0;
    // Pin form: 69 bytes, the enable value in the data buffer.
    Request disable = Pin(2, 2);
    Header(disable).U8(1);
    ASSERT_EQ(69u, disable.Size());
    Bytes zero = {0};
    ASSERT_HR(S_OK, Send(disable.Get(), &zero, &returned));
    EXPECT_EQ(0, vexsim_ModuleEnabled(simtest::kWaveFilterUtf8, simtest::kSpeakerModule));
    Request get = Pin(2, 1);
    Header(get).U8(0);
    Bytes state = {0xCC};
    ASSERT_HR(S_OK, Send(get.Get(), &state, &returned));
    EXPECT_EQ(1u, returned);
    EXPECT_EQ(0, state[0]);

    // Audio-module form: 120 bytes, the selector and value bytes inside the property.
    Request enable = AudioModuleHead();
    enable.Append(Pin(2, 2).Get());
    Header(enable).U8(1).U8(1).PadTo(120);
    ASSERT_HR(S_OK, Send(enable.Get(), nullptr, &returned));
    EXPECT_EQ(1, vexsim_ModuleEnabled(simtest::kWaveFilterUtf8, simtest::kSpeakerModule));
    Request getWrapped = AudioModuleHead();
    getWrapped.Append(Pin(2, 1).Get());
    Header(getWrapped).U8(0).PadTo(120);
    ASSERT_HR(S_OK, Send(getWrapped.Get(), &state, &returned));
    EXPECT_EQ(1, state[0]);

    Bytes two = {2};
    EXPECT_HR(kInvalidParameter, Send(disable.Get(), &two, &returned)) << "enable byte 2";
    Request unpadded = AudioModuleHead();
    unpadded.Append(Pin(2, 2).Get());
    Header(unpadded).U8(1).U8(1);
    EXPECT_HR(kInvalidParameter, Send(unpadded.Get(), nullptr, &returned)) << "118 bytes";

    // Instantiation state: 68 bytes, or 116 and 4 zero bytes.
    Request instantiated = Pin(6, 1);
    Header(instantiated);
    ASSERT_EQ(68u, instantiated.Size());
    state[0] = 0xCC;
    ASSERT_HR(S_OK, Send(instantiated.Get(), &state, &returned));
    EXPECT_EQ(1, state[0]);
    Request wrapped = AudioModuleHead();
    wrapped.Append(Pin(6, 1).Get());
    Header(wrapped).PadTo(120);
    state[0] = 0xCC;
    ASSERT_HR(S_OK, Send(wrapped.Get(), &state, &returned));
    EXPECT_EQ(1, state[0]);
}

TEST_F(SimKsRequest, ParameterWriteReadsBackInBothForms) {
    ULONG returned = 0;
    // Pin form: 73 bytes, a 64004-byte block of length and data.
    Request set = Pin(3, 2);
    Header(set).U32(40).U8(1);
    ASSERT_EQ(73u, set.Size());
    Request block;
    block.U32(8).U32(0x11223344).U32(0xFFFFFFFF).PadTo(64004);
    ASSERT_HR(S_OK, Send(set.Get(), &block.Get(), &returned));
    unsigned char value[16] = {};
    unsigned long length = 0;
    ASSERT_EQ(0, vexsim_ModuleParam(simtest::kWaveFilterUtf8, simtest::kSpeakerModule, 40, value,
                                    sizeof value, &length));
    EXPECT_EQ(8u, length);
    EXPECT_EQ(simtest::Le32({0x11223344, 0xFFFFFFFF}), Bytes(value, value + 8));

    Request get = Pin(3, 1);
    Header(get).U32(40).U8(1);
    Bytes out(64004, 0xCC);
    ASSERT_HR(S_OK, Send(get.Get(), &out, &returned));
    EXPECT_EQ(12u, returned);
    EXPECT_EQ(simtest::Le32({8, 0x11223344, 0xFFFFFFFF}), Bytes(out.begin(), out.begin() + 12));
    EXPECT_HR(kMoreData, Send(get.Get(), nullptr, &returned));
    EXPECT_EQ(64004u, returned);
    Bytes small(64000);
    EXPECT_HR(kInsufficientBuffer, Send(get.Get(), &small, &returned));

    // Audio-module form: the length and the value inside a 64128-byte property (unaligned,
    // right after the flag byte at 120).
    Request wrappedSet = AudioModuleHead();
    wrappedSet.Append(Pin(3, 2).Get());
    Header(wrappedSet).U32(40).U8(1).U32(4).U32(7).PadTo(64128);
    ASSERT_HR(S_OK, Send(wrappedSet.Get(), nullptr, &returned));
    Request wrappedGet = AudioModuleHead();
    wrappedGet.Append(Pin(3, 1).Get());
    Header(wrappedGet).U32(40).U8(1).PadTo(128);
    ASSERT_HR(S_OK, Send(wrappedGet.Get(), &out, &returned));
    EXPECT_EQ(8u, returned);
    EXPECT_EQ(simtest::Le32({4, 7}), Bytes(out.begin(), out.begin() + 8));

    // The read flag: 0 for id 31, 1 for id 32.
    Request flagless = Pin(3, 1);
    Header(flagless).U32(31).U8(0);
    EXPECT_HR(S_OK, Send(flagless.Get(), &out, &returned));
    Request flagged = Pin(3, 1);
    Header(flagged).U32(31).U8(1);
    EXPECT_HR(kInvalidParameter, Send(flagged.Get(), &out, &returned));
    Request id32 = Pin(3, 1);
    Header(id32).U32(32).U8(1);
    EXPECT_HR(S_OK, Send(id32.Get(), &out, &returned));
    EXPECT_EQ(simtest::Le32({4, 0}), Bytes(out.begin(), out.begin() + 8))
        << "a parameter never written reads as 4 zero bytes";

    // A value longer than 64000 bytes, and stray bytes after the value.
    Request tooLong;
    tooLong.U32(64001).PadTo(64004);
    EXPECT_HR(kInvalidParameter, Send(set.Get(), &tooLong.Get(), &returned));
    Request stray;
    stray.U32(4).U32(1).U8(9).PadTo(64004);
    EXPECT_HR(kInvalidParameter, Send(set.Get(), &stray.Get(), &returned));
    Bytes shortBlock(64000);
    EXPECT_HR(kInsufficientBuffer, Send(set.Get(), &shortBlock, &returned));
}

TEST_F(SimKsRequest, UnregisterInBothForms) {
    ULONG returned = 0;
    Request pin = Pin(5, 2);
    Header(pin);
    Bytes cookie(8, 0);
    EXPECT_HR(S_OK, Send(pin.Get(), &cookie, &returned));
    Request wrapped = AudioModuleHead();
    wrapped.Append(Pin(5, 2).Get());
    Header(wrapped).U64(0).PadTo(128);
    EXPECT_HR(S_OK, Send(wrapped.Get(), nullptr, &returned));
    Request asGet = Pin(5, 1);
    Header(asGet);
    EXPECT_HR(kNotSupported, Send(asGet.Get(), &cookie, &returned));
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
    wrongClass.Guid(simtest::kAudioModuleSet)
        .U32(2)
        .U32(1)
        .Guid(simtest::kModuleAddress)
        .U32(0)
        .U32(0);
    wrongClass.Append(Pin(0, 1).Get());
    Request unknownSet;
    unknownSet.Guid("{00000000-1111-2222-3333-444444444444}").U32(0).U32(1);
    const Case cases[] = {
        {"unknown property set", unknownSet.Get(), kNotSupported},
        {"another module type", withHeader(Pin(3, 1), 1, simtest::kSpeakerModule),
         kInvalidParameter},
        {"an unknown module", withHeader(Pin(3, 1), 2, "{9DC26903-A3A8-4A30-8839-A77B6F4E5964}"),
         kInvalidParameter},
        {"a wrong address GUID", badAddress.Get(), kInvalidParameter},
        {"a pin without the module", withHeader(Pin(3, 1, 0), 2, simtest::kSpeakerModule),
         kNotSupported},
        {"a pin the filter lacks", withHeader(Pin(3, 1, 9), 2, simtest::kSpeakerModule),
         kInvalidParameter},
        {"get and set at once", withHeader(Pin(3, 3), 2, simtest::kSpeakerModule),
         kInvalidParameter},
        {"a non-zero reserved word", reserved.Get(), kInvalidParameter},
        {"an unknown vendor id", Pin(4, 1).Get(), kNotSupported},
        {"an audio module the filter lacks", wrongClass.Get(), kInvalidParameter},
        {"a short property", Bytes(20), kInvalidParameter},
    };
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

TEST_F(SimKsRequest, LogKeepsEveryRequestWithItsAnswer) {
    ASSERT_EQ(0, vexsim_KsClearRequests(nullptr));
    ULONG returned = 0;
    Request version = Pin(0, 1);
    Bytes answer(5);
    ASSERT_HR(S_OK, Send(version.Get(), &answer, &returned));
    Request set = Pin(3, 2);
    Header(set).U32(127).U8(1);
    Request block;
    block.U32(4).U32(3).PadTo(64004);
    ASSERT_HR(S_OK, Send(set.Get(), &block.Get(), &returned));
    Request bad = Pin(3, 2);
    EXPECT_HR(kInvalidParameter, Send(bad.Get(), &block.Get(), &returned));

    ASSERT_EQ(3, vexsim_KsRequestCount(simtest::kWaveFilterUtf8));
    vexsim_KsRequestInfo info{};
    ASSERT_EQ(0, vexsim_KsRequest(simtest::kWaveFilterUtf8, 0, &info));
    EXPECT_STREQ("interfaceVersion", info.kind);
    EXPECT_EQ(version.Get(), Bytes(info.property, info.property + info.propertyLength));
    EXPECT_EQ((Bytes{2, 0, 0, 0, 0}), Bytes(info.answer, info.answer + info.answerLength));
    EXPECT_EQ(5u, info.bytesReturned);
    EXPECT_EQ(S_OK, info.result);
    EXPECT_EQ(nullptr, info.data);

    ASSERT_EQ(0, vexsim_KsRequest(simtest::kWaveFilterUtf8, 1, &info));
    EXPECT_STREQ("moduleParam", info.kind);
    EXPECT_EQ(73u, info.propertyLength);
    EXPECT_EQ(64004u, info.dataLength);
    ASSERT_NE(nullptr, info.data);
    EXPECT_EQ(block.Get(), Bytes(info.data, info.data + info.dataLength));
    EXPECT_EQ(0u, info.answerLength);

    ASSERT_EQ(0, vexsim_KsRequest(simtest::kWaveFilterUtf8, 2, &info));
    EXPECT_EQ(kInvalidParameter, static_cast<HRESULT>(info.result));
    EXPECT_EQ(-1, vexsim_KsRequest(simtest::kWaveFilterUtf8, 3, &info));
    EXPECT_EQ(-1, vexsim_KsRequestCount("no such filter"));
}

// A parameter read of one id in the pin form.
Bytes ParamGet(ULONG param) {
    Request r;
    r.Guid(simtest::kVendorSet).U32(3).U32(1).U32(simtest::kOffloadPin).U32(0);
    r.Guid(simtest::kModuleAddress).U32(simtest::kModuleType).Guid(simtest::kSpeakerModule);
    r.U32(param).U8(param == 30 || param == 31 ? 0 : 1);
    return r.Get();
}

TEST_F(SimKsRequest, LogKeepsTheNewestRequestsAndTheTotalCountsThemAll) {
    ASSERT_EQ(0, vexsim_KsClearRequests(nullptr));
    constexpr ULONG kSent = 4096 + 5;
    Bytes block(64004);
    for (ULONG i = 0; i < kSent; ++i) {
        ULONG returned = 0;
        Bytes property = ParamGet(2000 + i);
        ASSERT_HR(S_OK, Send(property, &block, &returned));
    }
    EXPECT_EQ(4096, vexsim_KsRequestCount(simtest::kWaveFilterUtf8));
    EXPECT_EQ(static_cast<long long>(kSent), vexsim_KsRequestTotal(simtest::kWaveFilterUtf8));
    vexsim_KsRequestInfo info{};
    ASSERT_EQ(0, vexsim_KsRequest(simtest::kWaveFilterUtf8, 0, &info));
    ASSERT_EQ(73u, info.propertyLength);
    EXPECT_EQ(2005u, simtest::WordAt(info.property, 68)) << "the five oldest were dropped";
    ASSERT_EQ(0, vexsim_KsRequest(simtest::kWaveFilterUtf8, 4095, &info));
    EXPECT_EQ(2000u + kSent - 1, simtest::WordAt(info.property, 68));

    ASSERT_EQ(0, vexsim_KsClearRequests(simtest::kWaveFilterUtf8));
    EXPECT_EQ(0, vexsim_KsRequestCount(simtest::kWaveFilterUtf8));
    EXPECT_EQ(0, vexsim_KsRequestTotal(simtest::kWaveFilterUtf8));
    EXPECT_EQ(-1, vexsim_KsRequestTotal("no such filter"));
}

TEST_F(SimKsRequest, TheDumpNeverWritesTheLog) {
    ULONG returned = 0;
    Bytes answer(5);
    ASSERT_HR(S_OK, Send(Pin(0, 1).Get(), &answer, &returned));
    ASSERT_GT(vexsim_KsRequestCount(simtest::kWaveFilterUtf8), 0);
    const std::string dump = vexsim_DumpJson();
    EXPECT_EQ(std::string::npos, dump.find("\"requests\"")) << dump.substr(0, 400);
    ASSERT_TRUE(Loaded(vexsim_LoadMachineJson(dump.c_str())));
    EXPECT_EQ(0, vexsim_KsRequestCount(simtest::kWaveFilterUtf8));
    EXPECT_EQ(dump, std::string(vexsim_DumpJson()));
}

TEST_F(SimKsRequest, AnOldLogInAMachineFileIsReadPast) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachineJson(R"({"filters": [{"id": "wave", "requests": [
        {"kind": "moduleParam", "property": "37cee9ba", "propertyLength": 73,
         "dataLength": 64004, "bytesReturned": 0, "result": "0x00000000"},
        {"kind": "anything at all"}]}]})")));
    EXPECT_EQ(0, vexsim_KsRequestCount("wave"));
}

struct LoggingCase {
    const char* name;
    const char* machine;  // null: the default machine with the logs switched off by the call
};

void PrintTo(const LoggingCase& c, std::ostream* os) {
    *os << c.name;
}

class SimKsRequestLogging : public simtest::KsTest,
                            public ::testing::WithParamInterface<LoggingCase> {};

TEST_P(SimKsRequestLogging, SwitchedOffTheLogStaysEmptyAndTheTotalCounts) {
    const LoggingCase& c = GetParam();
    if (c.machine != nullptr) {
        ASSERT_TRUE(Loaded(vexsim_LoadMachineJson(c.machine)));
    } else {
        ASSERT_TRUE(Loaded(vexsim_LoadMachine("default")));
        vexsim_KsSetRequestLogging(0);
    }
    const char* wave = c.machine != nullptr ? "wave" : simtest::kWaveFilterUtf8;
    ComPtr<IKsControl> control = Control(wave);
    ASSERT_TRUE(control);
    ULONG returned = 0;
    Request engine;
    engine.Guid(simtest::kAudioEngineSet).U32(6).U32(0x10000001).U32(0).U32(0);
    Bytes answer(12);
    EXPECT_HR(S_OK, Send(control.Get(), engine.Get(), &answer, &returned));
    EXPECT_HR(S_OK, Send(control.Get(), engine.Get(), &answer, &returned));
    EXPECT_EQ(0, vexsim_KsRequestCount(wave));
    EXPECT_EQ(2, vexsim_KsRequestTotal(wave));
    EXPECT_NE(std::string::npos, std::string(vexsim_DumpJson()).find("\"requestLogging\": false"));

    vexsim_KsSetRequestLogging(1);
    EXPECT_HR(S_OK, Send(control.Get(), engine.Get(), &answer, &returned));
    EXPECT_EQ(1, vexsim_KsRequestCount(wave));
    EXPECT_EQ(3, vexsim_KsRequestTotal(wave));
    EXPECT_EQ(std::string::npos, std::string(vexsim_DumpJson()).find("requestLogging"));
}

INSTANTIATE_TEST_SUITE_P(Switches, SimKsRequestLogging,
                         ::testing::Values(LoggingCase{"ByCall", nullptr},
                                           LoggingCase{"ByMember", R"({"requestLogging": false,
                          "filters": [{"id": "wave",
                                       "topology": {"parts": [{"name": "e", "kind": "subunit", "node": 0}]},
                                       "engines": [{"node": 0, "hostPin": 0, "offloadPin": 1, "loopbackPin": 2}]}]})"}),
                         [](const auto& info) { return std::string(info.param.name); });

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

    EXPECT_EQ(-1, vexsim_AddFaults(R"({"method": "IPart::GetName", "request": "moduleList",
                                      "result": "E_FAIL"})"));
    EXPECT_NE(std::string::npos,
              std::string(vexsim_LastError()).find("has no kernel-streaming request"));
}

}  // namespace
