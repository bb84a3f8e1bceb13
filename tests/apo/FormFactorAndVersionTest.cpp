// The endpoint form factor (id 1004) and the installed effect versions (ids 1001 and 2001)
// through the library's exports, against simulated machines.
#include "support/SimMachine.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

using vextest::LibraryTest;

namespace {

const char* const kFormFactor = "{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},0";
const char* const kOverride = "{DD0DF94B-53A2-4A92-854E-91F42E28FD7B},0";
const WCHAR* const kEndpoint = TEXT("{0.0.0.00000000}.{55555555-0000-0000-0000-000000000001}");

// One render endpoint (the default) with form factor `formFactor`, `more` properties, an FX
// store, registry and faults.
std::string Machine(int formFactor, const std::string& more = "", const std::string& fx = "",
                    const std::string& registry = "{}", const std::string& faults = "[]") {
    return std::string(
               R"({"endpoints": [{"id": "{0.0.0.00000000}.{55555555-0000-0000-0000-000000000001}",
              "default": true, "name": "Endpoint", "properties": {")") +
           kFormFactor + R"(": {"type": "VT_UI4", "value": )" + std::to_string(formFactor) + "}" +
           more + R"(}, "fx": {)" + fx + R"(}}], "registry": )" + registry + R"(, "faults": )" +
           faults + "}";
}

std::string FxList(int pid, const std::string& type, const std::string& values) {
    return R"("{D04E05A6-594B-4FB6-A80D-01AF5EED7D1D},)" + std::to_string(pid) +
           R"(": {"type": ")" + type + "\", \"value\": " + values + "}";
}

// Where records can be read: each fragment is in exactly one record, of the given level.
using Records = std::vector<std::pair<int, std::string>>;
void ExpectRecords(const Records& expected) {
    for (size_t i = 0; vextest::HaveTraceController() && i < expected.size(); ++i) {
        EXPECT_TRUE(vextest::OneRecordAt(expected[i].first, expected[i].second));
    }
}
using EndpointQueries = LibraryTest;

}  // namespace

// One row per form factor the endpoint reports, its override and a fault on either read.
TEST_F(EndpointQueries, FormFactorTakesTheOverrideAndCountsAHeadsetAsHeadphones) {
    const auto override = [](const char* value) {
        return std::string(", \"") + kOverride + "\": " + value;
    };
    const auto failRead = [](const char* key, const char* result) {
        return std::string(R"([{"method": "IPropertyStore::GetValue", "key": ")") + key +
               R"(", "result": ")" + result + "\"}]";
    };
    const struct {
        int reported;
        ULONG expected;
        std::string more = "";
        std::string faults = "[]";
        Records records = {};
    } cases[] = {
        {1, 3, override(R"({"type": "VT_UI4", "value": 3})")},
        {3, 1, override(R"({"type": "VT_UI4", "value": 2})")},
        // clang-format off
        {5, 3, override(R"({"type": "VT_UI4", "value": 0})"), "[]",
         {{4, "ApoController::GetFormFactor: formFactor = [5]"},
          {4, "Headset will be considered as headphone, formFactor changes to [3]"},
          {4, "FormFactorOverride = [0]"}}},
        {1, 1, override(R"({"type": "VT_EMPTY"})")},
        {1, 1, override(R"({"type": "VT_UI4", "value": 3})"), failRead(kOverride, "0x00000001")},
        {1, 10, "", failRead(kFormFactor, "0x80004005"),
         {{2, "ApoController::GetFormFactor: Get audio endpoint form factor failed. [0x80004005]"}}},
        // clang-format on
    };
    vextest::TraceSession session(4);
    for (const auto& c : cases) {
        SCOPED_TRACE("reported " + std::to_string(c.reported) + c.more + ", faults " + c.faults);
        LoadJson(Machine(c.reported, c.more, "", "{}", c.faults));
        VexTraceClear();
        ControlHandle handle = OpenOrFail(kEndpoint);
        ULONG value = 0xCCCCCCCC;
        ULONG size = sizeof value;
        EXPECT_HR(S_OK, m_library.Get(handle, VEX_PARAM_FORM_FACTOR, &value, &size, VEX_ROUTE_APO));
        EXPECT_HR(S_OK, m_library.Close(handle));
        EXPECT_EQ(4u, size);
        EXPECT_EQ(c.expected, value);
        ExpectRecords(c.records);
    }
}

// One row per FX store (and wrapper registry value or fault): the version text each id reads.
TEST_F(EndpointQueries, VersionTextsComeFromTheFxStore) {
    const std::string wrapped = FxList(
        13, "VT_VECTOR|VT_LPWSTR",
        R"(["{0EBD8505-17BB-4AE7-AD76-E86F99A425E9}", "{1bedaecc-55f6-4149-95d9-a707a2fb4134}"])");
    // Upper-case texts: the composite stream key (its first names no effect), the mode key.
    const std::string laterStrings =
        FxList(
            13, "VT_VECTOR|VT_BSTR",
            R"(["{00000000-1111-2222-3333-444444444444}", "{1BEDAECC-55F6-4149-95D9-A707A2FB4134}"])") +
        ", " + FxList(7, "VT_LPWSTR", R"("{5CA784EC-8C20-445A-8C9E-7D3F43A08851}")");
    const auto wrapper = [](const char* value) {
        return std::string(R"({"SOFTWARE\\Tembra\\Wrapper\\": {"APO_SFX": )") + value + "}}";
    };
    const struct {
        const char* what;
        std::string fx;
        std::string registry;
        LONG id;
        const char* expected;
        std::string faults = "[]";
        Records records = {};
    } cases[] = {
        // clang-format off
        {"the composite stream key wins, either family's label for either id",
         FxList(13, "VT_VECTOR|VT_LPWSTR", R"(["{6e4dd785-e58a-4a6a-81d9-5eb9eb434eda}"])") + ", " +
             FxList(5, "VT_LPWSTR", R"("{d9916fa0-99f7-11e7-bf21-6c0b849889e1}")"),
         "{}", VEX_PARAM_MAIN_VERSION, "drova1.3"},
        {"the single stream key serves without the composite one",
         FxList(5, "VT_BSTR", R"("{D9916FA0-99F7-11E7-BF21-6C0B849889E1}")"), "{}",
         VEX_PARAM_MAIN_VERSION, "vex2.5"},
        {"later strings in any letter case", laterStrings, "{}", VEX_PARAM_MAIN_VERSION,
         "vex2.10-lite"},
        {"low latency reads the endpoint mode key", laterStrings, "{}",
         VEX_PARAM_LOW_LATENCY_VERSION, "drova1.5"},
        {"low latency reads no stream key",
         FxList(5, "VT_LPWSTR", R"("{97acd2ab-83ec-494b-9fe4-922bce1bd691}")") + ", " +
             FxList(13, "VT_VECTOR|VT_LPWSTR", R"(["{97acd2ab-83ec-494b-9fe4-922bce1bd691}"])"),
         "{}", VEX_PARAM_LOW_LATENCY_VERSION, ""},
        {"low latency: the composite mode key first",
         FxList(6, "VT_LPWSTR", R"("{97acd2ab-83ec-494b-9fe4-922bce1bd691}")") + ", " +
             FxList(14, "VT_VECTOR|VT_BSTR", R"(["{d9916f9e-99f7-11e7-bf21-6c0b849889e1}"])"),
         "{}", VEX_PARAM_LOW_LATENCY_VERSION, "drova1.0"},
        {"the wrapper names the hosted effect", wrapped,
         wrapper(R"("{97ACD2AB-83EC-494B-9FE4-922BCE1BD691}")"), VEX_PARAM_MAIN_VERSION,
         "drova1.4"},
        {"an unknown hosted effect ends the search", wrapped,
         wrapper(R"("{00000000-0000-0000-0000-00000000beef}")"), VEX_PARAM_MAIN_VERSION, ""},
        {"a wrapper value that is not a string is skipped", wrapped,
         wrapper(R"({"type": "REG_DWORD", "value": 1})"), VEX_PARAM_MAIN_VERSION, "vex2.10-lite"},
        {"a registry without the wrapper key", wrapped, "{}", VEX_PARAM_MAIN_VERSION,
         "vex2.10-lite"},
        {"a policy config that cannot be created gives an empty text", wrapped, "{}",
         VEX_PARAM_MAIN_VERSION, "", R"([{"method": "CoCreateInstance", "class": "PolicyConfig", "result": "0x80040154"}])",
         {{2, "GetApoVersion: Cannot create instance for IPolicyConfigVistaClient. [0x80040154]"},
          {2, "[Orv3VexControl.cpp:"}}},
        // clang-format on
    };
    vextest::TraceSession session(2);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LoadJson(Machine(1, "", c.fx, c.registry, c.faults));
        ControlHandle handle = OpenOrFail(kEndpoint);
        // One byte short of the text and its NUL, then the size reported back.
        const ULONG required = static_cast<ULONG>(std::strlen(c.expected) + 1) * sizeof(WCHAR);
        WCHAR text[64];
        ULONG size = required - 1;
        EXPECT_HR(E_INVALIDARG, m_library.Get(handle, c.id, text, &size, VEX_ROUTE_APO));
        ASSERT_EQ(required, size);
        VexTraceClear();
        const HRESULT hr = m_library.Get(handle, c.id, text, &size, VEX_ROUTE_APO);
        EXPECT_HR(S_OK, m_library.Close(handle));
        ASSERT_HR(S_OK, hr);
        EXPECT_EQ(required, size);
        EXPECT_EQ(0, text[size / 2 - 1]) << "the text ends with its NUL";
        EXPECT_EQ(c.expected, vextest::Narrow(text));
        ExpectRecords(c.records);
    }
}
