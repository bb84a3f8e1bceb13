// The control handle and the property-store route through the library's exports, against
// simulated machines.
#include "support/SimMachine.h"

#include <string>
#include <utility>

using vextest::Int32Value;
using vextest::kSpeakers;

using Exports = vextest::LibraryTest;

// A null id opens the default speakers; one id of each property set lands under its key.
TEST_F(Exports, NullIdOpensTheDefaultRenderEndpoint) {
    Load("default");
    ControlHandle handle = OpenOrFail(nullptr);
    const std::pair<LONG, const char*> rows[] = {
        {1101, "{F112024A-FE30-42A8-80AB-8DD825A06F78},0"},
        {1002, "{0C5E4949-7A67-4B9E-9069-1D6259682436},3201"},
        {1005, "{DC827E12-807B-4FBB-8E3C-6C62981DD3C9},1"},
        {2101, "{5510C7AB-DFC2-40D0-A98B-5F77F697005E},1"},
        {3003, "{5B5E03CB-8070-420D-B794-8A28C89F6274},1"},
    };
    for (const auto& [id, key] : rows) {
        const PROPVARIANT value = Int32Value(1);
        EXPECT_HR(S_OK, m_library.SetVariant(handle, id, &value, VEX_ROUTE_APO)) << id;
        const auto stored =
            vextest::DumpedProperty(vextest::SimDump(), vextest::Narrow(kSpeakers), key);
        EXPECT_EQ(nlohmann::json(1), stored.is_object() ? stored["value"] : stored) << id;
    }
    // Left open: the unload at the end gives the session back (the fixture counts the objects).
}

TEST_F(Exports, NoDefaultEndpointFailsWithTheLookupCodeAndWritesNoHandle) {
    Load("no-default-render");
    ControlHandle handle = reinterpret_cast<ControlHandle>(static_cast<uintptr_t>(0xDEADBEEF));
    const HRESULT hr = m_library.Open(&handle, nullptr);
    EXPECT_HR(static_cast<HRESULT>(0x80070490), hr);
    EXPECT_EQ(reinterpret_cast<ControlHandle>(static_cast<uintptr_t>(0xDEADBEEF)), handle);
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
    EXPECT_TRUE(
        vextest::OneRecordAt(3,
                             "ApoController::SetParameter: Set property key [vex_system_gain, "
                             "{F112024A-FE30-42A8-80AB-8DD825A06F78}, 0] failed: [0x80030005]" +
                                 vextest::Narrow(text)));
    EXPECT_EQ(1u, vextest::RecordsContaining("Failed to open property store in read write "
                                             "mode, try read only mode again")
                      .size());
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

    ASSERT_EQ(0, vexsim_AddFaults(R"({"method": "CoCreateInstance", "class": "MMDeviceEnumerator",)"
                                  R"( "result": "0x80040154"})"))
        << vexsim_LastError();
    EXPECT_HR(REGDB_E_CLASSNOTREG, m_library.Open(&handle, kSpeakers));
    EXPECT_EQ(nullptr, handle);

    VEX_REQUIRE_TRACE_CONTROLLER();
    EXPECT_EQ(1u, vextest::RecordsContaining("[0x80070490]").size());
    for (const char* text : {"ApoController::Open: Failed to find device[no such endpoint]: "
                             "[0x80070490]",
                             "Failed to open property store in read only mode: [0x80070005]",
                             "Failed to create device enumerator: [0x80040154]"}) {
        EXPECT_TRUE(vextest::OneRecordAt(2, text)) << "an error";
    }
    unsigned long long keyword = 0;  // the simulator reads the same records
    EXPECT_NE(nullptr, vexsim_TraceRecord(0, nullptr, &keyword));
    EXPECT_EQ(vextest::CapturedRecords()[0].keyword, keyword);
    m_library.Unload();  // a session's notifications no longer reach the unloaded library
    VexTraceEnable(Guids::kTraceProvider, 5, 0x400);
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
    EXPECT_EQ(0, vexsim_ReleasePropertyStore(speakers.c_str()));
}
