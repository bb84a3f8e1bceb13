// Vendor modules as machine files describe them: several modules on several pins, interface
// versions, module lists with unknown GUIDs, size-query answers, parameters from the file, and
// modules of the AMD-type set.
#include "KsTestSupport.h"

namespace {

using simtest::Bytes;
using simtest::kInvalidParameter;
using simtest::kMoreData;
using simtest::kNotSupported;
using simtest::Loaded;
using simtest::Request;

const char* const kModuleA = "{9DC26903-A3A8-4A30-8839-A77B6F4E5964}";
const char* const kModuleB = "{00000000-1111-2222-3333-444444444444}";  // in no table
const char* const kAmdPresent = "{B5FCC815-1F49-4F4E-B04C-05F3A383EFFF}";
const char* const kAmdAbsent = "{E04EF10E-DA36-4692-A71E-0077161AED54}";

// Two modules on one wave filter answering on two pins, a list size query that answers
// ERROR_MORE_DATA, interface version 3, no engine descriptor; and a filter with AMD-type
// modules only.
const char* const kMachine = R"({
  "endpoints": [
    {"id": "spk", "renderPath": {
      "engine": false,
      "interfaceVersion": 3,
      "moduleListSizeQuery": "ERROR_MORE_DATA",
      "modules": [
        {"guid": "{9DC26903-A3A8-4A30-8839-A77B6F4E5964}", "type": "SFX", "name": "a", "version": "1.3.1",
         "pins": [1], "otherParams": "refuse",
         "params": {"20": {"words": [5, 6], "fixed": true}, "21": {"length": 6}}},
        {"guid": "{00000000-1111-2222-3333-444444444444}", "type": 7, "name": "b", "version": "9",
         "pins": [2], "instantiated": false, "enabled": false}]}},
    {"id": "amp", "renderPath": {"waveFilter": "amdwave", "modules": [
        {"guid": "{B5FCC815-1F49-4F4E-B04C-05F3A383EFFF}", "set": "amd", "version": "4.1.0",
         "params": {"5": {"length": 5000}}},
        {"guid": "{E04EF10E-DA36-4692-A71E-0077161AED54}", "set": "amd", "present": false}]}}
  ]
})";

class SimVendorModule : public simtest::KsTest {
protected:
    void SetUp() override {
        KsTest::SetUp();
        ASSERT_TRUE(Loaded(vexsim_LoadMachineJson(kMachine)));
    }

    static Request Pin(ULONG id, ULONG flags, ULONG pin) {
        Request r;
        r.Guid(simtest::kVendorSet).U32(id).U32(flags).U32(pin).U32(0);
        return r;
    }
    static Request Amd(ULONG id, ULONG flags, const char* module, ULONG type, ULONG param) {
        Request r;
        r.Guid(simtest::kAmdSet).U32(id).U32(flags).Guid(module).U32(type).U32(param);
        return r;
    }
};

TEST_F(SimVendorModule, EachPinListsItsOwnModule) {
    ComPtr<IKsControl> wave = Control("spk#wave");
    ASSERT_TRUE(wave);
    ULONG returned = 0;
    Bytes version(5);
    ASSERT_HR(S_OK, Send(wave.Get(), Pin(0, 1, 2).Get(), &version, &returned));
    EXPECT_EQ(3, version[0]);
    EXPECT_HR(kNotSupported, Send(wave.Get(), Pin(0, 1, 0).Get(), &version, &returned))
        << "the host pin has no module";

    Request list1 = Pin(1, 1, 1);
    list1.Guid(simtest::kModuleAddress);
    EXPECT_HR(kMoreData, Send(wave.Get(), list1.Get(), nullptr, &returned));
    EXPECT_EQ(156u, returned);
    Bytes entries(156);
    ASSERT_HR(S_OK, Send(wave.Get(), list1.Get(), &entries, &returned));
    Request first;
    first.U32(156).U32(1).U32(0).Guid(kModuleA);
    EXPECT_EQ(first.Get(), Bytes(entries.begin(), entries.begin() + 28));

    Request list2 = Pin(1, 1, 2);
    list2.Guid(simtest::kModuleAddress);
    ASSERT_HR(S_OK, Send(wave.Get(), list2.Get(), &entries, &returned));
    Request second;
    second.U32(156).U32(1).U32(7).Guid(kModuleB);
    EXPECT_EQ(second.Get(), Bytes(entries.begin(), entries.begin() + 28));

    // The second module is not instantiated; module A is not reachable on pin 2.
    Request state = Pin(6, 1, 2);
    state.Guid(simtest::kModuleAddress).U32(7).Guid(kModuleB);
    Bytes byte = {0xCC};
    ASSERT_HR(S_OK, Send(wave.Get(), state.Get(), &byte, &returned));
    EXPECT_EQ(0, byte[0]);
    Request elsewhere = Pin(6, 1, 2);
    elsewhere.Guid(simtest::kModuleAddress).U32(0).Guid(kModuleA);
    EXPECT_HR(kInvalidParameter, Send(wave.Get(), elsewhere.Get(), &byte, &returned));
    EXPECT_EQ(0, vexsim_ModuleEnabled("spk#wave", kModuleB));

    // No engine descriptor on this wave filter, and no audio-module set.
    Request engine;
    engine.Guid(simtest::kAudioEngineSet).U32(6).U32(0x10000001).U32(0).U32(0);
    Bytes descriptor(12);
    EXPECT_HR(kNotSupported, Send(wave.Get(), engine.Get(), &descriptor, &returned));
    Request descriptors;
    descriptors.Guid(simtest::kAudioModuleSet).U32(1).U32(1);
    EXPECT_HR(kNotSupported, Send(wave.Get(), descriptors.Get(), nullptr, &returned));
}

TEST_F(SimVendorModule, ParametersFromTheFileKeepTheirLengths) {
    ComPtr<IKsControl> wave = Control("spk#wave");
    ASSERT_TRUE(wave);
    ULONG returned = 0;
    auto get = [&](ULONG param, Bytes* out) {
        Request r = Pin(3, 1, 1);
        r.Guid(simtest::kModuleAddress).U32(0).Guid(kModuleA).U32(param).U8(1);
        out->assign(64004, 0xCC);
        return Send(wave.Get(), r.Get(), out, &returned);
    };
    auto set = [&](ULONG param, const Bytes& value) {
        Request r = Pin(3, 2, 1);
        r.Guid(simtest::kModuleAddress).U32(0).Guid(kModuleA).U32(param).U8(1);
        Request block;
        block.U32(static_cast<uint32_t>(value.size())).Append(value).PadTo(64004);
        return Send(wave.Get(), r.Get(), &block.Get(), &returned);
    };
    Bytes out;
    ASSERT_HR(S_OK, get(20, &out));
    EXPECT_EQ(simtest::Le32({8, 5, 6}), Bytes(out.begin(), out.begin() + 12));
    ASSERT_HR(S_OK, get(21, &out));
    EXPECT_EQ(10u, returned);
    EXPECT_EQ((Bytes{6, 0, 0, 0, 0, 0, 0, 0, 0, 0}), Bytes(out.begin(), out.begin() + 10));
    EXPECT_HR(kInvalidParameter, get(22, &out)) << "a module that refuses unlisted parameters";
    EXPECT_HR(kInvalidParameter, set(22, simtest::Le32({1})));
    EXPECT_HR(kInvalidParameter, set(20, simtest::Le32({1}))) << "a fixed length of 8";
    EXPECT_HR(S_OK, set(20, simtest::Le32({7, 8})));
    EXPECT_HR(S_OK, set(21, Bytes{1, 2}));
    ASSERT_HR(S_OK, get(21, &out));
    EXPECT_EQ((Bytes{2, 0, 0, 0, 1, 2}), Bytes(out.begin(), out.begin() + 6));
    const std::string dump = vexsim_DumpJson();
    EXPECT_NE(std::string::npos, dump.find("\"words\": [\n")) << dump;
}

TEST_F(SimVendorModule, AmdTypeModulesAnswerTheVendorSetOnly) {
    ComPtr<IKsControl> wave = Control("amdwave");
    ASSERT_TRUE(wave);
    ULONG returned = 0;
    Bytes version(5);
    EXPECT_HR(kNotSupported, Send(wave.Get(), Pin(0, 1, 1).Get(), &version, &returned))
        << "no vendor module set on an AMD-type filter";

    // Presence probe: 48 bytes, type 2, a zero word; an 8-byte answer.
    Request probe = Amd(1, 1, kAmdPresent, 2, 0);
    ASSERT_EQ(48u, probe.Size());
    Bytes presence(8, 0xCC);
    ASSERT_HR(S_OK, Send(wave.Get(), probe.Get(), &presence, &returned));
    EXPECT_EQ(8u, returned);
    EXPECT_EQ((Bytes{1, 0, 0, 0, 0, 0, 0, 0}), presence);
    presence.assign(8, 0xCC);
    ASSERT_HR(S_OK, Send(wave.Get(), Amd(1, 1, kAmdAbsent, 2, 0).Get(), &presence, &returned));
    EXPECT_EQ(Bytes(8, 0), presence) << "a module that is not present";
    presence.assign(8, 0xCC);
    ASSERT_HR(S_OK, Send(wave.Get(), Amd(1, 1, kModuleB, 2, 0).Get(), &presence, &returned));
    EXPECT_EQ(Bytes(8, 0), presence) << "a GUID the filter does not know";
    EXPECT_HR(kInvalidParameter,
              Send(wave.Get(), Amd(1, 1, kAmdPresent, 2, 1).Get(), &presence, &returned));

    // Parameters through 4096-byte blocks; 1001 is the version text.
    Bytes block(4096, 0xCC);
    ASSERT_HR(S_OK, Send(wave.Get(), Amd(0, 1, kAmdPresent, 2, 1001).Get(), &block, &returned));
    EXPECT_EQ((Bytes{6, 0, 0, 0, '4', '.', '1', '.', '0', 0}),
              Bytes(block.begin(), block.begin() + 10));
    Request write;
    write.U32(4).U32(0x01020304).PadTo(4096);
    ASSERT_HR(S_OK, Send(wave.Get(), Amd(0, 2, kAmdPresent, 2, 9).Get(), &write.Get(), &returned));
    ASSERT_HR(S_OK, Send(wave.Get(), Amd(0, 1, kAmdPresent, 2, 9).Get(), &block, &returned));
    EXPECT_EQ(simtest::Le32({4, 0x01020304}), Bytes(block.begin(), block.begin() + 8));
    // A value longer than the block: its length, and as much as fits.
    ASSERT_HR(S_OK, Send(wave.Get(), Amd(0, 1, kAmdPresent, 2, 5).Get(), &block, &returned));
    EXPECT_EQ(5000u, simtest::WordAt(block.data(), 0));
    EXPECT_EQ(4096u, returned);
    Bytes small(4092);
    EXPECT_HR(simtest::kInsufficientBuffer,
              Send(wave.Get(), Amd(0, 1, kAmdPresent, 2, 9).Get(), &small, &returned));
    EXPECT_HR(kInvalidParameter,
              Send(wave.Get(), Amd(0, 1, kAmdPresent, 1, 9).Get(), &block, &returned))
        << "another module type";
    Request tooLong;
    tooLong.U32(4093).PadTo(4096);
    EXPECT_HR(kInvalidParameter,
              Send(wave.Get(), Amd(0, 2, kAmdPresent, 2, 9).Get(), &tooLong.Get(), &returned));
}

TEST_F(SimVendorModule, InterfaceVersionAnswersWhatTheFileSays) {
    for (unsigned version : {0u, 1u, 2u, 3u}) {
        const std::string json =
            R"({"endpoints": [{"id": "e", "renderPath": {"interfaceVersion": )" +
            std::to_string(version) +
            R"(, "modules": [{"guid": "{11111111-2222-3333-4444-555555555555}"}]}}]})";
        ASSERT_TRUE(Loaded(vexsim_LoadMachineJson(json.c_str())));
        ComPtr<IKsControl> wave = Control("e#wave");
        ASSERT_TRUE(wave);
        Bytes answer(5, 0xCC);
        ULONG returned = 0;
        ASSERT_HR(S_OK, Send(wave.Get(), Pin(0, 1, 1).Get(), &answer, &returned));
        EXPECT_EQ((Bytes{static_cast<uint8_t>(version), 0, 0, 0, 0}), answer);
    }
}

}  // namespace

namespace {

using SimShippedDsp = simtest::KsTest;

TEST_F(SimShippedDsp, HasBothModulesAndTheSelector) {
    ASSERT_TRUE(simtest::Loaded(vexsim_LoadMachine("dsp-modules")));
    ComPtr<IKsControl> wave = Control("dsp-wave");
    ASSERT_TRUE(wave);
    for (ULONG pin : {1u, 2u}) {
        simtest::Request list;
        list.Guid(simtest::kVendorSet).U32(1).U32(1).U32(pin).U32(0).Guid(simtest::kModuleAddress);
        simtest::Bytes entries(156);
        ULONG returned = 0;
        ASSERT_HR(S_OK, Send(wave.Get(), list.Get(), &entries, &returned)) << pin;
        EXPECT_EQ(1u, simtest::WordAt(entries.data(), 4)) << pin;
    }
    unsigned int selection = 0;
    ASSERT_EQ(0, vexsim_SelectorHistory("dsp-topology", 0x00020000, nullptr, 0));
    EXPECT_EQ(-1, vexsim_SelectorSelection("dsp-topology", 0x00020000, &selection))
        << "no selection before anyone sets one";
    EXPECT_EQ(1, vexsim_ModuleEnabled("amd-wave", "{B5FCC815-1F49-4F4E-B04C-05F3A383EFFF}"));
}

}  // namespace
