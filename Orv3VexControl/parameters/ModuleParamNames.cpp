// The module parameter names of each family of module firmware.
#include "ModuleParamNames.h"

#include <algorithm>
#include <array>

namespace {

const WCHAR* const kCommonNames[] = {
    TEXT("block_size"),   TEXT("sample_rate"),      TEXT("pcm_wdsz"),      TEXT("interleaved_mode"),
    TEXT("num_channels"), TEXT("max_num_channels"), TEXT("filter_config"),
};

// The low-latency module's names from module parameter 20 on, as its newest firmware (1.5)
// knows them; older firmware knows a leading part of the list. The blank after
// "mb_compressor_agc_enable" is the firmware's own.
constexpr const WCHAR* kLowLatencyNames[] = {
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
constexpr size_t kDefaultKnown = 12;
constexpr auto kDefaultNames = [] {
    std::array<const WCHAR*, kDefaultKnown + 1> names{};
    std::copy(kLowLatencyNames, kLowLatencyNames + kDefaultKnown, names.begin());
    names[kDefaultKnown] = TEXT("latency");
    return names;
}();

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
const ModuleParamNames kDefaultList = {kDefaultNames.data(),
                                       static_cast<ULONG>(kDefaultNames.size()), kLowLatencyBase};

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
