// Allocation failure inside the exports: operator new and the platform's allocators are
// replaced so that the n-th allocation the library itself makes during a flow fails, for every n
// the flow reaches, untraced and traced (docs/reliability.md).
#include "support/Flows.h"
#include "support/TraceCapture.h"

#ifndef _WIN32
#include <dlfcn.h>
#include <execinfo.h>
#include <link.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

// Allocations are counted only while armed and only when made for the library's own code.
struct Injector {
    std::atomic<bool> armed{false};
    unsigned long count = 0;
    unsigned long failAt = 0;  // 0: count only
    size_t failFromBytes = 0;  // not 0: every allocation of at least this many bytes fails
    bool fired = false;
};
Injector g_injector;

// Standard templates (the library's calls may run in another module's copy) and operator new.
bool StandardCode(void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_sname == nullptr) {
        return false;
    }
    for (const char* prefix :
         {"_ZNSt", "_ZNKSt", "_ZSt", "_ZNSa", "_ZN9__gnu_cxx", "_Znw", "_Zna"}) {
        if (std::strncmp(info.dli_sname, prefix, std::strlen(prefix)) == 0) {
            return true;
        }
    }
    return false;
}

// Whether the nearest caller that is not standard library code is the library's own; callers
// outside the library, the simulator and the platform layer (the test, the runtime) are passed.
bool FromLibrary() {
    void* frames[24];  // the standard template frames above an allocation fit
    const int depth = backtrace(frames, 24);
    for (int i = 0; i < depth; ++i) {
        dl_find_object found{};
        if (_dl_find_object(frames[i], &found) != 0 || found.dlfo_link_map == nullptr) {
            continue;
        }
        const char* module = found.dlfo_link_map->l_name;
        if (std::strstr(module, "libOrv3VexControl") != nullptr) {
            return true;
        }
        if ((std::strstr(module, "libvexsim") != nullptr ||
             std::strstr(module, "libvexplat") != nullptr) &&
            !StandardCode(frames[i])) {
            return false;
        }
    }
    return false;
}

// True when this allocation is the one to fail.
bool ShouldFail(size_t bytes = 0) {
    if (!g_injector.armed.load(std::memory_order_relaxed) || !FromLibrary()) {
        return false;
    }
    ++g_injector.count;
    if ((g_injector.failAt != 0 && g_injector.count == g_injector.failAt) ||
        (g_injector.failFromBytes != 0 && bytes >= g_injector.failFromBytes)) {
        g_injector.fired = true;
        return true;
    }
    return false;
}

void* Allocate(std::size_t size, bool nothrow = false) {
    void* block = ShouldFail(size) ? nullptr : std::malloc(size == 0 ? 1 : size);
    if (block == nullptr && !nothrow) {
        throw std::bad_alloc();
    }
    return block;
}

template <typename Fn>
Fn Next(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

}  // namespace

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size, true);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size, true);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}

// The platform's allocators, seen first by the library's calls.
extern "C" LPVOID CoTaskMemAlloc(SIZE_T size) {
    static const auto next = Next<LPVOID (*)(SIZE_T)>("CoTaskMemAlloc");
    return ShouldFail() ? nullptr : next(size);
}
extern "C" BSTR SysAllocString(const OLECHAR* text) {
    static const auto next = Next<BSTR (*)(const OLECHAR*)>("SysAllocString");
    return ShouldFail() ? nullptr : next(text);
}
extern "C" BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    static const auto next = Next<BSTR (*)(const OLECHAR*, UINT)>("SysAllocStringLen");
    return ShouldFail() ? nullptr : next(text, length);
}

namespace {

using namespace reltest;

struct AllocCase {
    const MachineInfo* machine;
    size_t flow;
    bool traced;  // a trace session takes every record, down to the verbose level
};

class AllocationFailure : public ::testing::TestWithParam<AllocCase> {
protected:
    void TearDown() override {
        vexsim_Reset();
        vexsim_Unregister();
    }
    vextest::ComApartment m_com;
};

// Loads the library on a fresh machine and runs `body` with the library's allocations counted,
// the n-th failing (0: none) or every one of at least `bigBytes` (0: none); then checks that no
// simulator object, and no store in particular, was left alive.
template <typename Body>
void WithInjector(const char* machine, unsigned long n, size_t bigBytes, Body body) {
    vexsim_Reset();
    EXPECT_TRUE(vextest::SimLoaded(vexsim_LoadMachine(machine)));
    const long baseline = vexsim_LiveObjectCount();
    const long stores = vexsim_LiveObjectCountOf("IPropertyStore");
    {
        vextest::VexLibrary library;
        ASSERT_TRUE(library.Loaded());
        void* warmUp[1];
        backtrace(warmUp, 1);  // the unwinder loads what it needs now, not inside an allocation
        g_injector.count = 0;
        g_injector.failAt = n;
        g_injector.failFromBytes = bigBytes;
        g_injector.fired = false;
        g_injector.armed = true;
        body(library);
        g_injector.armed = false;
        EXPECT_EQ(stores, vexsim_LiveObjectCountOf("IPropertyStore"))
            << "a store left open with allocation " << n << " failing";
    }
    EXPECT_EQ(baseline, vexsim_LiveObjectCount())
        << "simulator objects left alive with allocation " << n << " failing";
}

struct FlowRun {
    std::vector<StepResult> results;
    int firedStep = -1;  // the step during which the failure happened
    unsigned long allocations = 0;
};

FlowRun RunWithFailure(const MachineInfo& machine, const Flow& flow, unsigned long n, bool traced) {
    FlowRun run;
    std::optional<vextest::TraceSession> session;
    if (traced) {
        session.emplace(5);
    }
    WithInjector(machine.name, n, 0, [&](vextest::VexLibrary& library) {
        int step = 0;
        run.results = RunFlow(library, machine, flow, [&](const StepResult&) {
            run.firedStep = run.firedStep < 0 && g_injector.fired ? step : run.firedStep;
            ++step;
        });
        run.allocations = g_injector.count;
    });
    return run;
}

TEST_P(AllocationFailure, EveryLibraryAllocationFailingInTurn) {
    const MachineInfo& machine = *GetParam().machine;
    const Flow flow = Flows()[GetParam().flow];
    const bool traced = GetParam().traced;
    const FlowRun clean = RunWithFailure(machine, flow, 0, traced);
    ASSERT_FALSE(HasFailure());
    ASSERT_GT(clean.allocations, 0ul) << "the flow allocated nothing in the library";
    unsigned long absorbed = 0;
    unsigned long failed = 0;
    // VEX_ALLOC_STRIDE=k fails every k-th allocation of a traced flow; untraced flows fail each.
    const char* text = std::getenv("VEX_ALLOC_STRIDE");
    const long asked = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
    const unsigned long stride = !traced ? 1 : asked > 0 ? static_cast<unsigned long>(asked) : 31;
    for (unsigned long n = 1; !HasFailure(); n += stride) {
        const FlowRun run = RunWithFailure(machine, flow, n, traced);
        if (run.firedStep < 0) {
            break;
        }
        ++failed;
        for (size_t i = 0; i < run.results.size(); ++i) {
            const StepResult& r = run.results[i];
            if (static_cast<int>(i) == run.firedStep) {
                const HRESULT unfailed = i < clean.results.size() ? clean.results[i].hr : S_OK;
                EXPECT_TRUE(r.hr == E_OUTOFMEMORY || r.hr == unfailed)
                    << OpName(r.op) << " gave " << vextest::Hex(r.hr) << " with allocation " << n
                    << " failing";
                absorbed += r.hr == unfailed ? 1 : 0;
            } else {
                EXPECT_TRUE(SpecifiedResult(r)) << OpName(r.op) << " gave " << vextest::Hex(r.hr);
            }
        }
    }
    std::printf("[alloc] %s/%s%s: %lu library allocations, %lu failed in turn, %lu absorbed\n",
                machine.name, flow.name.c_str(), traced ? " traced" : "", clean.allocations, failed,
                absorbed);
}

std::vector<AllocCase> Cases() {
    std::vector<AllocCase> cases;
    for (const MachineInfo* machine : {&kDefaultMachine, &kDspMachine}) {
        for (size_t i = 0; i < Flows().size(); ++i) {
            cases.push_back({machine, i, false});
            cases.push_back({machine, i, true});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Flows, AllocationFailure, ::testing::ValuesIn(Cases()),
                         [](const auto& info) {
                             std::string name =
                                 info.param.machine == &kDspMachine ? "dspmodules_" : "default_";
                             return name + Flows()[info.param.flow].name +
                                    (info.param.traced ? "_Traced" : "");
                         });

// A list of 1 MiB the speakers' filter announces cannot be allocated: only that query fails, and
// the endpoint still gets its DSP route.
TEST_F(AllocationFailure, AListThatCannotBeAllocatedFailsOnlyItsQuery) {
    const std::pair<const char*, const WCHAR*> cases[] = {
        {"moduleDescriptors", kDspMachine.speakers},
        {"moduleList", TEXT("{0.0.0.00000000}.{7a2b3c4d-0000-4000-8000-000000000002}")}};
    for (const auto& [request, endpoint] : cases) {
        SCOPED_TRACE(request);
        const std::string fault =
            std::string(R"({"method": "IKsControl::KsProperty", "endpoint": "dsp-wave", )") +
            R"("request": ")" + request +
            R"(", "sizeQuery": true, "answer": {"returned": 1048576}})";
        WithInjector(kDspMachine.name, 0, 1048576, [&](vextest::VexLibrary& library) {
            ASSERT_EQ(0, vexsim_AddFaults(fault.c_str())) << vexsim_LastError();
            ControlHandle handle = nullptr;
            ASSERT_HR(S_OK, library.Open(&handle, endpoint));
            EXPECT_TRUE(g_injector.fired) << "the announced list was never allocated";
            g_injector.armed = false;
            ULONG type = 0;
            ULONG size = sizeof type;
            EXPECT_HR(S_OK, library.Get(handle, 2006, &type, &size, kDsp))
                << "the endpoint has no DSP route";
            EXPECT_HR(S_OK, library.Close(handle));
        });
    }
}

}  // namespace
#else
TEST(AllocationFailure, NativeOnly) {
    GTEST_SKIP() << "allocation failure is injected only in the native build: the program "
                    "replaces operator new and the platform layer's allocators there";
}
#endif  // !_WIN32
