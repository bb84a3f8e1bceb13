// The fault sweep: run n of a flow fails the n-th call into the simulated system, until a run no
// longer meets the fault; only specified results, and no simulator object left alive.
// VEX_SWEEP_STRIDE=k fails only every k-th call; 1 is the full sweep (scripts/soak.sh).
#include "support/Flows.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

namespace {

using namespace reltest;

#ifdef _WIN32
constexpr unsigned long kDefaultStride = 9;  // a library load costs more under Wine
#else
constexpr unsigned long kDefaultStride = 3;
#endif

unsigned long Stride() {
    const char* text = std::getenv("VEX_SWEEP_STRIDE");
    const long value = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
    return value > 0 ? static_cast<unsigned long>(value) : kDefaultStride;
}

struct SweepCase {
    const MachineInfo* machine;
    size_t flow;
};

class FaultSweep : public ::testing::TestWithParam<SweepCase> {
protected:
    void TearDown() override {
        vexsim_Reset();
        vexsim_Unregister();
    }

    vextest::ComApartment m_com;
};

struct Outcome {
    unsigned long calls = 0;  // calls the flow made into the simulator
    bool metFault = false;
};

// One run of a flow with the n-th call failing with `code` (n = 0: no fault).
Outcome RunOnce(const MachineInfo& machine, const Flow& flow, unsigned long n, const char* code,
                std::map<std::string, int>& tally) {
    Outcome outcome;
    vexsim_Reset();
    EXPECT_TRUE(vextest::SimLoaded(vexsim_LoadMachine(machine.name)));
    const long baseline = vexsim_LiveObjectCount();
    const unsigned long before = vexsim_CallCount("*");
    if (n > 0) {
        const std::string fault = "{\"method\": \"*\", \"call\": " + std::to_string(n) +
                                  ", \"result\": \"" + code + "\"}";
        EXPECT_EQ(0, vexsim_AddFaults(fault.c_str())) << vexsim_LastError();
    }
    {
        auto library = std::make_unique<vextest::VexLibrary>();
        EXPECT_TRUE(library->Loaded());
        if (!library->Loaded()) {
            return outcome;
        }
        for (const StepResult& r : RunFlow(*library, machine, flow)) {
            EXPECT_TRUE(SpecifiedResult(r)) << OpName(r.op) << " gave " << vextest::Hex(r.hr)
                                            << " with call " << n << " failing";
            ++tally[std::string(OpName(r.op)) + (FAILED(r.hr) ? " failed" : " succeeded")];
        }
    }
    outcome.calls = vexsim_CallCount("*") - before;
    outcome.metFault = n > 0 && outcome.calls >= n;
    EXPECT_EQ(baseline, vexsim_LiveObjectCount())
        << "simulator objects left alive with call " << n << " failing (" << code << ")";
    return outcome;
}

TEST_P(FaultSweep, EveryCallFailingInTurnLeavesNothingBehind) {
    const MachineInfo& machine = *GetParam().machine;
    const Flow flow = Flows()[GetParam().flow];
    std::map<std::string, int> tally;
    const Outcome clean = RunOnce(machine, flow, 0, "", tally);
    ASSERT_GT(clean.calls, 0ul) << "the flow never reached the simulator";
    const unsigned long stride = Stride();
    unsigned long runs = 0;
    for (const char* code : {"E_FAIL", "E_OUTOFMEMORY"}) {
        for (unsigned long n = 1;; n += stride) {
            const Outcome o = RunOnce(machine, flow, n, code, tally);
            ++runs;
            if (!o.metFault || HasFailure()) {
                break;
            }
        }
    }
    std::string summary;
    for (const auto& [what, count] : tally) {
        summary += " " + what + ": " + std::to_string(count) + ";";
    }
    std::printf("[sweep] %s/%s: %lu calls, %lu faulted runs (stride %lu);%s\n", machine.name,
                flow.name.c_str(), clean.calls, runs, stride, summary.c_str());
}

// The flows also succeed without faults, so the sweep starts from a working flow.
TEST_P(FaultSweep, FlowSucceedsWithoutFaults) {
    const MachineInfo& machine = *GetParam().machine;
    const Flow flow = Flows()[GetParam().flow];
    vexsim_Reset();
    ASSERT_TRUE(vextest::SimLoaded(vexsim_LoadMachine(machine.name)));
    vextest::VexLibrary library;
    ASSERT_TRUE(library.Loaded());
    for (const StepResult& r : RunFlow(library, machine, flow)) {
        // Neither machine labels a module as the main-processing one.
        const HRESULT expected =
            r.op == Op::Select && r.id == VEX_PARAM_MAIN_MODULE ? E_INVALIDARG : S_OK;
        EXPECT_HR(expected, r.hr) << OpName(r.op);
    }
}

std::vector<SweepCase> Cases() {
    std::vector<SweepCase> cases;
    for (const MachineInfo* machine : {&kDefaultMachine, &kDspMachine}) {
        for (size_t i = 0; i < Flows().size(); ++i) {
            cases.push_back({machine, i});
        }
    }
    return cases;
}

std::string CaseName(const ::testing::TestParamInfo<SweepCase>& info) {
    std::string machine = info.param.machine->name;
    machine.erase(std::remove(machine.begin(), machine.end(), '-'), machine.end());
    return machine + "_" + Flows()[info.param.flow].name;
}

INSTANTIATE_TEST_SUITE_P(Flows, FaultSweep, ::testing::ValuesIn(Cases()), CaseName);

}  // namespace
