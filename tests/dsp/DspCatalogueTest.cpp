// The DSP route's constant tables, checked against values written out here.
#include "parameters/ModuleParamNames.h"
#include "parameters/ParameterTable.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string Text(const WCHAR* text) {
    return text == nullptr ? std::u16string(u"(none)")
                           : std::u16string(reinterpret_cast<const char16_t*>(text));
}

struct CatalogueCase {
    LONG publicId;
    ULONG moduleParamId;
    const char16_t* name;
    const char* versionLabel;  // the firmware whose list names the module parameter
    const char16_t* nativeName;
};

// The attack-time and max-level crossover (2131, 2133) is the firmware's numbering; 1005 lies
// outside every list so a main module refuses it.
const CatalogueCase kCatalogueCases[] = {
    {1002, 0, u"vex_cpdp-bypass", "2.10.0", u"(none)"},
    {1004, 127, u"vex_cpdp-endpoint-form-facotr", "2.10.0", u"endpoint_formfactor"},
    {1005, 160, u"vex_cpdp-bypass-stereo-virtualizer", "2.10.0", u"(none)"},
    {1103, 148, u"vex_cpdp-volmax-boost", "2.10.0", u"dialog_volmax_boost"},
    {1162, 120, u"vex_cpdp-drc-metadata", "2.10.1", u"drc_metadata"},
    {1124, 158, u"vex_cpdp-regulator-enable", "2.10", u"regulator_enable"},
    {2105, 32, u"drova-filter-coefficient-values", "1.5.0", u"filter_config"},
    {2105, 32, u"drova-filter-coefficient-values", "0.9", u"latency"},
    {2118, 38, u"drova-mb-compressor-agc-enable", "1.4.1.7", u"mb_compressor_agc_enable "},
    {2124, 45, u"drova-ultrasonic-pilot-enable", "1.4.2", u"ultrasonic_pilot_enable"},
    {2124, 45, u"drova-ultrasonic-pilot-enable", "1.4.1", u"(none)"},
    {2114, 33, u"drova-peak-level", "1.3.1", u"peak_level"},
    {2121, 34, u"drova-mb-compressor-target-power-level", "1.3.1", u"(none)"},
    {2131, 50, u"drova_sliding_bass_attack_time", "1.5", u"sliding_bass_max_level"},
    {2133, 48, u"drova_sliding_bass_max_level", "1.5", u"sliding_bass_attack_time"},
    {2137, 54, u"drova_channel_gain", "1.5", u"channel_gain0"},
    {2138, 62, u"drova_channel_mute", "1.5", u"channel_mute0"},
    {2126, 31, u"drova-vis-bands", "", u"vis_bands"},
};

TEST(DspCatalogue, MapsPublicIdsToModuleParametersAndNativeNames) {
    for (const CatalogueCase& c : kCatalogueCases) {
        SCOPED_TRACE(c.publicId);
        const DspParameterEntry* entry = FindDspParameter(c.publicId);
        ASSERT_NE(nullptr, entry);
        EXPECT_EQ(c.moduleParamId, entry->moduleParamId);
        EXPECT_EQ(std::u16string(c.name), Text(entry->name));
        std::u16string label(c.versionLabel,
                             c.versionLabel + std::char_traits<char>::length(c.versionLabel));
        const ModuleParamNames& list =
            ModuleParamNamesFor(reinterpret_cast<const WCHAR*>(label.c_str()));
        EXPECT_EQ(std::u16string(c.nativeName), Text(ModuleParamName(list, c.moduleParamId)))
            << c.versionLabel;
    }
}

struct ListCase {
    const char16_t* versionLabel;
    ULONG base;
    ULONG length;
    const char16_t* last;
};

const ListCase kListCases[] = {
    {u"1.5.3.2", 20, 52, u"noise-gate-threshold"},
    {u"1.4.2", 20, 26, u"ultrasonic_pilot_enable"},
    {u"1.4.1", 20, 25, u"regulator_distortion_slope"},
    {u"1.3.1.0", 20, 14, u"peak_level"},
    {u"2.10.4", 120, 40, u"regulator_tuning_info"},
    {u"2.1", 20, 13, u"latency"},
    {u"1.4", 20, 13, u"latency"},
    {u"", 20, 13, u"latency"},
};

TEST(DspCatalogue, ChoosesTheNameListByVersionLabelPrefix) {
    for (const ListCase& c : kListCases) {
        const ModuleParamNames& list =
            ModuleParamNamesFor(reinterpret_cast<const WCHAR*>(c.versionLabel));
        SCOPED_TRACE(std::string(
            c.versionLabel, c.versionLabel + std::char_traits<char16_t>::length(c.versionLabel)));
        EXPECT_EQ(c.base, list.base);
        ASSERT_EQ(c.length, list.length);
        EXPECT_EQ(std::u16string(c.last), Text(list.names[list.length - 1]));
        EXPECT_EQ(nullptr, ModuleParamName(list, c.base + c.length));
        EXPECT_EQ(nullptr, ModuleParamName(list, c.base - 1));
    }
    EXPECT_EQ(13u, ModuleParamNamesFor(nullptr).length) << "no label reads as the default list";
    const ModuleParamNames& common = CommonModuleParamNames();
    EXPECT_EQ(7u, common.length);
    EXPECT_EQ(u"block_size", Text(ModuleParamName(common, 0)));
    EXPECT_EQ(u"filter_config", Text(ModuleParamName(common, 6)));
}

}  // namespace
