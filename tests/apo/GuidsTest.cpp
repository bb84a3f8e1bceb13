// The library's GUIDs against their registry texts: those the simulator shares with it (the
// property sets are pinned by the texts of the machine files).
#include "support/TestSupport.h"

#include "parameters/Guids.h"
#include "util/GuidText.h"

#include <utility>

TEST(Guids, MatchTheirTexts) {
    const std::pair<const GUID*, const char*> cases[] = {
        {&Guids::kClsidMMDeviceEnumerator, "{BCDE0395-E52F-467C-8E3D-C4579291692E}"},
        {&Guids::kIidIMMDeviceEnumerator, "{A95664D2-9614-4F35-A746-DE8DB63617E6}"},
        {&Guids::kTraceProvider, "{23A46DB4-562B-44A3-9C4F-1D5598262B8E}"},
        {&Guids::kIidIMMDeviceCollection, "{0BD7A1BE-7A1A-44DB-8397-CC5392387B5E}"},
        {&Guids::kIidIMMDevice, "{D666063F-1587-4E43-81F1-B948E807363F}"},
        {&Guids::kIidIMMEndpoint, "{1BE09788-6894-4089-8586-9A2A6C265AC5}"},
        {&Guids::kIidIPropertyStore, "{886D8EEB-8CF2-4446-8D02-CDBA1DBDCF99}"},
        {&Guids::kIidIDeviceTopology, "{2A07407E-6497-4A18-9787-32F79BD0D98F}"},
        {&Guids::kIidIKsControl, "{28F54685-06FD-11D2-B27A-00A0C9223196}"},
        {&Guids::kIidIPart, "{AE2DE0E4-5BCA-4F2D-AA46-5D13F8FDB3A9}"},
        {&Guids::kIidIConnector, "{9C2C4058-23F5-41DE-877A-DF3AF236A09E}"},
        {&Guids::kIidISubunit, "{82149A85-DBA6-4487-86BB-EA8F7FEFCC71}"},
        {&Guids::kIidIPartsList, "{6DAA848C-5EB0-45CC-AEA5-998A2CDA1FFB}"},
        {&Guids::kIidIAudioInputSelector, "{4F03DC02-5E6E-4653-8F72-A030C123D598}"},
        {&Guids::kIidIAudioOutputSelector, "{BB515F69-94A7-429E-8B9C-271B3F11A3AB}"},
        {&Guids::kPkeyDeviceFriendlyName.fmtid, "{A45C254E-DF1C-4EFD-8020-67D146A850E0}"},
        {&CLSID_PolicyConfigVistaClient, "{294935CE-F637-4E7C-A41B-AB255460B862}"},
        {&IID_IPolicyConfigVistaClient, "{568B9108-44BF-40B4-9006-86AFE5B5A620}"},
    };
    for (const auto& [guid, text] : cases) {
        EXPECT_EQ(text, vextest::Narrow(Util::GuidText(*guid)));
    }
}
