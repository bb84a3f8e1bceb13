// The fault sweep: run n of a flow fails the n-th call into the simulated system, until a run no
// longer meets the fault; only specified results, and no simulator object left alive.
// VEX_SWEEP_STRIDE=k fails only every k-th call; 1 is the full sweep (scripts/soak.sh).
#include "support/Flows.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace reltest;

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

// One run of a flow with the n-th call failing with `code` (n = 0: no fault, and every step
// succeeds but the selection of a main module, which neither machine labels); the calls it made.
unsigned long RunOnce(const MachineInfo& machine, const Flow& flow, unsigned long n,
                      const char* code) {
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
        vextest::VexLibrary library;
        EXPECT_TRUE(library.Loaded());
        if (!library.Loaded()) {
            return 0;
        }
        for (const StepResult& r : RunFlow(library, machine, flow)) {
            if (n == 0) {
                const bool main = r.op == Op::Select && r.id == VEX_PARAM_MAIN_MODULE;
                EXPECT_HR(main ? E_INVALIDARG : S_OK, r.hr) << OpName(r.op);
            }
            EXPECT_TRUE(SpecifiedResult(r)) << OpName(r.op) << " gave " << vextest::Hex(r.hr)
                                            << " with call " << n << " failing";
        }
    }
    EXPECT_EQ(baseline, vexsim_LiveObjectCount())
        << "simulator objects left alive with call " << n << " failing (" << code << ")";
    return vexsim_CallCount("*") - before;
}

TEST_P(FaultSweep, EveryCallFailingInTurnLeavesNothingBehind) {
    const MachineInfo& machine = *GetParam().machine;
    const Flow flow = Flows()[GetParam().flow];
    const unsigned long calls = RunOnce(machine, flow, 0, "");
    ASSERT_GT(calls, 0ul) << "the flow never reached the simulator";
    ASSERT_FALSE(HasFailure());
    const char* text = std::getenv("VEX_SWEEP_STRIDE");
#ifdef _WIN32
    const long fallback = 9;  // a library load costs more under Wine
#else
    const long fallback = 3;
#endif
    const long asked = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
    const unsigned long stride = static_cast<unsigned long>(asked > 0 ? asked : fallback);
    unsigned long runs = 0;
    for (const char* code : {"E_FAIL", "E_OUTOFMEMORY"}) {
        for (unsigned long n = 1; !HasFailure(); n += stride, ++runs) {
            if (RunOnce(machine, flow, n, code) < n) {
                break;
            }
        }
    }
    std::printf("[sweep] %s/%s: %lu calls, %lu faulted runs (stride %lu)\n", machine.name,
                flow.name.c_str(), calls, runs, stride);
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

INSTANTIATE_TEST_SUITE_P(Flows, FaultSweep, ::testing::ValuesIn(Cases()), [](const auto& info) {
    std::string name = info.param.machine == &kDspMachine ? "dspmodules_" : "default_";
    return name + Flows()[info.param.flow].name;
});

}  // namespace
