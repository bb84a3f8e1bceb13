// The property-store sessions inside the library: the close sequence and its records, read
// through the trace controller (natively only).
#include "support/SimMachine.h"

#include "apo/ApoController.h"

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
    EXPECT_EQ(1u, vextest::RecordsContaining("is already opened, AddRef() called.").size());
    EXPECT_EQ(1u, vextest::RecordsContaining("Property store for device[" +
                                             vextest::Narrow(kSpeakers) + "] is [0x")
                      .size());
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
    const std::string tail = "] ApoController::Close: Property store for device[" +
                             vextest::Narrow(kSpeakers) + "] is not opened.";
    EXPECT_EQ(0u, records[0].text.find("[ApoController.cpp:")) << records[0].text;
    ASSERT_GT(records[0].text.size(), tail.size());
    EXPECT_EQ(tail, records[0].text.substr(records[0].text.size() - tail.size()));
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
