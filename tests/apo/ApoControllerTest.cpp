// The property-store sessions inside the library: the close sequence and its records, read
// through the trace controller (natively only); and the wrapper key's string reader.
#include "support/SimMachine.h"

#include "apo/ApoController.h"
#include "apo/ApoVersion.h"

#include <cstring>
#include <vector>

using vextest::kSpeakers;

namespace {

class ApoSessions : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(m_com.Result()));
        ASSERT_TRUE(vextest::SimLoaded(vexsim_LoadMachine("default")));
    }
    void TearDown() override {
        vexsim_Reset();
        vexsim_Unregister();
    }
    vextest::ComApartment m_com;
};

}  // namespace

TEST_F(ApoSessions, CloseSequenceReleasesThenClosesThenWarns) {
    VEX_REQUIRE_TRACE_CONTROLLER();
    vextest::TraceSession session(5);
    ASSERT_HR(S_OK, ApoController::Open(kSpeakers));
    ASSERT_HR(S_OK, ApoController::Open(kSpeakers));
    VexTraceClear();

    EXPECT_HR(S_OK, ApoController::Close(kSpeakers));
    auto records = vextest::CapturedRecords();
    ASSERT_EQ(1u, records.size());
    EXPECT_NE(std::string::npos, records[0].text.find("Release() called."));
    EXPECT_EQ(4, records[0].level);
    EXPECT_EQ(1, vexsim_LiveObjectCountOf("IPropertyStore")) << "the entry stays";
    VexTraceClear();

    EXPECT_HR(S_OK, ApoController::Close(kSpeakers));
    records = vextest::CapturedRecords();
    ASSERT_EQ(2u, records.size());
    EXPECT_NE(std::string::npos, records[0].text.find("Release() called."));
    EXPECT_NE(std::string::npos,
              records[1].text.find("] for device[" + vextest::Narrow(kSpeakers) + "] is closed"));
    EXPECT_EQ(0, vexsim_LiveObjectCountOf("IPropertyStore"));
    VexTraceClear();

    EXPECT_HR(S_OK, ApoController::Close(kSpeakers));
    records = vextest::CapturedRecords();
    ASSERT_EQ(1u, records.size());
    EXPECT_TRUE(records[0].text.starts_with("[ApoController.cpp:")) << records[0].text;
    EXPECT_TRUE(records[0].text.ends_with("] ApoController::Close: Property store for device[" +
                                          vextest::Narrow(kSpeakers) + "] is not opened."))
        << records[0].text;
    EXPECT_EQ(3, records[0].level);
}

TEST_F(ApoSessions, RequestsWithoutSessionFail) {
    PROPVARIANT value;
    PropVariantInit(&value);
    value.vt = VT_I4;
    EXPECT_HR(E_FAIL, ApoController::SetParameter(kSpeakers, 1101, value));
    EXPECT_HR(E_FAIL, ApoController::GetParameter(kSpeakers, 1101, &value));
    EXPECT_EQ(10u, ApoController::GetFormFactor(kSpeakers));
}

// The wrapper key's reader against values a size query alone does not size right.
class RegistryString : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &m_key, nullptr));
    }
    void TearDown() override {
        RegCloseKey(m_key);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey);
    }
    LSTATUS Store(const void* bytes, size_t count) {
        return RegSetValueExW(m_key, TEXT("APO_SFX"), 0, REG_SZ, static_cast<const BYTE*>(bytes),
                              static_cast<DWORD>(count));
    }
    static constexpr const WCHAR* kKey = TEXT("SOFTWARE\\VexRegistryStringTest");
    HKEY m_key = nullptr;
};

TEST_F(RegistryString, ValueWithoutTerminatorIsReadWhole) {
    const WCHAR clsid[] = TEXT("{97ACD2AB-83EC-494B-9FE4-922BCE1BD691}");
    std::vector<BYTE> oddLength(sizeof clsid - sizeof(WCHAR) + 1, 0);
    std::memcpy(oddLength.data(), clsid, sizeof clsid - sizeof(WCHAR));
    struct Row {
        const char* name;
        const void* bytes;
        size_t count;
    };
    const Row rows[] = {
        {"terminated", clsid, sizeof clsid},
        {"unterminated", clsid, sizeof clsid - sizeof(WCHAR)},
        {"odd length", oddLength.data(), oddLength.size()},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(ERROR_SUCCESS, Store(row.bytes, row.count)) << row.name;
        WString text;
        EXPECT_EQ(ERROR_SUCCESS, ReadRegistryString(m_key, TEXT("APO_SFX"), &text)) << row.name;
        EXPECT_TRUE(text == WString(clsid)) << row.name << ": " << vextest::Narrow(text.c_str());
    }
}
