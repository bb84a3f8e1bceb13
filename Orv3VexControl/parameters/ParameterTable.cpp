// The parameter table: every public id the library takes, described once.
#include "ParameterTable.h"

#include "Orv3VexControl.h"
#include "Guids.h"

#include <algorithm>
#include <array>

namespace {

using K = FieldKind;
using S = DspShape;
using enum PropertySet;

constexpr int16_t kNone = kNoModuleParam;
constexpr uint8_t kApo = VEX_ROUTE_APO;
constexpr uint8_t kDsp = VEX_ROUTE_DSP;

constexpr ValueLayout kUnsigned{ValueForm::Unsigned, {}};
constexpr ValueLayout kText{ValueForm::Text, {}};
// Module selection: the caller's bytes are not read.
constexpr ValueLayout kSelection{ValueForm::Integer, {}, 0, "8 bytes, not read"};

constexpr ValueField kBandsFields[] = {{"n", K::Word}, {"a", K::Words, 20}, {"b", K::Words, 20}};
constexpr ValueField kOptimizerBandsFields[] = {
    {"n", K::Word}, {"f", K::Words, 20}, {"g", K::Rows, 10, 20}};
constexpr ValueField kRegulatorTuningFields[] = {{"n", K::Word},
                                                 {"a", K::Words, 20},
                                                 {"b", K::Words, 20},
                                                 {"c", K::Words, 20},
                                                 {"d", K::Words, 20}};
constexpr ValueField kPartialOutputModeFields[] = {
    {"w0", K::Word}, {"k", K::Word}, {"v", K::CountedWords}};
constexpr ValueField kInitInfoFields[] = {{"w", K::Words, 42}};
constexpr ValueField kDrcMetadataFields[] = {{"bytes", K::Bytes, 72}};
constexpr ValueField kFilterConfigFields[] = {
    {"n", K::Word}, {"bytes", K::CountedBytes, 0, 0, kFilterConfigCapacity}};
constexpr ValueField kOptimizerGainsFields[] = {{"n", K::Word}, {"v", K::CountedWords, 0, 0, 160}};
constexpr ValueField kRegulatorThresholdsFields[] = {{"a", K::Words, 20}, {"b", K::Words, 20}};
constexpr ValueField kIsolatedBandsFields[] = {{"a", K::Words, 20}};
constexpr ValueField kCompressorTuningFields[] = {{"n", K::Word}, {"r", K::CountedRows, 0, 6, 4}};
constexpr ValueField kStressAmountFields[] = {{"a", K::Words, 8}};
constexpr ValueField kGainCurveFields[] = {{"a", K::Words, 5}};
constexpr ValueField kChannelValuesFields[] = {{"n", K::Word}, {"v", K::CountedWords, 0, 0, 8}};
constexpr ValueField kModulePartialOutputFields[] = {{"w", K::Words, 34}};
constexpr ValueField kTuningInfoFields[] = {{"w", K::Words, 0}};
constexpr ValueField kCompressorTuningInfoFields[] = {{"w", K::Words, 88}};
constexpr ValueField kSlidingBassTuningInfoFields[] = {{"w", K::Words, 160}};

constexpr ValueLayout kBands{ValueForm::Fields, kBandsFields};
constexpr ValueLayout kOptimizerBands{ValueForm::Fields, kOptimizerBandsFields};
constexpr ValueLayout kRegulatorTuning{ValueForm::Fields, kRegulatorTuningFields};
constexpr ValueLayout kPartialOutputMode{ValueForm::Fields, kPartialOutputModeFields};
// Kept with the word 32 after the first ten words: the bytes the effect reads after it.
constexpr ValueLayout kInitInfo{ValueForm::Fields, kInitInfoFields, 10};
constexpr ValueLayout kDrcMetadata{ValueForm::Fields, kDrcMetadataFields};
constexpr ValueLayout kFilterConfig{ValueForm::Fields, kFilterConfigFields};
constexpr ValueLayout kOptimizerGains{ValueForm::Fields, kOptimizerGainsFields};
constexpr ValueLayout kRegulatorThresholds{ValueForm::Fields, kRegulatorThresholdsFields};
constexpr ValueLayout kIsolatedBands{ValueForm::Fields, kIsolatedBandsFields};
constexpr ValueLayout kCompressorTuning{ValueForm::Fields, kCompressorTuningFields};
constexpr ValueLayout kStressAmount{ValueForm::Fields, kStressAmountFields};
constexpr ValueLayout kGainCurve{ValueForm::Fields, kGainCurveFields};
constexpr ValueLayout kChannelValues{ValueForm::Fields, kChannelValuesFields};
constexpr ValueLayout kModulePartialOutput{ValueForm::Fields, kModulePartialOutputFields};
// A word list of any length: the module's version decides how many it holds.
constexpr ValueLayout kTuningInfo{ValueForm::Fields, kTuningInfoFields, 0,
                                  "w[...] (40 or 180 words by module version)"};
constexpr ValueLayout kCompressorTuningInfo{ValueForm::Fields, kCompressorTuningInfoFields};
constexpr ValueLayout kSlidingBassTuningInfo{ValueForm::Fields, kSlidingBassTuningInfoFields};

// Where the DSP get takes the caller's bytes from in the module's answer. 1114: the two marker
// words at bytes 4 and 88 go. 1123: the first block moves behind 80 zero bytes; three markers
// go. 1141: word 1, which the module's layout leaves out, stays zero.
constexpr AnswerSpan kIeqBandSpans[] = {{0, 0, 4}, {4, 8, 80}, {84, 92, 80}};
constexpr AnswerSpan kRegulatorSpans[] = {{0, 84, 4}, {84, 88, 80}, {164, 172, 80}, {244, 256, 80}};
constexpr AnswerSpan kPartialOutputSpans[] = {{0, 0, 4}, {8, 8, 128}};

// A parameter the routes carry; the arguments after the store's key may be left out.
constexpr ParameterRow Row(LONG id, const WCHAR* name, PropertySet set, uint16_t pid,
                           int16_t moduleParam = kNone, const WCHAR* moduleName = nullptr,
                           const ValueLayout& layout = kOneWord, DspShape dsp = S::Word,
                           std::span<const AnswerSpan> spans = {}, uint8_t answered = 0,
                           const char* note = nullptr) {
    return {id, name, set, pid, moduleParam, moduleName, &layout, dsp, spans, answered, note};
}

// An id that the library answers in its own code on `routes`.
constexpr ParameterRow Answered(LONG id, const ValueLayout& layout, uint8_t routes,
                                const char* note, AnsweredAccess access = AnsweredAccess::Get) {
    ParameterRow row = Row(id, nullptr, None, 0, kNone, nullptr, layout, S::Word, {}, routes, note);
    row.access = access;
    return row;
}

// Bypass (1002, 2002) is written and read as module parameter 1000 whatever its row says, and
// the channel rows (2137, 2138) name the first of eight consecutive module parameters. 2131 and
// 2133 cross over against the module's own names (attack time goes to 50, max level to 48): the
// module firmware numbers them so, the number sent is this table's.
constexpr ParameterRow kRows[] = {
    Answered(1001, kText, kApo | kDsp,
             "get only: the version of the installed main-processing effect (apo) or the module's "
             "version label (dsp)"),
    Row(1002, TEXT("vex_bypass"), Bypass, 3201, 0, TEXT("vex_cpdp-bypass"), kOneWord, S::Bypass),
    Answered(1003, kSelection, kDsp, "set only: selects the DSP module for main processing",
             AnsweredAccess::Set),
    // The form factor is answered on the apo route and written on the dsp route.
    Row(1004, nullptr, None, 0, 127, TEXT("vex_cpdp-endpoint-form-facotr"), kUnsigned, S::Word, {},
        kApo, "get only: the endpoint form factor, as the library reports it"),
    Row(1005, TEXT("vex_bypass_stereo_virtualizer"), VirtualizerBypass, 1, 160,
        TEXT("vex_cpdp-bypass-stereo-virtualizer")),
    Answered(1006, kText, kDsp, "get only: the main-processing module's GUID"),
    Answered(1007, kText, kDsp, "get only: the main-processing module's name"),
    Answered(1008, kUnsigned, kDsp, "get only: the main-processing module's type"),
    Row(1101, TEXT("vex_system_gain"), Main, 0, 123, TEXT("vex_cpdp-system-gain")),
    Row(1102, TEXT("vex_calibration_boost"), Main, 1, 124, TEXT("vex_cpdp-calibration-boost")),
    Row(1103, TEXT("vex_volmax_boost"), Main, 2, 148, TEXT("vex_cpdp-volmax-boost")),
    Row(1104, TEXT("vex_pregain"), Main, 3, 121, TEXT("vex_cpdp-pregain")),
    Row(1105, TEXT("vex_postgain"), Main, 4, 122, TEXT("vex_cpdp-postgain")),
    Row(1106, TEXT("vex_volume_modeler_calibration"), Main, 5, 140,
        TEXT("vex_cpdp-volume-modeler-calibration")),
    Row(1107, TEXT("vex_volume_leveler_out_target"), Main, 6, 138,
        TEXT("vex_cpdp-volume-leveler-out-target")),
    Row(1108, TEXT("vex_volume_leveler_in_target"), Main, 7, 137,
        TEXT("vex_cpdp-volume-leveler-in-target")),
    Row(1109, TEXT("vex_volume_modeler_enable"), Main, 8, 141,
        TEXT("vex_cpdp-volume-modeler-enable")),
    Row(1110, TEXT("vex_ieq_enable"), Main, 9, 143, TEXT("vex_cpdp-ieq-enable")),
    Row(1111, TEXT("vex_volume_leveler_enable"), Main, 10, 139,
        TEXT("vex_cpdp-volume-leveler-enable")),
    Row(1112, TEXT("vex_volume_leveler_amount"), Main, 11, 136,
        TEXT("vex_cpdp-volume-leveler-amount")),
    Row(1113, TEXT("vex_ieq_amount"), Main, 12, 144, TEXT("vex_cpdp-ieq-amount")),
    Row(1114, TEXT("vex_ieq_bands"), Main, 13, 142, TEXT("vex_cpdp-ieq-bands"), kBands, S::Spans,
        kIeqBandSpans),
    Row(1115, TEXT("vex_bass_enhancer_enable"), Main, 14),
    Row(1116, TEXT("vex_bass_enhancer_boost"), Main, 15),
    Row(1117, TEXT("vex_bass_enhancer_cutoff_frequency"), Main, 16),
    Row(1118, TEXT("vex_bass_enhancer_width"), Main, 17),
    Row(1119, TEXT("vex_audio_optimizer_bands"), Main, 18, kNone, nullptr, kOptimizerBands),
    Row(1120, TEXT("vex_audio_optimizer_enable"), Main, 19),
    Row(1121, TEXT("vex_graphic_equalizer_enable"), Main, 20),
    Row(1122, TEXT("vex_graphic_equalizer_bands"), Main, 21, kNone, nullptr, kBands),
    Row(1123, TEXT("vex_regulator_tuning"), Main, 22, 153, TEXT("vex_cpdp-regulator-tuning"),
        kRegulatorTuning, S::Spans, kRegulatorSpans),
    Row(1124, TEXT("vex_regulator_enable"), Main, 23, 158, TEXT("vex_cpdp-regulator-enable")),
    Row(1125, TEXT("vex_regulator_speaker_distortion_enable"), Main, 24, 157,
        TEXT("vex_cpdp-regulator-speaker-distortion-enable")),
    Row(1126, TEXT("vex_regulator_relaxation_amount"), Main, 25, 156,
        TEXT("vex_cpdp-regulator-relaxation-amount")),
    Row(1127, TEXT("vex_regulator_timbre_preservation"), Main, 26, 155,
        TEXT("vex_cpdp-regulator-timbre-preservation")),
    Row(1128, TEXT("vex_regulator_overdrive"), Main, 27, 154, TEXT("vex_cpdp-regulator-overdrive")),
    Row(1132, TEXT("vex_mi2ieq_steering_enable"), Main, 31),
    Row(1133, TEXT("vex_mi2dv_leveler_steering_enable"), Main, 32),
    Row(1134, TEXT("vex_mi2dialog_enhancer_steering_enable"), Main, 33),
    Row(1135, TEXT("vex_mi2surround_compressor_steering_enable"), Main, 34),
    Row(1136, TEXT("vex_surround_decoder_enable"), Main, 35, 125,
        TEXT("vex_cpdp-surround-decoder-enable")),
    Row(1137, TEXT("vex_surround_boost"), Main, 36, 135, TEXT("vex_cpdp-surround-boost")),
    Row(1138, TEXT("vex_de_ducking"), Main, 37, 147, TEXT("vex_cpdp-dialog-enhancer-ducking")),
    Row(1139, TEXT("vex_de_amount"), Main, 38, 146, TEXT("vex_cpdp-dialog-enhancer-amount")),
    Row(1140, TEXT("vex_de_enable"), Main, 39, 145, TEXT("vex_cpdp-dialog-enhancer-enable")),
    Row(1141, nullptr, None, 0, 130, TEXT("vex_cpdp-partial-output-mode"), kModulePartialOutput,
        S::Spans, kPartialOutputSpans),
    Row(1148, TEXT("vex_surround_virtualizer_enable"), Main, 47, 128,
        TEXT("vex_cpdp-surround-virtualizer-enable")),
    Row(1150, TEXT("vex_mi2virt_steering_enable"), Main, 49),
    Row(1151, TEXT("vex_bass_extraction_enable"), Main, 50, 150,
        TEXT("vex_cpdp-bass-extraction-enable")),
    Row(1152, TEXT("vex_bass_extraction_cutoff_frequency"), Main, 51, 151,
        TEXT("vex_cpdp-bass-extraction-cutoff-frequency")),
    Row(1153, TEXT("vex_height_filter_mode"), Main, 52, 149, TEXT("vex_cpdp-height-filter-mode")),
    Row(1156, TEXT("vex_tuning_partial_output_mode"), Main, 55, kNone, nullptr, kPartialOutputMode),
    Row(1157, TEXT("vex_virtualizer_front_speaker_angle"), Main, 56, 131,
        TEXT("vex_cpdp-virtualizer-front-speaker-angle")),
    Row(1158, TEXT("vex_virtualizer_height_speaker_angle"), Main, 57, 133,
        TEXT("vex_cpdp-virtualizer-height-speaker-angle")),
    Row(1159, TEXT("vex_virtualizer_surround_speaker_angle"), Main, 58, 132,
        TEXT("vex_cpdp-virtualizer-surround-speaker-angle")),
    Row(1160, TEXT("vex_height_virtualizer_enable"), Main, 59, 129,
        TEXT("vex_cpdp-height-virtualizer-enable")),
    Row(1161, TEXT("vex_init_info"), Main, 64, kNone, nullptr, kInitInfo),
    Row(1162, TEXT("vex_drc_metadata"), Main, 65, 120, TEXT("vex_cpdp-drc-metadata"), kDrcMetadata,
        S::Whole),
    Row(1163, TEXT("vex_surround_decoder_center_spreading_enable"), Main, 66, 126,
        TEXT("vex_cpdp-surround-decoder-center-spreading-enable")),
    Row(1164, TEXT("vex_virtualizer_rear_speaker_angle"), Main, 67),
    Row(1165, TEXT("vex_virtualizer_rear_height_speaker_angle"), Main, 68),
    Row(1166, TEXT("vex_virtualizer_start_band"), Main, 69, 134,
        TEXT("vex_cpdp-virtualizer-start-band")),
    Row(1167, TEXT("vex_rear_height_filter_mode"), Main, 70),
    Row(1168, TEXT("vex_bass_extraction_lfe_gain"), Main, 71, 152,
        TEXT("vex_cpdp-bass-extraction-lfe-gain")),
    Row(1170, TEXT("vex_woofer_regulator_tuning"), Main, 73, kNone, nullptr, kRegulatorTuning),
    Row(1171, TEXT("vex_woofer_regulator_enable"), Main, 74),
    Row(1172, TEXT("vex_custom_woofer_channel_index"), Main, 75),
    Row(1173, TEXT("vex_init_mode"), Main, 60),
    Row(1174, TEXT("vex_init_mi_process_disable"), Main, 61),
    Row(1175, TEXT("vex_init_virtual_bass_process_enable"), Main, 62),
    Row(1176, TEXT("vex_init_max_num_objects"), Main, 63),
    Row(1177, TEXT("vex_volume_leveler_drc_enable"), Main, 76),
    Row(1178, TEXT("vex_eyes_tracking_enable"), Main, 77),
    Answered(2001, kText, kApo | kDsp,
             "get only: the version of the installed low-latency effect (apo) or the module's "
             "version label (dsp)"),
    Row(2002, TEXT("drova_bypass"), LowLatency, 0, 0, TEXT("drova-bypass"), kOneWord, S::Bypass),
    Answered(2003, kSelection, kDsp, "set only: selects the DSP module for low-latency processing",
             AnsweredAccess::Set),
    Answered(2004, kText, kDsp, "get only: the low-latency module's GUID"),
    Answered(2005, kText, kDsp, "get only: the low-latency module's name"),
    Answered(2006, kUnsigned, kDsp, "get only: the low-latency module's type"),
    Answered(2007, kText, kDsp, "get only: the low-latency module's version text"),
    Row(2101, TEXT("drova_max_channel_num"), LowLatency, 1),
    Row(2102, TEXT("drova_max_operation_num"), LowLatency, 2),
    Row(2103, TEXT("drova_system_gain"), LowLatency, 3, 20, TEXT("drova-system-gain")),
    Row(2104, TEXT("drova_post_gain"), LowLatency, 4, 21, TEXT("drova-post-gain")),
    Row(2105, TEXT("drova_filter_config"), LowLatency, 5, 32,
        TEXT("drova-filter-coefficient-values"), kFilterConfig, S::Whole),
    Row(2106, TEXT("drova_audio_optimizer_enable"), LowLatency, 6, 22,
        TEXT("drova-audio-optimizer-enable")),
    Row(2107, TEXT("drova_audio_optimizer_gains"), LowLatency, 7, 23,
        TEXT("drova-audio-optimizer-bands"), kOptimizerGains, S::Gains),
    Row(2108, TEXT("drova_regulator_thresholds"), LowLatency, 8, 26,
        TEXT("drova-regulator-thresholds"), kRegulatorThresholds, S::DropCounts),
    Row(2109, TEXT("drova_regulator_isolated_bands"), LowLatency, 9, 29,
        TEXT("drova-regulator-isolated-bands"), kIsolatedBands, S::DropLeadingCount),
    Row(2110, TEXT("drova_regulator_overdrive"), LowLatency, 10, 25,
        TEXT("drova-regulator-overdrive")),
    Row(2111, TEXT("drova_regulator_timbre_preservation"), LowLatency, 11, 28,
        TEXT("drova-regulator-timbre-preservation")),
    Row(2112, TEXT("drova_regulator_relaxation_amount"), LowLatency, 12, 27,
        TEXT("drova-regulator-relaxation-amount")),
    Row(2113, TEXT("drova_regulator_speaker_distortion_enable"), LowLatency, 13, 24,
        TEXT("drova-regulator-speaker-distortion-enable")),
    Row(2114, TEXT("drova_peak_level"), LowLatency, 14, 33, TEXT("drova-peak-level")),
    Row(2115, TEXT("drova_mb_compressor_enable"), LowLatency, 16, 35,
        TEXT("drova-mb-compressor-enable")),
    Row(2116, TEXT("drova_mb_compressor_tuning"), LowLatency, 17, 36,
        TEXT("drova-mb-compressor-tuning"), kCompressorTuning, S::DropRecordMarkers),
    Row(2117, TEXT("drova_mb_compressor_channel_deviation"), LowLatency, 18, 37,
        TEXT("drova-mb-compressor-channel-deviation")),
    Row(2118, TEXT("drova_mb_compressor_agc_enable"), LowLatency, 19, 38,
        TEXT("drova-mb-compressor-agc-enable")),
    Row(2119, TEXT("drova_mb_compressor_slow_gain_enable"), LowLatency, 20, 39,
        TEXT("drova-mb-compressor-slow-gain-enable")),
    Row(2120, TEXT("drova_mb_compressor_band0_slow_gain_mix_level"), LowLatency, 21, 40,
        TEXT("drova-mb-compressor-band0-slow-gain-mix-level")),
    Row(2121, TEXT("drova_target_power_level"), LowLatency, 15, 34,
        TEXT("drova-mb-compressor-target-power-level")),
    Row(2122, TEXT("drova_regulator_stress_amount"), LowLatency, 22, 43,
        TEXT("drova-regulator-stress-amount"), kStressAmount, S::DropLeadingCount),
    Row(2123, TEXT("drova_regulator_distortion_slope"), LowLatency, 23, 44,
        TEXT("drova-regulator-distortion-slope")),
    Row(2124, TEXT("drova_ultrasonic_pilot_enable"), LowLatency, 24, 45,
        TEXT("drova-ultrasonic-pilot-enable")),
    Row(2125, nullptr, None, 0, 30, TEXT("drova-regulator-tuning-info"), kTuningInfo,
        S::TuningInfo),
    Row(2126, nullptr, None, 0, 31, TEXT("drova-vis-bands"), kIsolatedBands, S::Fixed),
    Row(2127, nullptr, None, 0, 41, TEXT("drova-mb-compressor-tuning-info"), kCompressorTuningInfo,
        S::Fixed),
    Row(2128, nullptr, None, 0, 42, TEXT("drova-limiter-gain")),
    Row(2129, TEXT("drova_sliding_bass_enable"), LowLatency, 25, 46,
        TEXT("drova_sliding_bass_enable")),
    Row(2130, TEXT("drova_sliding_bass_band_boundary"), LowLatency, 26, 47,
        TEXT("drova_sliding_bass_band_boundary")),
    Row(2131, TEXT("drova_sliding_bass_attack_time"), LowLatency, 27, 50,
        TEXT("drova_sliding_bass_attack_time")),
    Row(2132, TEXT("drova_sliding_bass_release_time"), LowLatency, 28, 51,
        TEXT("drova_sliding_bass_release_time")),
    Row(2133, TEXT("drova_sliding_bass_max_level"), LowLatency, 29, 48,
        TEXT("drova_sliding_bass_max_level")),
    Row(2134, TEXT("drova_sliding_bass_min_level"), LowLatency, 30, 49,
        TEXT("drova_sliding_bass_min_level")),
    Row(2135, TEXT("drova_sliding_bass_gain_curve"), LowLatency, 31, 52,
        TEXT("drova_sliding_bass_gain_curve"), kGainCurve, S::DropLeadingCount),
    Row(2136, nullptr, None, 0, 53, TEXT("drova_sliding_bass_tuning_info"), kSlidingBassTuningInfo,
        S::Fixed),
    Row(2137, TEXT("drova_channel_gains"), LowLatency, 32, 54, TEXT("drova_channel_gain"),
        kChannelValues, S::Channels),
    Row(2138, TEXT("drova_channel_mutes"), LowLatency, 33, 62, TEXT("drova_channel_mute"),
        kChannelValues, S::Channels),
    Row(2139, TEXT("drova_noise_gate_enable"), LowLatency, 34),
    Row(2140, TEXT("drova_noise_gate_threshold"), LowLatency, 35),
    Row(3002, TEXT("ns_bypass"), Ns, 0),
    Row(3003, TEXT("ns_mode"), Ns, 1),
};

constexpr bool Ascending() {
    for (size_t i = 1; i < std::size(kRows); ++i) {
        if (kRows[i - 1].id >= kRows[i].id) {
            return false;
        }
    }
    return true;
}
static_assert(Ascending(), "the rows are looked up by id in ascending order");

// The rows by id less the first id, 0 for the gaps and i + 1 for row i: the ids lie close
// together, so a set or a get finds its row with a bounds check rather than a search.
constexpr LONG kFirstId = kRows[0].id;
constexpr size_t kSlots = static_cast<size_t>(std::end(kRows)[-1].id - kFirstId) + 1;
constexpr auto kIndex = [] {
    std::array<uint8_t, kSlots> index{};
    for (size_t i = 0; i < std::size(kRows); ++i) {
        index[static_cast<size_t>(kRows[i].id - kFirstId)] = static_cast<uint8_t>(i + 1);
    }
    return index;
}();
static_assert(std::size(kRows) < 255);

const GUID& SetGuid(PropertySet set) {
    switch (set) {
        case Bypass:
            return Guids::kBypassSet;
        case VirtualizerBypass:
            return Guids::kVirtualizerBypassSet;
        case Main:
            return Guids::kMainSet;
        case LowLatency:
            return Guids::kLowLatencySet;
        case Ns:
            return Guids::kNsSet;
        case None:
            break;
    }
    return GUID_NULL;
}

}  // namespace

ProcessingRange RangeOf(LONG id) {
    if (id >= 1001 && id <= 1998) {
        return ProcessingRange::Main;
    }
    if (id >= 2001 && id <= 2998) {
        return ProcessingRange::LowLatency;
    }
    return ProcessingRange::None;
}

PROPERTYKEY ParameterRow::Key() const {
    return PROPERTYKEY{SetGuid(set), pid};
}

std::span<const ParameterRow> ParameterRows() {
    return kRows;
}

const ParameterRow* FindParameterRow(LONG id) {
    // Compared as unsigned, an id below the first one is out of range too.
    const uint64_t slot = static_cast<uint64_t>(static_cast<int64_t>(id) - kFirstId);
    if (slot >= kSlots || kIndex[slot] == 0) {
        return nullptr;
    }
    return &kRows[kIndex[slot] - 1];
}

ULONG FixedBytes(const ValueLayout& layout) {
    ULONG bytes = 0;
    for (const ValueField& field : layout.fields) {
        switch (field.kind) {
            case K::Word:
                bytes += 4;
                break;
            case K::Words:
                bytes += 4u * field.length;
                break;
            case K::Rows:
                bytes += 4u * field.length * field.width;
                break;
            case K::Bytes:
                bytes += field.length;
                break;
            case K::CountedWords:
            case K::CountedBytes:
            case K::CountedRows:
                return 0;
        }
    }
    return bytes;
}

EndpointParameterInfo LookupEndpointParameter(LONG id) {
    const ParameterRow* row = FindParameterRow(id);
    if (row == nullptr || !row->Stored()) {
        return EndpointParameterInfo{TEXT(""), PROPERTYKEY{}, false};
    }
    return EndpointParameterInfo{row->name, row->Key(), true};
}
