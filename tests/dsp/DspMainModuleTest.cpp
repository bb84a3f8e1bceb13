// The main-processing module's parameters. Discovery never labels a module "2.10.0-lite": the
// fixture adds a copy of a discovered record so labelled, which serves the main range.
#include "support/Machines.h"

#include "dsp/DspController.h"
#include "dsp/TembraDspDrova.h"

using namespace dsptest;

namespace {

const vextest::Words kIeqBands = vextest::Sequence(100, 43);         // 172 bytes
const vextest::Words kRegulatorTuning = vextest::Sequence(200, 84);  // 336 bytes
const vextest::Words kPartialOutput = vextest::Sequence(300, 34);    // 136 bytes

class MainModule : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(m_com.Result()));
        const std::string modules = std::string("[{\"guid\": \"") + kIntel131 +
                                    "\", \"forms\": [\"pin\"], \"params\": {" +
                                    Param(142, kIeqBands) + ", " + Param(153, kRegulatorTuning) +
                                    ", " + Param(130, kPartialOutput) + "}}]";
        ASSERT_TRUE(
            vextest::SimLoaded(vexsim_LoadMachineJson(OneEndpointMachine(modules).c_str())));
        CTembraDspDrova& driver = DspController::Driver();
        ASSERT_HR(S_OK, driver.RefreshModules());
        ASSERT_EQ(1u, driver.Modules().size()) << "one discovered module";
        EndpointModuleRecord main = driver.Modules()[0].Copy();
        main.versionLabel.Reset(SysAllocString(TEXT("2.10.0-lite")));
        driver.Modules().push_back(std::move(main));
        ASSERT_HR(S_OK, DspController::Open(m_endpoint.c_str()));
        ASSERT_EQ(1, DspController::GetModuleIndex(m_endpoint.c_str(), 1101));
        ASSERT_EQ(1, DspController::GetModuleIndex(m_endpoint.c_str(), 1998)) << "the range's end";
        ASSERT_EQ(0, DspController::GetModuleIndex(m_endpoint.c_str(), 2101));
        ASSERT_EQ(0, vexsim_KsClearRequests(m_filter.c_str()));
    }
    void TearDown() override {
        DspController::Close(m_endpoint.c_str());
        vexsim_Reset();
        vexsim_Unregister();
    }

    const WString m_endpoint = EndpointIdW(1);
    const std::string m_filter = WaveFilter(1);
    vextest::ComApartment m_com;
};

}  // namespace

TEST_F(MainModule, TheFormFactorIsWrittenBeforeEveryMainWrite) {
    std::vector<BYTE> bands(4 * 43, 7);
    const PROPVARIANT blob = vextest::BlobOver(bands);
    const struct {
        LONG id;
        PROPVARIANT value;
        ULONG formFactor;
        std::vector<ParamWrite> sent;
        HRESULT result = S_OK;
    } cases[] = {
        {1101, vextest::Int32Value(5), 3, {{127, WordsHex({3})}, {123, WordsHex({5})}}},
        {1114, blob, 1, {{127, WordsHex({1})}, {142, Hex(bands.data(), 4 * 43)}}},
        {2103, vextest::Int32Value(9), 3, {{20, WordsHex({9})}}},
        // Module parameter 160, one past the main list: only the form factor goes out.
        {1005, vextest::Int32Value(1), 2, {{127, WordsHex({2})}}, E_INVALIDARG},
        // The bypass is no name of the list but always valid.
        {1002, vextest::Int32Value(1), 2, {{127, WordsHex({2})}, {1000, WordsHex({1})}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        ASSERT_EQ(0, vexsim_KsClearRequests(m_filter.c_str()));
        EXPECT_HR(c.result,
                  DspController::SetParameter(m_endpoint.c_str(), c.id, c.value, c.formFactor));
        EXPECT_EQ(c.sent, ParamWrites(m_filter));
    }
}

TEST_F(MainModule, GetLayoutsOfTheMainModule) {
    // The size asked for is the size of the layout written.
    const struct {
        LONG id;
        int param;
        vextest::Words output;
    } cases[] = {
        {1114, 142,
         vextest::Join(
             {Slice(kIeqBands, 0, 1), Slice(kIeqBands, 2, 20), Slice(kIeqBands, 23, 20)})},
        {1123, 153,
         vextest::Join({Slice(kRegulatorTuning, 21, 1), vextest::Words(20, 0),
                        Slice(kRegulatorTuning, 22, 20), Slice(kRegulatorTuning, 43, 20),
                        Slice(kRegulatorTuning, 64, 20)})},
        {1141, 130,
         vextest::Join({Slice(kPartialOutput, 0, 1), {0}, Slice(kPartialOutput, 2, 32)})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        // The size protocol itself is the low-latency layouts' (DspValues): here the layout.
        const auto needed = static_cast<ULONG>(4 * c.output.size());
        ULONG size = 0;
        EXPECT_HR(E_INVALIDARG,
                  DspController::GetParameter(m_endpoint.c_str(), c.id, nullptr, &size));
        EXPECT_EQ(needed, size);
        std::vector<BYTE> exact(needed, 0xCD);  // a block of exactly its size
        ASSERT_HR(S_OK, DspController::GetParameter(m_endpoint.c_str(), c.id, exact.data(), &size));
        EXPECT_EQ(WordsHex(c.output), Hex(exact.data(), needed));

        // An answer a word short of the layout is refused, and nothing is copied.
        const std::string fault =
            R"({"method": "IKsControl::KsProperty", "request": "moduleParam", )"
            R"("param": )" +
            std::to_string(c.param) + R"(, "call": 1, "answer": {"length": )" +
            std::to_string(needed - 4) + "}}";
        ASSERT_EQ(0, vexsim_AddFaults(fault.c_str())) << vexsim_LastError();
        std::vector<BYTE> buffer(512, 0xAB);
        size = static_cast<ULONG>(buffer.size());
        EXPECT_FALSE(
            SUCCEEDED(DspController::GetParameter(m_endpoint.c_str(), c.id, buffer.data(), &size)));
        EXPECT_EQ(std::vector<BYTE>(512, 0xAB), buffer) << "nothing copied";
    }
}
