// The control handle and the property-store route through the library's exports, against
// simulated machines.
#include "support/SimMachine.h"

#include <set>
#include <string>
#include <vector>

using vextest::Int32Value;
using vextest::kSpeakers;
using vextest::LibraryTest;

namespace {

const char* const kSpeakersUtf8 = "{0.0.0.00000000}.{6f1f6a2e-3c1b-4d59-9a51-0b7e2d1c4a01}";

// Two render endpoints whose ids differ only in letter case.
const char* const kCaseMachine = R"({
  "endpoints": [
    {"id": "{0.0.0.00000000}.{abcdef00-0000-0000-0000-000000000001}", "default": true,
     "name": "Lower"},
    {"id": "{0.0.0.00000000}.{ABCDEF00-0000-0000-0000-000000000001}", "name": "Upper"}
  ]
})";

// The catalogue as the effect reads it: parameter id, property key, name.
struct ExpectedKey {
    LONG id;
    const char* key;
    const char* name;
};
const ExpectedKey kExpectedKeys[] = {
    {1002, "{0C5E4949-7A67-4B9E-9069-1D6259682436},3201", "vex_bypass"},
    {1005, "{DC827E12-807B-4FBB-8E3C-6C62981DD3C9},1", "vex_bypass_stereo_virtualizer"},
    {1101, "{F112024A-FE30-42A8-80AB-8DD825A06F78},0", "vex_system_gain"},
    {1102, "{F112024A-FE30-42A8-80AB-8DD825A06F78},1", "vex_calibration_boost"},
    {1103, "{F112024A-FE30-42A8-80AB-8DD825A06F78},2", "vex_volmax_boost"},
    {1104, "{F112024A-FE30-42A8-80AB-8DD825A06F78},3", "vex_pregain"},
    {1105, "{F112024A-FE30-42A8-80AB-8DD825A06F78},4", "vex_postgain"},
    {1106, "{F112024A-FE30-42A8-80AB-8DD825A06F78},5", "vex_volume_modeler_calibration"},
    {1107, "{F112024A-FE30-42A8-80AB-8DD825A06F78},6", "vex_volume_leveler_out_target"},
    {1108, "{F112024A-FE30-42A8-80AB-8DD825A06F78},7", "vex_volume_leveler_in_target"},
    {1109, "{F112024A-FE30-42A8-80AB-8DD825A06F78},8", "vex_volume_modeler_enable"},
    {1110, "{F112024A-FE30-42A8-80AB-8DD825A06F78},9", "vex_ieq_enable"},
    {1111, "{F112024A-FE30-42A8-80AB-8DD825A06F78},10", "vex_volume_leveler_enable"},
    {1112, "{F112024A-FE30-42A8-80AB-8DD825A06F78},11", "vex_volume_leveler_amount"},
    {1113, "{F112024A-FE30-42A8-80AB-8DD825A06F78},12", "vex_ieq_amount"},
    {1114, "{F112024A-FE30-42A8-80AB-8DD825A06F78},13", "vex_ieq_bands"},
    {1115, "{F112024A-FE30-42A8-80AB-8DD825A06F78},14", "vex_bass_enhancer_enable"},
    {1116, "{F112024A-FE30-42A8-80AB-8DD825A06F78},15", "vex_bass_enhancer_boost"},
    {1117, "{F112024A-FE30-42A8-80AB-8DD825A06F78},16", "vex_bass_enhancer_cutoff_frequency"},
    {1118, "{F112024A-FE30-42A8-80AB-8DD825A06F78},17", "vex_bass_enhancer_width"},
    {1119, "{F112024A-FE30-42A8-80AB-8DD825A06F78},18", "vex_audio_optimizer_bands"},
    {1120, "{F112024A-FE30-42A8-80AB-8DD825A06F78},19", "vex_audio_optimizer_enable"},
    {1121, "{F112024A-FE30-42A8-80AB-8DD825A06F78},20", "vex_graphic_equalizer_enable"},
    {1122, "{F112024A-FE30-42A8-80AB-8DD825A06F78},21", "vex_graphic_equalizer_bands"},
    {1123, "{F112024A-FE30-42A8-80AB-8DD825A06F78},22", "vex_regulator_tuning"},
    {1124, "{F112024A-FE30-42A8-80AB-8DD825A06F78},23", "vex_regulator_enable"},
    {1125, "{F112024A-FE30-42A8-80AB-8DD825A06F78},24", "vex_regulator_speaker_distortion_enable"},
    {1126, "{F112024A-FE30-42A8-80AB-8DD825A06F78},25", "vex_regulator_relaxation_amount"},
    {1127, "{F112024A-FE30-42A8-80AB-8DD825A06F78},26", "vex_regulator_timbre_preservation"},
    {1128, "{F112024A-FE30-42A8-80AB-8DD825A06F78},27", "vex_regulator_overdrive"},
    {1132, "{F112024A-FE30-42A8-80AB-8DD825A06F78},31", "vex_mi2ieq_steering_enable"},
    {1133, "{F112024A-FE30-42A8-80AB-8DD825A06F78},32", "vex_mi2dv_leveler_steering_enable"},
    {1134, "{F112024A-FE30-42A8-80AB-8DD825A06F78},33", "vex_mi2dialog_enhancer_steering_enable"},
    {1135, "{F112024A-FE30-42A8-80AB-8DD825A06F78},34",
     "vex_mi2surround_compressor_steering_enable"},
    {1136, "{F112024A-FE30-42A8-80AB-8DD825A06F78},35", "vex_surround_decoder_enable"},
    {1137, "{F112024A-FE30-42A8-80AB-8DD825A06F78},36", "vex_surround_boost"},
    {1138, "{F112024A-FE30-42A8-80AB-8DD825A06F78},37", "vex_de_ducking"},
    {1139, "{F112024A-FE30-42A8-80AB-8DD825A06F78},38", "vex_de_amount"},
    {1140, "{F112024A-FE30-42A8-80AB-8DD825A06F78},39", "vex_de_enable"},
    {1148, "{F112024A-FE30-42A8-80AB-8DD825A06F78},47", "vex_surround_virtualizer_enable"},
    {1150, "{F112024A-FE30-42A8-80AB-8DD825A06F78},49", "vex_mi2virt_steering_enable"},
    {1151, "{F112024A-FE30-42A8-80AB-8DD825A06F78},50", "vex_bass_extraction_enable"},
    {1152, "{F112024A-FE30-42A8-80AB-8DD825A06F78},51", "vex_bass_extraction_cutoff_frequency"},
    {1153, "{F112024A-FE30-42A8-80AB-8DD825A06F78},52", "vex_height_filter_mode"},
    {1156, "{F112024A-FE30-42A8-80AB-8DD825A06F78},55", "vex_tuning_partial_output_mode"},
    {1157, "{F112024A-FE30-42A8-80AB-8DD825A06F78},56", "vex_virtualizer_front_speaker_angle"},
    {1158, "{F112024A-FE30-42A8-80AB-8DD825A06F78},57", "vex_virtualizer_height_speaker_angle"},
    {1159, "{F112024A-FE30-42A8-80AB-8DD825A06F78},58", "vex_virtualizer_surround_speaker_angle"},
    {1160, "{F112024A-FE30-42A8-80AB-8DD825A06F78},59", "vex_height_virtualizer_enable"},
    {1161, "{F112024A-FE30-42A8-80AB-8DD825A06F78},64", "vex_init_info"},
    {1162, "{F112024A-FE30-42A8-80AB-8DD825A06F78},65", "vex_drc_metadata"},
    {1163, "{F112024A-FE30-42A8-80AB-8DD825A06F78},66",
     "vex_surround_decoder_center_spreading_enable"},
    {1164, "{F112024A-FE30-42A8-80AB-8DD825A06F78},67", "vex_virtualizer_rear_speaker_angle"},
    {1165, "{F112024A-FE30-42A8-80AB-8DD825A06F78},68",
     "vex_virtualizer_rear_height_speaker_angle"},
    {1166, "{F112024A-FE30-42A8-80AB-8DD825A06F78},69", "vex_virtualizer_start_band"},
    {1167, "{F112024A-FE30-42A8-80AB-8DD825A06F78},70", "vex_rear_height_filter_mode"},
    {1168, "{F112024A-FE30-42A8-80AB-8DD825A06F78},71", "vex_bass_extraction_lfe_gain"},
    {1170, "{F112024A-FE30-42A8-80AB-8DD825A06F78},73", "vex_woofer_regulator_tuning"},
    {1171, "{F112024A-FE30-42A8-80AB-8DD825A06F78},74", "vex_woofer_regulator_enable"},
    {1172, "{F112024A-FE30-42A8-80AB-8DD825A06F78},75", "vex_custom_woofer_channel_index"},
    {1173, "{F112024A-FE30-42A8-80AB-8DD825A06F78},60", "vex_init_mode"},
    {1174, "{F112024A-FE30-42A8-80AB-8DD825A06F78},61", "vex_init_mi_process_disable"},
    {1175, "{F112024A-FE30-42A8-80AB-8DD825A06F78},62", "vex_init_virtual_bass_process_enable"},
    {1176, "{F112024A-FE30-42A8-80AB-8DD825A06F78},63", "vex_init_max_num_objects"},
    {1177, "{F112024A-FE30-42A8-80AB-8DD825A06F78},76", "vex_volume_leveler_drc_enable"},
    {1178, "{F112024A-FE30-42A8-80AB-8DD825A06F78},77", "vex_eyes_tracking_enable"},
    {2002, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},0", "drova_bypass"},
    {2101, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},1", "drova_max_channel_num"},
    {2102, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},2", "drova_max_operation_num"},
    {2103, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},3", "drova_system_gain"},
    {2104, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},4", "drova_post_gain"},
    {2105, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},5", "drova_filter_config"},
    {2106, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},6", "drova_audio_optimizer_enable"},
    {2107, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},7", "drova_audio_optimizer_gains"},
    {2108, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},8", "drova_regulator_thresholds"},
    {2109, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},9", "drova_regulator_isolated_bands"},
    {2110, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},10", "drova_regulator_overdrive"},
    {2111, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},11", "drova_regulator_timbre_preservation"},
    {2112, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},12", "drova_regulator_relaxation_amount"},
    {2113, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},13",
     "drova_regulator_speaker_distortion_enable"},
    {2114, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},14", "drova_peak_level"},
    {2115, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},16", "drova_mb_compressor_enable"},
    {2116, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},17", "drova_mb_compressor_tuning"},
    {2117, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},18", "drova_mb_compressor_channel_deviation"},
    {2118, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},19", "drova_mb_compressor_agc_enable"},
    {2119, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},20", "drova_mb_compressor_slow_gain_enable"},
    {2120, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},21",
     "drova_mb_compressor_band0_slow_gain_mix_level"},
    {2121, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},15", "drova_target_power_level"},
    {2122, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},22", "drova_regulator_stress_amount"},
    {2123, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},23", "drova_regulator_distortion_slope"},
    {2124, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},24", "drova_ultrasonic_pilot_enable"},
    {2129, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},25", "drova_sliding_bass_enable"},
    {2130, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},26", "drova_sliding_bass_band_boundary"},
    {2131, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},27", "drova_sliding_bass_attack_time"},
    {2132, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},28", "drova_sliding_bass_release_time"},
    {2133, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},29", "drova_sliding_bass_max_level"},
    {2134, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},30", "drova_sliding_bass_min_level"},
    {2135, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},31", "drova_sliding_bass_gain_curve"},
    {2137, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},32", "drova_channel_gains"},
    {2138, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},33", "drova_channel_mutes"},
    {2139, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},34", "drova_noise_gate_enable"},
    {2140, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},35", "drova_noise_gate_threshold"},
    {3002, "{5B5E03CB-8070-420D-B794-8A28C89F6274},0", "ns_bypass"},
    {3003, "{5B5E03CB-8070-420D-B794-8A28C89F6274},1", "ns_mode"},
};

}  // namespace

using Exports = LibraryTest;

TEST_F(Exports, NullIdOpensTheDefaultRenderEndpoint) {
    Load("default");
    ControlHandle handle = OpenOrFail(nullptr);
    const PROPVARIANT value = Int32Value(77);
    EXPECT_HR(S_OK, m_library.SetVariant(handle, 1101, &value, VEX_ROUTE_APO));
    const auto stored = vextest::DumpedProperty(vextest::SimDump(), kSpeakersUtf8,
                                                "{F112024A-FE30-42A8-80AB-8DD825A06F78},0");
    ASSERT_FALSE(stored.is_null()) << "the default speakers got the value";
    EXPECT_EQ("VT_I4", stored.at("type"));
    EXPECT_EQ(77, stored.at("value"));
    EXPECT_HR(S_OK, m_library.Close(handle));
}

TEST_F(Exports, NoDefaultEndpointFailsWithTheLookupCodeAndWritesNoHandle) {
    Load("no-default-render");
    ControlHandle handle = reinterpret_cast<ControlHandle>(static_cast<uintptr_t>(0xDEADBEEF));
    const HRESULT hr = m_library.Open(&handle, nullptr);
    EXPECT_HR(static_cast<HRESULT>(0x80070490), hr);
    EXPECT_EQ(reinterpret_cast<ControlHandle>(static_cast<uintptr_t>(0xDEADBEEF)), handle);
    EXPECT_EQ(0, vexsim_LiveObjectCountOf("IPropertyStore"));
}

TEST_F(Exports, TwoHandlesShareOneSession) {
    Load("default");
    ControlHandle first = OpenOrFail(kSpeakers);
    ControlHandle second = OpenOrFail(kSpeakers);
    EXPECT_NE(first, second);
    EXPECT_EQ(1, vexsim_LiveObjectCountOf("IPropertyStore"));
    // Besides the session's store, the module inventory holds one reference to the control of
    // each wave filter that answered.
    const long moduleReferences = vexsim_LiveObjectCountOf("IKsControl");
    EXPECT_EQ(1 + moduleReferences, vexsim_OutstandingReferenceCount())
        << "one reference per session";

    EXPECT_HR(S_OK, m_library.Close(first));
    EXPECT_EQ(1 + moduleReferences, vexsim_OutstandingReferenceCount())
        << "the session stays for the other handle";
    const PROPVARIANT value = Int32Value(5);
    EXPECT_HR(S_OK, m_library.SetVariant(second, 1102, &value, VEX_ROUTE_APO))
        << "the other handle still works";
    EXPECT_HR(S_OK, m_library.Close(second));
    EXPECT_EQ(0, vexsim_LiveObjectCountOf("IPropertyStore"));
}

TEST_F(Exports, ReadOnlyStoreOpensWithSFalseAndRefusesWrites) {
    Load("read-only-store");
    vextest::TraceSession session(5);
    ControlHandle handle = nullptr;
    EXPECT_HR(S_FALSE, m_library.Open(&handle, nullptr));
    ASSERT_NE(nullptr, handle);
    ControlHandle again = nullptr;
    EXPECT_HR(S_OK, m_library.Open(&again, nullptr)) << "a shared session opens with S_OK";

    const PROPVARIANT value = Int32Value(1);
    EXPECT_HR(STG_E_ACCESSDENIED, m_library.SetVariant(handle, 1101, &value, VEX_ROUTE_APO));
    EXPECT_HR(S_OK, m_library.Close(handle));
    EXPECT_HR(S_OK, m_library.Close(again));

    VEX_REQUIRE_TRACE_CONTROLLER();
    WString text = vextest::SystemMessage(STG_E_ACCESSDENIED);
    text.resize(text.size() - 2);
    const auto records = vextest::RecordsContaining(
        "ApoController::SetParameter: Set property key [vex_system_gain, "
        "{F112024A-FE30-42A8-80AB-8DD825A06F78}, 0] failed: [0x80030005]" +
        vextest::Narrow(text));
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(3, records[0].level);
    EXPECT_EQ(1u, vextest::RecordsContaining("Failed to open property store in read write "
                                             "mode, try read only mode again")
                      .size());
}

TEST_F(Exports, IdsDifferingOnlyInCaseAreDifferentSessions) {
    LoadJson(kCaseMachine);
    ControlHandle lower =
        OpenOrFail(TEXT("{0.0.0.00000000}.{abcdef00-0000-0000-0000-000000000001}"));
    ControlHandle upper =
        OpenOrFail(TEXT("{0.0.0.00000000}.{ABCDEF00-0000-0000-0000-000000000001}"));
    EXPECT_EQ(2, vexsim_LiveObjectCountOf("IPropertyStore"));
    EXPECT_HR(S_OK, m_library.Close(lower));
    EXPECT_HR(S_OK, m_library.Close(upper));
}

TEST_F(Exports, UncataloguedIdsAreRefusedAndWriteNothing) {
    Load("default");
    ControlHandle handle = OpenOrFail(kSpeakers);
    const std::string before = vextest::SimDump().dump();
    const PROPVARIANT value = Int32Value(1);
    for (LONG id :
         {1001, 1003, 1004, 2001, 2003, 1006, 1100, 1129, 1131, 1141, 1147, 1149, 1154,  1155,
          1169, 1179, 2004, 2100, 2125, 2128, 2136, 2141, 3001, 3004, 9999, -1,   -1101, 0}) {
        EXPECT_HR(E_FAIL, m_library.SetVariant(handle, id, &value, VEX_ROUTE_APO)) << "id " << id;
    }
    EXPECT_EQ(before, vextest::SimDump().dump());
    EXPECT_HR(S_OK, m_library.Close(handle));
}

TEST_F(Exports, EveryCatalogueEntryWritesUnderItsKey) {
    Load("default");
    ControlHandle handle = OpenOrFail(kSpeakers);
    for (const ExpectedKey& entry : kExpectedKeys) {
        const PROPVARIANT value = Int32Value(entry.id);
        EXPECT_HR(S_OK, m_library.SetVariant(handle, entry.id, &value, VEX_ROUTE_APO))
            << entry.name;
    }
    const auto dump = vextest::SimDump();
    std::set<std::string> keys;
    for (const ExpectedKey& entry : kExpectedKeys) {
        const auto stored = vextest::DumpedProperty(dump, kSpeakersUtf8, entry.key);
        ASSERT_FALSE(stored.is_null()) << entry.name << " under " << entry.key;
        EXPECT_EQ(entry.id, stored.at("value")) << entry.name << " under " << entry.key;
        keys.insert(entry.key);
    }
    EXPECT_EQ(104u, keys.size()) << "no two parameters share a key";
    EXPECT_HR(S_OK, m_library.Close(handle));
}

TEST_F(Exports, FlagsWithoutTheEndpointBitDoNothing) {
    Load("default");
    ControlHandle handle = OpenOrFail(kSpeakers);
    const std::string before = vextest::SimDump().dump();
    const PROPVARIANT value = Int32Value(3);
    EXPECT_HR(S_OK, m_library.SetVariant(handle, 1101, &value, 0));
    EXPECT_HR(S_OK, m_library.SetVariant(handle, 1101, &value, 0x8));
    EXPECT_EQ(before, vextest::SimDump().dump());
    EXPECT_HR(S_OK, m_library.Close(handle));
}

TEST_F(Exports, OpenFailuresAreReturnedWithTheirRecords) {
    Load("default");
    vextest::TraceSession session(5);
    ControlHandle handle = nullptr;
    EXPECT_HR(static_cast<HRESULT>(0x80070490), m_library.Open(&handle, TEXT("no such endpoint")));
    EXPECT_EQ(nullptr, handle);

    ASSERT_EQ(0, vexsim_AddFaults(
                     R"({"method": "IMMDevice::OpenPropertyStore", "result": "0x80070005"})"))
        << vexsim_LastError();
    EXPECT_HR(E_ACCESSDENIED, m_library.Open(&handle, kSpeakers));
    EXPECT_EQ(nullptr, handle);

    ASSERT_EQ(
        0,
        vexsim_AddFaults(
            R"({"method": "CoCreateInstance", "class": "MMDeviceEnumerator", "result": "0x80040154"})"))
        << vexsim_LastError();
    EXPECT_HR(REGDB_E_CLASSNOTREG, m_library.Open(&handle, kSpeakers));
    EXPECT_EQ(nullptr, handle);

    VEX_REQUIRE_TRACE_CONTROLLER();
    EXPECT_EQ(1u, vextest::RecordsContaining("[0x80070490]").size());
    EXPECT_EQ(1u, vextest::RecordsContaining(
                      "ApoController::Open: Failed to find device[no such endpoint]: "
                      "[0x80070490]")
                      .size());
    EXPECT_EQ(1u, vextest::RecordsContaining("Failed to open property store in read only "
                                             "mode: [0x80070005]")
                      .size());
    EXPECT_EQ(
        1u, vextest::RecordsContaining("Failed to create device enumerator: [0x80040154]").size());
}

TEST_F(Exports, UnloadReleasesSessionsStillOpen) {
    Load("default");
    OpenOrFail(kSpeakers);
    OpenOrFail(kSpeakers);
    OpenOrFail(vextest::kHeadphones);
    EXPECT_EQ(2, vexsim_LiveObjectCountOf("IPropertyStore"));
    m_library.Unload();
    EXPECT_EQ(m_baseline, vexsim_LiveObjectCount());
}

TEST_F(Exports, SessionEndsByItsOwnCountWhenTheStoreIsHeldElsewhere) {
    Load("default");
    const std::string speakers = vextest::Narrow(kSpeakers);
    ASSERT_EQ(0, vexsim_HoldPropertyStore(speakers.c_str())) << vexsim_LastError();
    ControlHandle first = OpenOrFail(kSpeakers);
    ControlHandle second = OpenOrFail(kSpeakers);
    EXPECT_EQ(1, vexsim_PropertyStoreReferences(speakers.c_str())) << "one reference per session";
    EXPECT_HR(S_OK, m_library.Close(first));
    EXPECT_EQ(1, vexsim_PropertyStoreReferences(speakers.c_str()));
    EXPECT_HR(S_OK, m_library.Close(second));
    EXPECT_EQ(0, vexsim_PropertyStoreReferences(speakers.c_str()))
        << "the last close ends the session although Release does not return 0";

    ControlHandle again = OpenOrFail(kSpeakers);
    const PROPVARIANT value = Int32Value(4);
    EXPECT_HR(S_OK, m_library.SetVariant(again, 1102, &value, VEX_ROUTE_APO))
        << "a new session on the held store";
    EXPECT_EQ(1, vexsim_PropertyStoreReferences(speakers.c_str()));
    EXPECT_HR(S_OK, m_library.Close(again));
    EXPECT_EQ(0, vexsim_PropertyStoreReferences(speakers.c_str()));
    EXPECT_EQ(0, vexsim_ReleasePropertyStore(speakers.c_str()));
}
