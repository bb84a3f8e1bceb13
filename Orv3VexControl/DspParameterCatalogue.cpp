#include "DspParameterCatalogue.h"

namespace {

struct CatalogueRow {
    LONG publicId;
    ULONG moduleParamId;
    const WCHAR* name;
};

// Bypass (1002, 2002) is written and read as module parameter 1000 whatever the table says, and
// the channel entries (2137, 2138) name the first of eight consecutive module parameters.
// 2131 and 2133 cross over against the module's own names (attack time goes to 50, max level to
// 48): the module firmware numbers them so, the number sent is this table's.
const CatalogueRow kCatalogueRows[] = {
    {1002, 0, TEXT("vex_cpdp-bypass")},
    {1004, 127, TEXT("vex_cpdp-endpoint-form-facotr")},
    {1005, 160, TEXT("vex_cpdp-bypass-stereo-virtualizer")},
    {1101, 123, TEXT("vex_cpdp-system-gain")},
    {1102, 124, TEXT("vex_cpdp-calibration-boost")},
    {1103, 148, TEXT("vex_cpdp-volmax-boost")},
    {1104, 121, TEXT("vex_cpdp-pregain")},
    {1105, 122, TEXT("vex_cpdp-postgain")},
    {1106, 140, TEXT("vex_cpdp-volume-modeler-calibration")},
    {1107, 138, TEXT("vex_cpdp-volume-leveler-out-target")},
    {1108, 137, TEXT("vex_cpdp-volume-leveler-in-target")},
    {1109, 141, TEXT("vex_cpdp-volume-modeler-enable")},
    {1110, 143, TEXT("vex_cpdp-ieq-enable")},
    {1111, 139, TEXT("vex_cpdp-volume-leveler-enable")},
    {1112, 136, TEXT("vex_cpdp-volume-leveler-amount")},
    {1113, 144, TEXT("vex_cpdp-ieq-amount")},
    {1114, 142, TEXT("vex_cpdp-ieq-bands")},
    {1123, 153, TEXT("vex_cpdp-regulator-tuning")},
    {1124, 158, TEXT("vex_cpdp-regulator-enable")},
    {1125, 157, TEXT("vex_cpdp-regulator-speaker-distortion-enable")},
    {1126, 156, TEXT("vex_cpdp-regulator-relaxation-amount")},
    {1127, 155, TEXT("vex_cpdp-regulator-timbre-preservation")},
    {1128, 154, TEXT("vex_cpdp-regulator-overdrive")},
    {1136, 125, TEXT("vex_cpdp-surround-decoder-enable")},
    {1137, 135, TEXT("vex_cpdp-surround-boost")},
    {1138, 147, TEXT("vex_cpdp-dialog-enhancer-ducking")},
    {1139, 146, TEXT("vex_cpdp-dialog-enhancer-amount")},
    {1140, 145, TEXT("vex_cpdp-dialog-enhancer-enable")},
    {1141, 130, TEXT("vex_cpdp-partial-output-mode")},
    {1148, 128, TEXT("vex_cpdp-surround-virtualizer-enable")},
    {1151, 150, TEXT("vex_cpdp-bass-extraction-enable")},
    {1152, 151, TEXT("vex_cpdp-bass-extraction-cutoff-frequency")},
    {1153, 149, TEXT("vex_cpdp-height-filter-mode")},
    {1157, 131, TEXT("vex_cpdp-virtualizer-front-speaker-angle")},
    {1158, 133, TEXT("vex_cpdp-virtualizer-height-speaker-angle")},
    {1159, 132, TEXT("vex_cpdp-virtualizer-surround-speaker-angle")},
    {1160, 129, TEXT("vex_cpdp-height-virtualizer-enable")},
    {1162, 120, TEXT("vex_cpdp-drc-metadata")},
    {1163, 126, TEXT("vex_cpdp-surround-decoder-center-spreading-enable")},
    {1166, 134, TEXT("vex_cpdp-virtualizer-start-band")},
    {1168, 152, TEXT("vex_cpdp-bass-extraction-lfe-gain")},
    {2002, 0, TEXT("drova-bypass")},
    {2103, 20, TEXT("drova-system-gain")},
    {2104, 21, TEXT("drova-post-gain")},
    {2105, 32, TEXT("drova-filter-coefficient-values")},
    {2106, 22, TEXT("drova-audio-optimizer-enable")},
    {2107, 23, TEXT("drova-audio-optimizer-bands")},
    {2108, 26, TEXT("drova-regulator-thresholds")},
    {2109, 29, TEXT("drova-regulator-isolated-bands")},
    {2110, 25, TEXT("drova-regulator-overdrive")},
    {2111, 28, TEXT("drova-regulator-timbre-preservation")},
    {2112, 27, TEXT("drova-regulator-relaxation-amount")},
    {2113, 24, TEXT("drova-regulator-speaker-distortion-enable")},
    {2114, 33, TEXT("drova-peak-level")},
    {2115, 35, TEXT("drova-mb-compressor-enable")},
    {2116, 36, TEXT("drova-mb-compressor-tuning")},
    {2117, 37, TEXT("drova-mb-compressor-channel-deviation")},
    {2118, 38, TEXT("drova-mb-compressor-agc-enable")},
    {2119, 39, TEXT("drova-mb-compressor-slow-gain-enable")},
    {2120, 40, TEXT("drova-mb-compressor-band0-slow-gain-mix-level")},
    {2121, 34, TEXT("drova-mb-compressor-target-power-level")},
    {2122, 43, TEXT("drova-regulator-stress-amount")},
    {2123, 44, TEXT("drova-regulator-distortion-slope")},
    {2124, 45, TEXT("drova-ultrasonic-pilot-enable")},
    {2125, 30, TEXT("drova-regulator-tuning-info")},
    {2126, 31, TEXT("drova-vis-bands")},
    {2127, 41, TEXT("drova-mb-compressor-tuning-info")},
    {2128, 42, TEXT("drova-limiter-gain")},
    {2129, 46, TEXT("drova_sliding_bass_enable")},
    {2130, 47, TEXT("drova_sliding_bass_band_boundary")},
    {2131, 50, TEXT("drova_sliding_bass_attack_time")},
    {2132, 51, TEXT("drova_sliding_bass_release_time")},
    {2133, 48, TEXT("drova_sliding_bass_max_level")},
    {2134, 49, TEXT("drova_sliding_bass_min_level")},
    {2135, 52, TEXT("drova_sliding_bass_gain_curve")},
    {2136, 53, TEXT("drova_sliding_bass_tuning_info")},
    {2137, 54, TEXT("drova_channel_gain")},
    {2138, 62, TEXT("drova_channel_mute")},
};

const WCHAR* const kCommonNames[] = {
    TEXT("block_size"),   TEXT("sample_rate"),      TEXT("pcm_wdsz"),      TEXT("interleaved_mode"),
    TEXT("num_channels"), TEXT("max_num_channels"), TEXT("filter_config"),
};

// The low-latency module's names from module parameter 20 on, as its newest firmware (1.5)
// knows them; older firmware knows a leading part of the list. The blank after
// "mb_compressor_agc_enable" is the firmware's own.
const WCHAR* const kLowLatencyNames[] = {
    TEXT("system_gain"),
    TEXT("postgain"),
    TEXT("audio_optimizer_enable"),
    TEXT("audio_optimizer_gains"),
    TEXT("regulator_speaker_distortion_enable"),
    TEXT("regulator_overdrive"),
    TEXT("regulator_thresholds"),
    TEXT("regulator_relaxation_amount"),
    TEXT("regulator_timbre_preservation"),
    TEXT("regulator_isolated_bands"),
    TEXT("regulator_tuning_info"),
    TEXT("vis_bands"),
    TEXT("filter_config"),
    TEXT("peak_level"),
    TEXT("target_power_level"),
    TEXT("mb_compressor_enable"),
    TEXT("mb_compressor_tuning"),
    TEXT("mb_compressor_channel_deviation"),
    TEXT("mb_compressor_agc_enable "),
    TEXT("mb_compressor_slow_gain_enable"),
    TEXT("mb_compressor_band0_slow_gain_mix_level"),
    TEXT("mb_compressor_tuning_info"),
    TEXT("mb_compressor_limiter_gain"),
    TEXT("regulator_stress_amount"),
    TEXT("regulator_distortion_slope"),
    TEXT("ultrasonic_pilot_enable"),
    TEXT("sliding_bass_enable"),
    TEXT("sliding_bass_band_boundary"),
    TEXT("sliding_bass_attack_time"),
    TEXT("sliding_bass_release_time"),
    TEXT("sliding_bass_max_level"),
    TEXT("sliding_bass_min_level"),
    TEXT("sliding_bass_gain_curve"),
    TEXT("sliding_bass_tuning_info"),
    TEXT("channel_gain0"),
    TEXT("channel_gain1"),
    TEXT("channel_gain2"),
    TEXT("channel_gain3"),
    TEXT("channel_gain4"),
    TEXT("channel_gain5"),
    TEXT("channel_gain6"),
    TEXT("channel_gain7"),
    TEXT("channel_mute0"),
    TEXT("channel_mute1"),
    TEXT("channel_mute2"),
    TEXT("channel_mute3"),
    TEXT("channel_mute4"),
    TEXT("channel_mute5"),
    TEXT("channel_mute6"),
    TEXT("channel_mute7"),
    TEXT("noise_gate_enable"),
    TEXT("noise-gate-threshold"),
};

// Firmware without a known version label: the first twelve names, then "latency" where newer
// firmware has "filter_config".
const WCHAR* const kDefaultNames[] = {
    TEXT("system_gain"),
    TEXT("postgain"),
    TEXT("audio_optimizer_enable"),
    TEXT("audio_optimizer_gains"),
    TEXT("regulator_speaker_distortion_enable"),
    TEXT("regulator_overdrive"),
    TEXT("regulator_thresholds"),
    TEXT("regulator_relaxation_amount"),
    TEXT("regulator_timbre_preservation"),
    TEXT("regulator_isolated_bands"),
    TEXT("regulator_tuning_info"),
    TEXT("vis_bands"),
    TEXT("latency"),
};

const WCHAR* const kMainNames[] = {
    TEXT("drc_metadata"),
    TEXT("pregain"),
    TEXT("postgain"),
    TEXT("system_gain"),
    TEXT("calibration_boost"),
    TEXT("surround_decoder_enable"),
    TEXT("surround_decoder_center_spreading_enable"),
    TEXT("endpoint_formfactor"),
    TEXT("surround_virtualizer_enable"),
    TEXT("height_virtualizer_enable"),
    TEXT("partial_output_mode"),
    TEXT("virtualizer_front_speaker_angle"),
    TEXT("virtualizer_surround_speaker_angle"),
    TEXT("virtualizer_height_speaker_angle"),
    TEXT("virtualizer_start_band"),
    TEXT("surround_boost"),
    TEXT("volume_leveler_amount"),
    TEXT("volume_leveler_in_target"),
    TEXT("volume_leveler_out_target"),
    TEXT("volume_leveler_enable"),
    TEXT("volume_modeler_calibration"),
    TEXT("volume_modeler_enable"),
    TEXT("ieq_bands"),
    TEXT("ieq_enable"),
    TEXT("ieq_amount"),
    TEXT("dialog_enhancer_enable"),
    TEXT("dialog_enhancer_amount"),
    TEXT("dialog_enhancer_ducking"),
    TEXT("dialog_volmax_boost"),
    TEXT("height_filter_mode"),
    TEXT("bass_extraction_enable"),
    TEXT("bass_extraction_cutoff_frequency"),
    TEXT("bass_extraction_lfe_gain"),
    TEXT("regulator_tuning"),
    TEXT("regulator_overdrive"),
    TEXT("regulator_timbre_preservation"),
    TEXT("regulator_relaxation_amount"),
    TEXT("regulator_speaker_distortion_enable"),
    TEXT("regulator_enable"),
    TEXT("regulator_tuning_info"),
};

constexpr ULONG kLowLatencyBase = 20;
constexpr ULONG kMainBase = 120;

template <size_t N>
constexpr ModuleParamNames ListOf(const WCHAR* const (&names)[N], ULONG base, ULONG length = N) {
    static_assert(N > 0);
    return {names, length <= N ? length : static_cast<ULONG>(N), base};
}

const ModuleParamNames kCommonList = ListOf(kCommonNames, 0);
const ModuleParamNames kDefaultList = ListOf(kDefaultNames, kLowLatencyBase);

struct LabelledList {
    const WCHAR* prefix;
    ModuleParamNames list;
};

// Tested in this order; the first prefix the version label starts with decides.
const LabelledList kLabelledLists[] = {
    {TEXT("1.5"), ListOf(kLowLatencyNames, kLowLatencyBase)},
    {TEXT("1.4.2"), ListOf(kLowLatencyNames, kLowLatencyBase, 26)},
    {TEXT("1.4.1"), ListOf(kLowLatencyNames, kLowLatencyBase, 25)},
    {TEXT("1.3.1"), ListOf(kLowLatencyNames, kLowLatencyBase, 14)},
    {TEXT("2.10"), ListOf(kMainNames, kMainBase)},
};

bool StartsWith(const WCHAR* text, const WCHAR* prefix) {
    for (; *prefix != 0; ++text, ++prefix) {
        if (*text != *prefix) {
            return false;
        }
    }
    return true;
}

}  // namespace

const std::map<LONG, DspParameterEntry>& DspParameterCatalogue() {
    static const std::map<LONG, DspParameterEntry> catalogue = [] {
        std::map<LONG, DspParameterEntry> map;
        for (const CatalogueRow& row : kCatalogueRows) {
            map.emplace(row.publicId, DspParameterEntry{row.moduleParamId, row.name});
        }
        return map;
    }();
    return catalogue;
}

const DspParameterEntry* FindDspParameter(LONG publicId) {
    const auto& catalogue = DspParameterCatalogue();
    const auto it = catalogue.find(publicId);
    return it == catalogue.end() ? nullptr : &it->second;
}

const ModuleParamNames& CommonModuleParamNames() {
    return kCommonList;
}

const ModuleParamNames& ModuleParamNamesFor(const WCHAR* versionLabel) {
    if (versionLabel != nullptr) {
        for (const LabelledList& entry : kLabelledLists) {
            if (StartsWith(versionLabel, entry.prefix)) {
                return entry.list;
            }
        }
    }
    return kDefaultList;
}

const WCHAR* ModuleParamName(const ModuleParamNames& list, ULONG moduleParamId) {
    if (moduleParamId < list.base || moduleParamId - list.base >= list.length) {
        return nullptr;
    }
    return list.names[moduleParamId - list.base];
}
