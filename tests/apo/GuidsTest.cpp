// The library's GUIDs against their registry texts.
#include "support/TestSupport.h"

#include "Guids.h"
#include "util/GuidText.h"

TEST(Guids, MatchTheirTexts) {
    struct Case {
        const GUID* guid;
        const char* text;
    };
    const Case cases[] = {
        {&Guids::kClsidMMDeviceEnumerator, "{BCDE0395-E52F-467C-8E3D-C4579291692E}"},
        {&Guids::kIidIMMDeviceEnumerator, "{A95664D2-9614-4F35-A746-DE8DB63617E6}"},
        {&Guids::kTraceProvider, "{23A46DB4-562B-44A3-9C4F-1D5598262B8E}"},
        {&Guids::kBypassSet, "{0C5E4949-7A67-4B9E-9069-1D6259682436}"},
        {&Guids::kVirtualizerBypassSet, "{DC827E12-807B-4FBB-8E3C-6C62981DD3C9}"},
        {&Guids::kMainSet, "{F112024A-FE30-42A8-80AB-8DD825A06F78}"},
        {&Guids::kLowLatencySet, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E}"},
        {&Guids::kNsSet, "{5B5E03CB-8070-420D-B794-8A28C89F6274}"},
        {&Guids::kAudioEndpointFormFactorSet, "{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E}"},
        {&Guids::kFormFactorOverrideSet, "{DD0DF94B-53A2-4A92-854E-91F42E28FD7B}"},
        {&CLSID_PolicyConfigVistaClient, "{294935CE-F637-4E7C-A41B-AB255460B862}"},
        {&IID_IPolicyConfigVistaClient, "{568B9108-44BF-40B4-9006-86AFE5B5A620}"},
        {&FMTID_EndpointFxProperties, "{D04E05A6-594B-4FB6-A80D-01AF5EED7D1D}"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.text, vextest::Narrow(Util::GuidText(*c.guid)));
    }
}
