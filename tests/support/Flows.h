// The export flows the reliability tests drive: a host's sequence of calls (open by id or on the
// default endpoint, sets and gets on each route, module selection, close), run against a loaded
// library on a simulated machine, with the results each call may give.
#pragma once

#include "support/Layouts.h"
#include "support/SimMachine.h"

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace reltest {

constexpr ULONG kApo = VEX_ROUTE_APO;
constexpr ULONG kDsp = VEX_ROUTE_DSP;
constexpr ULONG kBoth = VEX_ROUTE_APO | VEX_ROUTE_DSP;

// The machines of the sweep: the default one and the one whose speakers carry two DSP modules.
struct MachineInfo {
    const char* name;
    const WCHAR* speakers;  // the default render endpoint
};
inline const MachineInfo kDefaultMachine{"default", vextest::kSpeakers};
inline const MachineInfo kDspMachine{
    "dsp-modules", TEXT("{0.0.0.00000000}.{7a2b3c4d-0000-4000-8000-000000000001}")};

// A scalar and a structured parameter that both routes carry: 2103 one word; 2109 a count
// word and twenty values on the DSP route, the same bytes read as twenty words by the store.
constexpr LONG kScalarId = 2103;
constexpr LONG kStructuredId = 2109;

inline std::vector<BYTE> Words(const std::vector<int32_t>& words) {
    return vextest::ToBytes(words);
}

inline std::vector<BYTE> ScalarBytes(int32_t value) {
    return Words({value});
}
inline std::vector<BYTE> StructuredBytes(int32_t first) {
    std::vector<int32_t> words;
    for (int i = 0; i < 20; ++i) {
        words.push_back(first + i);
    }
    return Words(words);
}

enum class Op { OpenById, OpenDefault, Set, Get, Select, Close };

struct Step {
    Op op;
    LONG id = 0;
    ULONG flags = 0;
    std::vector<BYTE> bytes;  // Set: the value; Get: its size is the capacity
};

inline Step Simple(Op op) {
    return Step{op, 0, 0, {}};
}

struct Flow {
    std::string name;
    std::vector<Step> steps;
};

// Every flow opens, works and closes; the sweep fails one call of each in turn.
inline std::vector<Flow> Flows() {
    std::vector<Flow> flows;
    flows.push_back({"OpenByIdClose", {Simple(Op::OpenById), Simple(Op::Close)}});
    flows.push_back({"OpenDefaultClose", {Simple(Op::OpenDefault), Simple(Op::Close)}});
    const struct {
        const char* name;
        LONG id;
        std::vector<BYTE> bytes;
    } params[] = {{"Scalar", kScalarId, ScalarBytes(7)},
                  {"Structured", kStructuredId, StructuredBytes(20)}};
    const struct {
        const char* name;
        ULONG flags;
    } routes[] = {{"Store", kApo}, {"Dsp", kDsp}, {"Both", kBoth}};
    for (const auto& p : params) {
        for (const auto& r : routes) {
            flows.push_back({std::string(p.name) + r.name,
                             {Simple(Op::OpenById),
                              {Op::Set, p.id, r.flags, p.bytes},
                              {Op::Get, p.id, r.flags, std::vector<BYTE>(256)},
                              Simple(Op::Close)}});
        }
    }
    for (const LONG id : {VEX_PARAM_MAIN_MODULE, VEX_PARAM_LOW_LATENCY_MODULE}) {
        flows.push_back({id == VEX_PARAM_MAIN_MODULE ? "SelectMain" : "SelectLowLatency",
                         {Simple(Op::OpenDefault),
                          {Op::Select, id, kDsp, std::vector<BYTE>(8)},
                          Simple(Op::Close)}});
    }
    return flows;
}

struct StepResult {
    Op op;
    HRESULT hr;
    LONG id = 0;
};

// Runs a flow; the steps after a failed open are skipped, as a host would. A failed open must
// leave the handle slot as it was.
// `after` sees each call's result as soon as the call returns.
inline std::vector<StepResult> RunFlow(vextest::VexLibrary& library, const MachineInfo& machine,
                                       const Flow& flow,
                                       const std::function<void(const StepResult&)>& after = {}) {
    std::vector<StepResult> results;
    ControlHandle const untouched = reinterpret_cast<ControlHandle>(0x5EED);
    ControlHandle handle = untouched;
    bool open = false;
    for (const Step& step : flow.steps) {
        HRESULT hr = S_OK;
        switch (step.op) {
            case Op::OpenById:
            case Op::OpenDefault:
                hr = library.Open(&handle, step.op == Op::OpenById ? machine.speakers : nullptr);
                open = SUCCEEDED(hr);
                if (!open) {
                    EXPECT_EQ(untouched, handle) << "a failed open wrote the handle";
                }
                break;
            case Op::Set:
            case Op::Select:
                hr = library.Set(handle, step.id, step.bytes.data(),
                                 static_cast<ULONG>(step.bytes.size()), step.flags);
                break;
            case Op::Get: {
                std::vector<BYTE> buffer(step.bytes.size());
                ULONG size = static_cast<ULONG>(buffer.size());
                hr = library.Get(handle, step.id, buffer.data(), &size, step.flags);
                if (SUCCEEDED(hr)) {
                    EXPECT_LE(size, buffer.size()) << "a get claims more bytes than it was given";
                }
                break;
            }
            case Op::Close:
                hr = library.Close(handle);
                if (SUCCEEDED(hr)) {
                    open = false;
                }
                break;
        }
        results.push_back({step.op, hr, step.id});
        if (after) {
            after(results.back());
        }
        if (!open && step.op != Op::Close) {
            break;
        }
    }
    // A close that failed leaves the handle valid: try once more so nothing stays open.
    if (open) {
        const HRESULT hr = library.Close(handle);
        results.push_back({Op::Close, hr, 0});
        if (after) {
            after(results.back());
        }
    }
    return results;
}

// Success codes each call may give: an open S_OK, or S_FALSE for a store opened read-only
// (which a failed writable open can lead to); every other call S_OK.
inline bool SpecifiedResult(const StepResult& r) {
    if (FAILED(r.hr)) {
        return true;
    }
    if (r.op == Op::OpenById || r.op == Op::OpenDefault) {
        return r.hr == S_OK || r.hr == S_FALSE;
    }
    return r.hr == S_OK;
}

inline const char* OpName(Op op) {
    switch (op) {
        case Op::OpenById:
            return "OpenVexControl(id)";
        case Op::OpenDefault:
            return "OpenVexControl(null)";
        case Op::Set:
            return "SetVexParam";
        case Op::Get:
            return "GetVexParam";
        case Op::Select:
            return "SetVexParam(select)";
        case Op::Close:
            return "CloseVexControl";
    }
    return "?";
}

}  // namespace reltest
