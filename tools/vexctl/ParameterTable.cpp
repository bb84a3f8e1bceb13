#include "ParameterTable.h"

#include "DspParameters.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace vexctl {

namespace {

using S = ValueShape;

// The endpoint effect's catalogue: main processing, low-latency processing, noise suppression.
const std::vector<ParameterInfo> kCatalogue = {
    {1002, "vex_bypass", S::Scalar},
    {1005, "vex_bypass_stereo_virtualizer", S::Scalar},
    {1101, "vex_system_gain", S::Scalar},
    {1102, "vex_calibration_boost", S::Scalar},
    {1103, "vex_volmax_boost", S::Scalar},
    {1104, "vex_pregain", S::Scalar},
    {1105, "vex_postgain", S::Scalar},
    {1106, "vex_volume_modeler_calibration", S::Scalar},
    {1107, "vex_volume_leveler_out_target", S::Scalar},
    {1108, "vex_volume_leveler_in_target", S::Scalar},
    {1109, "vex_volume_modeler_enable", S::Scalar},
    {1110, "vex_ieq_enable", S::Scalar},
    {1111, "vex_volume_leveler_enable", S::Scalar},
    {1112, "vex_volume_leveler_amount", S::Scalar},
    {1113, "vex_ieq_amount", S::Scalar},
    {1114, "vex_ieq_bands", S::Bands},
    {1115, "vex_bass_enhancer_enable", S::Scalar},
    {1116, "vex_bass_enhancer_boost", S::Scalar},
    {1117, "vex_bass_enhancer_cutoff_frequency", S::Scalar},
    {1118, "vex_bass_enhancer_width", S::Scalar},
    {1119, "vex_audio_optimizer_bands", S::OptimizerBands},
    {1120, "vex_audio_optimizer_enable", S::Scalar},
    {1121, "vex_graphic_equalizer_enable", S::Scalar},
    {1122, "vex_graphic_equalizer_bands", S::Bands},
    {1123, "vex_regulator_tuning", S::RegulatorTuning},
    {1124, "vex_regulator_enable", S::Scalar},
    {1125, "vex_regulator_speaker_distortion_enable", S::Scalar},
    {1126, "vex_regulator_relaxation_amount", S::Scalar},
    {1127, "vex_regulator_timbre_preservation", S::Scalar},
    {1128, "vex_regulator_overdrive", S::Scalar},
    {1132, "vex_mi2ieq_steering_enable", S::Scalar},
    {1133, "vex_mi2dv_leveler_steering_enable", S::Scalar},
    {1134, "vex_mi2dialog_enhancer_steering_enable", S::Scalar},
    {1135, "vex_mi2surround_compressor_steering_enable", S::Scalar},
    {1136, "vex_surround_decoder_enable", S::Scalar},
    {1137, "vex_surround_boost", S::Scalar},
    {1138, "vex_de_ducking", S::Scalar},
    {1139, "vex_de_amount", S::Scalar},
    {1140, "vex_de_enable", S::Scalar},
    {1148, "vex_surround_virtualizer_enable", S::Scalar},
    {1150, "vex_mi2virt_steering_enable", S::Scalar},
    {1151, "vex_bass_extraction_enable", S::Scalar},
    {1152, "vex_bass_extraction_cutoff_frequency", S::Scalar},
    {1153, "vex_height_filter_mode", S::Scalar},
    {1156, "vex_tuning_partial_output_mode", S::PartialOutputMode},
    {1157, "vex_virtualizer_front_speaker_angle", S::Scalar},
    {1158, "vex_virtualizer_height_speaker_angle", S::Scalar},
    {1159, "vex_virtualizer_surround_speaker_angle", S::Scalar},
    {1160, "vex_height_virtualizer_enable", S::Scalar},
    {1161, "vex_init_info", S::InitInfo},
    {1162, "vex_drc_metadata", S::DrcMetadata},
    {1163, "vex_surround_decoder_center_spreading_enable", S::Scalar},
    {1164, "vex_virtualizer_rear_speaker_angle", S::Scalar},
    {1165, "vex_virtualizer_rear_height_speaker_angle", S::Scalar},
    {1166, "vex_virtualizer_start_band", S::Scalar},
    {1167, "vex_rear_height_filter_mode", S::Scalar},
    {1168, "vex_bass_extraction_lfe_gain", S::Scalar},
    {1170, "vex_woofer_regulator_tuning", S::RegulatorTuning},
    {1171, "vex_woofer_regulator_enable", S::Scalar},
    {1172, "vex_custom_woofer_channel_index", S::Scalar},
    {1173, "vex_init_mode", S::Scalar},
    {1174, "vex_init_mi_process_disable", S::Scalar},
    {1175, "vex_init_virtual_bass_process_enable", S::Scalar},
    {1176, "vex_init_max_num_objects", S::Scalar},
    {1177, "vex_volume_leveler_drc_enable", S::Scalar},
    {1178, "vex_eyes_tracking_enable", S::Scalar},
    {2002, "drova_bypass", S::Scalar},
    {2101, "drova_max_channel_num", S::Scalar},
    {2102, "drova_max_operation_num", S::Scalar},
    {2103, "drova_system_gain", S::Scalar},
    {2104, "drova_post_gain", S::Scalar},
    {2105, "drova_filter_config", S::FilterConfig},
    {2106, "drova_audio_optimizer_enable", S::Scalar},
    {2107, "drova_audio_optimizer_gains", S::OptimizerGains},
    {2108, "drova_regulator_thresholds", S::RegulatorThresholds},
    {2109, "drova_regulator_isolated_bands", S::IsolatedBands},
    {2110, "drova_regulator_overdrive", S::Scalar},
    {2111, "drova_regulator_timbre_preservation", S::Scalar},
    {2112, "drova_regulator_relaxation_amount", S::Scalar},
    {2113, "drova_regulator_speaker_distortion_enable", S::Scalar},
    {2114, "drova_peak_level", S::Scalar},
    {2115, "drova_mb_compressor_enable", S::Scalar},
    {2116, "drova_mb_compressor_tuning", S::CompressorTuning},
    {2117, "drova_mb_compressor_channel_deviation", S::Scalar},
    {2118, "drova_mb_compressor_agc_enable", S::Scalar},
    {2119, "drova_mb_compressor_slow_gain_enable", S::Scalar},
    {2120, "drova_mb_compressor_band0_slow_gain_mix_level", S::Scalar},
    {2121, "drova_target_power_level", S::Scalar},
    {2122, "drova_regulator_stress_amount", S::StressAmount},
    {2123, "drova_regulator_distortion_slope", S::Scalar},
    {2124, "drova_ultrasonic_pilot_enable", S::Scalar},
    {2129, "drova_sliding_bass_enable", S::Scalar},
    {2130, "drova_sliding_bass_band_boundary", S::Scalar},
    {2131, "drova_sliding_bass_attack_time", S::Scalar},
    {2132, "drova_sliding_bass_release_time", S::Scalar},
    {2133, "drova_sliding_bass_max_level", S::Scalar},
    {2134, "drova_sliding_bass_min_level", S::Scalar},
    {2135, "drova_sliding_bass_gain_curve", S::GainCurve},
    {2137, "drova_channel_gains", S::ChannelValues},
    {2138, "drova_channel_mutes", S::ChannelValues},
    {2139, "drova_noise_gate_enable", S::Scalar},
    {2140, "drova_noise_gate_threshold", S::Scalar},
    {3002, "ns_bypass", S::Scalar},
    {3003, "ns_mode", S::Scalar},
};

// Ids without a catalogue entry whose value is not a plain integer.
ValueShape UncataloguedShape(LONG id) {
    switch (id) {
        case 1001:  // main effect version
        case 2001:  // low-latency effect version
            return ValueShape::Text;
        case 1004:  // form factor
            return ValueShape::Unsigned;
        default:
            return ValueShape::Scalar;
    }
}

std::optional<LONG> ParseDecimalId(const std::string& text) {
    if (text.empty() || text.size() > 11) {
        return std::nullopt;
    }
    size_t start = text[0] == '-' ? 1 : 0;
    if (start == text.size()) {
        return std::nullopt;
    }
    for (size_t i = start; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
    }
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (errno != 0 || value < INT32_MIN || value > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<LONG>(value);
}

}  // namespace

const std::vector<ParameterInfo>& CataloguedParameters() {
    return kCatalogue;
}

std::optional<ParameterInfo> FindCatalogued(LONG id) {
    const auto it =
        std::lower_bound(kCatalogue.begin(), kCatalogue.end(), id,
                         [](const ParameterInfo& entry, LONG wanted) { return entry.id < wanted; });
    if (it == kCatalogue.end() || it->id != id) {
        return std::nullopt;
    }
    return *it;
}

std::optional<ParameterInfo> FindParameter(const std::string& nameOrId) {
    if (const std::optional<LONG> id = ParseDecimalId(nameOrId)) {
        if (std::optional<ParameterInfo> entry = FindCatalogued(*id)) {
            return entry;
        }
        if (std::optional<ParameterInfo> dsp = FindDspOnly(*id)) {
            return dsp;
        }
        return ParameterInfo{*id, "", UncataloguedShape(*id)};
    }
    for (const ParameterInfo& entry : kCatalogue) {
        if (nameOrId == entry.name) {
            return entry;
        }
    }
    return FindDspOnlyNamed(nameOrId);
}

std::vector<std::string> NamesContaining(const std::string& fragment) {
    std::vector<std::string> names;
    if (fragment.empty()) {
        return names;
    }
    for (const ParameterInfo& entry : kCatalogue) {
        if (std::string(entry.name).find(fragment) != std::string::npos) {
            names.emplace_back(entry.name);
        }
    }
    return names;
}

std::string DisplayName(const ParameterInfo& parameter) {
    if (parameter.name == nullptr || *parameter.name == 0) {
        return std::to_string(parameter.id);
    }
    return std::string(parameter.name) + " (" + std::to_string(parameter.id) + ")";
}

}  // namespace vexctl
