// The 104 catalogued endpoint-effect parameters, as one constant list.
#include "EndpointParameterCatalogue.h"

#include "Guids.h"

#include <cstdint>
#include <map>
#include <vector>

namespace {

enum PropertySet { kBypass, kVirtualizerBypass, kMain, kLowLatency, kNs };

const GUID& SetGuid(PropertySet set) {
    switch (set) {
        case kBypass:
            return Guids::kBypassSet;
        case kVirtualizerBypass:
            return Guids::kVirtualizerBypassSet;
        case kMain:
            return Guids::kMainSet;
        case kLowLatency:
            return Guids::kLowLatencySet;
        case kNs:
        default:
            return Guids::kNsSet;
    }
}

struct CatalogueRow {
    LONG id;
    PropertySet set;
    DWORD pid;
    const WCHAR* name;
};

const CatalogueRow kRows[] = {
    {1002, kBypass, 3201, TEXT("vex_bypass")},
    {1005, kVirtualizerBypass, 1, TEXT("vex_bypass_stereo_virtualizer")},
    {3002, kNs, 0, TEXT("ns_bypass")},
    {3003, kNs, 1, TEXT("ns_mode")},
    {1101, kMain, 0, TEXT("vex_system_gain")},
    {1102, kMain, 1, TEXT("vex_calibration_boost")},
    {1103, kMain, 2, TEXT("vex_volmax_boost")},
    {1104, kMain, 3, TEXT("vex_pregain")},
    {1105, kMain, 4, TEXT("vex_postgain")},
    {1106, kMain, 5, TEXT("vex_volume_modeler_calibration")},
    {1107, kMain, 6, TEXT("vex_volume_leveler_out_target")},
    {1108, kMain, 7, TEXT("vex_volume_leveler_in_target")},
    {1109, kMain, 8, TEXT("vex_volume_modeler_enable")},
    {1110, kMain, 9, TEXT("vex_ieq_enable")},
    {1111, kMain, 10, TEXT("vex_volume_leveler_enable")},
    {1112, kMain, 11, TEXT("vex_volume_leveler_amount")},
    {1113, kMain, 12, TEXT("vex_ieq_amount")},
    {1114, kMain, 13, TEXT("vex_ieq_bands")},
    {1115, kMain, 14, TEXT("vex_bass_enhancer_enable")},
    {1116, kMain, 15, TEXT("vex_bass_enhancer_boost")},
    {1117, kMain, 16, TEXT("vex_bass_enhancer_cutoff_frequency")},
    {1118, kMain, 17, TEXT("vex_bass_enhancer_width")},
    {1119, kMain, 18, TEXT("vex_audio_optimizer_bands")},
    {1120, kMain, 19, TEXT("vex_audio_optimizer_enable")},
    {1121, kMain, 20, TEXT("vex_graphic_equalizer_enable")},
    {1122, kMain, 21, TEXT("vex_graphic_equalizer_bands")},
    {1123, kMain, 22, TEXT("vex_regulator_tuning")},
    {1124, kMain, 23, TEXT("vex_regulator_enable")},
    {1125, kMain, 24, TEXT("vex_regulator_speaker_distortion_enable")},
    {1126, kMain, 25, TEXT("vex_regulator_relaxation_amount")},
    {1127, kMain, 26, TEXT("vex_regulator_timbre_preservation")},
    {1128, kMain, 27, TEXT("vex_regulator_overdrive")},
    {1132, kMain, 31, TEXT("vex_mi2ieq_steering_enable")},
    {1133, kMain, 32, TEXT("vex_mi2dv_leveler_steering_enable")},
    {1134, kMain, 33, TEXT("vex_mi2dialog_enhancer_steering_enable")},
    {1135, kMain, 34, TEXT("vex_mi2surround_compressor_steering_enable")},
    {1136, kMain, 35, TEXT("vex_surround_decoder_enable")},
    {1137, kMain, 36, TEXT("vex_surround_boost")},
    {1138, kMain, 37, TEXT("vex_de_ducking")},
    {1139, kMain, 38, TEXT("vex_de_amount")},
    {1140, kMain, 39, TEXT("vex_de_enable")},
    {1148, kMain, 47, TEXT("vex_surround_virtualizer_enable")},
    {1150, kMain, 49, TEXT("vex_mi2virt_steering_enable")},
    {1151, kMain, 50, TEXT("vex_bass_extraction_enable")},
    {1152, kMain, 51, TEXT("vex_bass_extraction_cutoff_frequency")},
    {1153, kMain, 52, TEXT("vex_height_filter_mode")},
    {1156, kMain, 55, TEXT("vex_tuning_partial_output_mode")},
    {1157, kMain, 56, TEXT("vex_virtualizer_front_speaker_angle")},
    {1158, kMain, 57, TEXT("vex_virtualizer_height_speaker_angle")},
    {1159, kMain, 58, TEXT("vex_virtualizer_surround_speaker_angle")},
    {1160, kMain, 59, TEXT("vex_height_virtualizer_enable")},
    {1161, kMain, 64, TEXT("vex_init_info")},
    {1162, kMain, 65, TEXT("vex_drc_metadata")},
    {1163, kMain, 66, TEXT("vex_surround_decoder_center_spreading_enable")},
    {1164, kMain, 67, TEXT("vex_virtualizer_rear_speaker_angle")},
    {1165, kMain, 68, TEXT("vex_virtualizer_rear_height_speaker_angle")},
    {1166, kMain, 69, TEXT("vex_virtualizer_start_band")},
    {1167, kMain, 70, TEXT("vex_rear_height_filter_mode")},
    {1168, kMain, 71, TEXT("vex_bass_extraction_lfe_gain")},
    {1170, kMain, 73, TEXT("vex_woofer_regulator_tuning")},
    {1171, kMain, 74, TEXT("vex_woofer_regulator_enable")},
    {1172, kMain, 75, TEXT("vex_custom_woofer_channel_index")},
    {1173, kMain, 60, TEXT("vex_init_mode")},
    {1174, kMain, 61, TEXT("vex_init_mi_process_disable")},
    {1175, kMain, 62, TEXT("vex_init_virtual_bass_process_enable")},
    {1176, kMain, 63, TEXT("vex_init_max_num_objects")},
    {1177, kMain, 76, TEXT("vex_volume_leveler_drc_enable")},
    {1178, kMain, 77, TEXT("vex_eyes_tracking_enable")},
    {2002, kLowLatency, 0, TEXT("drova_bypass")},
    {2101, kLowLatency, 1, TEXT("drova_max_channel_num")},
    {2102, kLowLatency, 2, TEXT("drova_max_operation_num")},
    {2103, kLowLatency, 3, TEXT("drova_system_gain")},
    {2104, kLowLatency, 4, TEXT("drova_post_gain")},
    {2105, kLowLatency, 5, TEXT("drova_filter_config")},
    {2106, kLowLatency, 6, TEXT("drova_audio_optimizer_enable")},
    {2107, kLowLatency, 7, TEXT("drova_audio_optimizer_gains")},
    {2108, kLowLatency, 8, TEXT("drova_regulator_thresholds")},
    {2109, kLowLatency, 9, TEXT("drova_regulator_isolated_bands")},
    {2110, kLowLatency, 10, TEXT("drova_regulator_overdrive")},
    {2111, kLowLatency, 11, TEXT("drova_regulator_timbre_preservation")},
    {2112, kLowLatency, 12, TEXT("drova_regulator_relaxation_amount")},
    {2113, kLowLatency, 13, TEXT("drova_regulator_speaker_distortion_enable")},
    {2114, kLowLatency, 14, TEXT("drova_peak_level")},
    {2115, kLowLatency, 16, TEXT("drova_mb_compressor_enable")},
    {2116, kLowLatency, 17, TEXT("drova_mb_compressor_tuning")},
    {2117, kLowLatency, 18, TEXT("drova_mb_compressor_channel_deviation")},
    {2118, kLowLatency, 19, TEXT("drova_mb_compressor_agc_enable")},
    {2119, kLowLatency, 20, TEXT("drova_mb_compressor_slow_gain_enable")},
    {2120, kLowLatency, 21, TEXT("drova_mb_compressor_band0_slow_gain_mix_level")},
    {2121, kLowLatency, 15, TEXT("drova_target_power_level")},
    {2122, kLowLatency, 22, TEXT("drova_regulator_stress_amount")},
    {2123, kLowLatency, 23, TEXT("drova_regulator_distortion_slope")},
    {2124, kLowLatency, 24, TEXT("drova_ultrasonic_pilot_enable")},
    {2129, kLowLatency, 25, TEXT("drova_sliding_bass_enable")},
    {2130, kLowLatency, 26, TEXT("drova_sliding_bass_band_boundary")},
    {2131, kLowLatency, 27, TEXT("drova_sliding_bass_attack_time")},
    {2132, kLowLatency, 28, TEXT("drova_sliding_bass_release_time")},
    {2133, kLowLatency, 29, TEXT("drova_sliding_bass_max_level")},
    {2134, kLowLatency, 30, TEXT("drova_sliding_bass_min_level")},
    {2135, kLowLatency, 31, TEXT("drova_sliding_bass_gain_curve")},
    {2137, kLowLatency, 32, TEXT("drova_channel_gains")},
    {2138, kLowLatency, 33, TEXT("drova_channel_mutes")},
    {2139, kLowLatency, 34, TEXT("drova_noise_gate_enable")},
    {2140, kLowLatency, 35, TEXT("drova_noise_gate_threshold")},
};

std::map<LONG, EndpointParameterEntry> BuildCatalogue() {
    std::map<LONG, EndpointParameterEntry> catalogue;
    for (const CatalogueRow& row : kRows) {
        // A repeated id would keep its first entry; the list holds none.
        catalogue.emplace(row.id,
                          EndpointParameterEntry{PROPERTYKEY{SetGuid(row.set), row.pid}, row.name});
    }
    return catalogue;
}

// Built while the library loads, before any export can run.
const std::map<LONG, EndpointParameterEntry> EndpointParameterCatalogue = BuildCatalogue();

// The entries by id less the lowest id, nullptr for the gaps. The ids lie close together, so
// every set and get finds its entry with a bounds check rather than a search of the tree.
struct CatalogueIndex {
    LONG first = 0;
    std::vector<const EndpointParameterEntry*> entries;
};

CatalogueIndex BuildIndex() {
    CatalogueIndex index;
    if (EndpointParameterCatalogue.empty()) {
        return index;
    }
    index.first = EndpointParameterCatalogue.begin()->first;
    const LONG last = EndpointParameterCatalogue.rbegin()->first;
    index.entries.assign(static_cast<size_t>(last - index.first) + 1, nullptr);
    for (const auto& [id, entry] : EndpointParameterCatalogue) {
        index.entries[static_cast<size_t>(id - index.first)] = &entry;
    }
    return index;
}

const CatalogueIndex EndpointParameterIndex = BuildIndex();

}  // namespace

EndpointParameterInfo LookupEndpointParameter(LONG id) {
    // Compared as unsigned, an id below the first one is out of range too.
    const uint64_t slot =
        static_cast<uint64_t>(static_cast<int64_t>(id) - EndpointParameterIndex.first);
    const EndpointParameterEntry* entry = slot < EndpointParameterIndex.entries.size()
                                              ? EndpointParameterIndex.entries[slot]
                                              : nullptr;
    if (entry == nullptr) {
        return EndpointParameterInfo{TEXT(""), PROPERTYKEY{}, false};
    }
    return EndpointParameterInfo{entry->name.c_str(), entry->key, true};
}

std::vector<LONG> EndpointParameterIds() {
    std::vector<LONG> ids;
    ids.reserve(EndpointParameterCatalogue.size());
    for (const auto& entry : EndpointParameterCatalogue) {
        ids.push_back(entry.first);
    }
    return ids;
}
