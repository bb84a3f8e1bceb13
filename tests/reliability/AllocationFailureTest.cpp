// Allocation failure inside the exports: this program replaces operator new and new[], and
// stands in front of the platform's task-memory, BSTR, local-memory and vector-value allocators,
// so that the n-th allocation the library itself makes during a flow fails (operator new throws
// std::bad_alloc, the platform functions return null or E_OUTOFMEMORY). Every n the flow reaches
// is tried. The export that meets the failure returns E_OUTOFMEMORY or the result it gives
// without the failure (where the library can do without what it could not allocate); the later
// calls give specified results; nothing stays alive once the library is unloaded, and the leak
// checker finds nothing at exit.
#include "reliability/Flows.h"

#ifndef _WIN32
#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

struct Range {
    uintptr_t begin;
    uintptr_t end;
};

// The armed failure: allocations counted only while armed and only when called from the
// library's own code.
struct Injector {
    std::atomic<bool> armed{false};
    unsigned long count = 0;
    unsigned long failAt = 0;  // 0: count only
    bool fired = false;
    Range ranges[8] = {};
    int rangeCount = 0;
};
Injector g_injector;

bool FromLibrary(const void* caller) {
    const uintptr_t address = reinterpret_cast<uintptr_t>(caller);
    for (int i = 0; i < g_injector.rangeCount; ++i) {
        if (address >= g_injector.ranges[i].begin && address < g_injector.ranges[i].end) {
            return true;
        }
    }
    return false;
}

// True when this allocation is the one to fail.
bool ShouldFail(const void* caller) {
    if (!g_injector.armed.load(std::memory_order_relaxed) || !FromLibrary(caller)) {
        return false;
    }
    ++g_injector.count;
    if (g_injector.failAt != 0 && g_injector.count == g_injector.failAt) {
        g_injector.fired = true;
        return true;
    }
    return false;
}

int CollectRanges(dl_phdr_info* info, size_t, void*) {
    if (info->dlpi_name == nullptr ||
        std::strstr(info->dlpi_name, "libOrv3VexControl") == nullptr) {
        return 0;
    }
    for (int i = 0; i < info->dlpi_phnum && g_injector.rangeCount < 8; ++i) {
        const auto& header = info->dlpi_phdr[i];
        if (header.p_type == PT_LOAD && (header.p_flags & PF_X) != 0) {
            const uintptr_t begin = info->dlpi_addr + header.p_vaddr;
            g_injector.ranges[g_injector.rangeCount++] = {begin, begin + header.p_memsz};
        }
    }
    return 1;
}

void FindLibrary() {
    g_injector.rangeCount = 0;
    dl_iterate_phdr(CollectRanges, nullptr);
}

void* Allocate(std::size_t size, const void* caller) {
    if (ShouldFail(caller)) {
        throw std::bad_alloc();
    }
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
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
    return Allocate(size, __builtin_return_address(0));
}
void* operator new[](std::size_t size) {
    return Allocate(size, __builtin_return_address(0));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (ShouldFail(__builtin_return_address(0))) {
        return nullptr;
    }
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (ShouldFail(__builtin_return_address(0))) {
        return nullptr;
    }
    return std::malloc(size == 0 ? 1 : size);
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
    return ShouldFail(__builtin_return_address(0)) ? nullptr : next(size);
}
extern "C" BSTR SysAllocString(const OLECHAR* text) {
    static const auto next = Next<BSTR (*)(const OLECHAR*)>("SysAllocString");
    return ShouldFail(__builtin_return_address(0)) ? nullptr : next(text);
}
extern "C" BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    static const auto next = Next<BSTR (*)(const OLECHAR*, UINT)>("SysAllocStringLen");
    return ShouldFail(__builtin_return_address(0)) ? nullptr : next(text, length);
}
extern "C" HLOCAL LocalAlloc(UINT flags, SIZE_T size) {
    static const auto next = Next<HLOCAL (*)(UINT, SIZE_T)>("LocalAlloc");
    return ShouldFail(__builtin_return_address(0)) ? nullptr : next(flags, size);
}
extern "C" HRESULT InitPropVariantFromInt32Vector(const LONG* values, ULONG count,
                                                  PROPVARIANT* value) {
    static const auto next =
        Next<HRESULT (*)(const LONG*, ULONG, PROPVARIANT*)>("InitPropVariantFromInt32Vector");
    if (ShouldFail(__builtin_return_address(0))) {
        PropVariantInit(value);
        return E_OUTOFMEMORY;
    }
    return next(values, count, value);
}

namespace {

using namespace reltest;

struct AllocCase {
    const MachineInfo* machine;
    size_t flow;
};

void PrintTo(const AllocCase& c, std::ostream* out) {
    *out << c.machine->name << "/" << Flows()[c.flow].name;
}

class AllocationFailure : public ::testing::TestWithParam<AllocCase> {
protected:
    void TearDown() override {
        vexsim_Reset();
        vexsim_Unregister();
    }
    vextest::ComApartment m_com;
};

struct FlowRun {
    std::vector<StepResult> results;
    int firedStep = -1;     // the step during which the failure happened
    size_t firedSteps = 0;  // steps run before it
    unsigned long allocations = 0;
};

// Runs the flow with the n-th library allocation failing (n = 0: none), step by step so that
// the step that met the failure is known.
FlowRun RunWithFailure(const MachineInfo& machine, const Flow& flow, unsigned long n) {
    FlowRun run;
    vexsim_Reset();
    EXPECT_TRUE(vextest::SimLoaded(vexsim_LoadMachine(machine.name)));
    const long baseline = vexsim_LiveObjectCount();
    const long stores = vexsim_LiveObjectCountOf("IPropertyStore");
    {
        vextest::VexLibrary library;
        EXPECT_TRUE(library.Loaded());
        if (!library.Loaded()) {
            return run;
        }
        FindLibrary();
        EXPECT_GT(g_injector.rangeCount, 0) << "the library's code was not found";
        g_injector.count = 0;
        g_injector.failAt = n;
        g_injector.fired = false;
        g_injector.armed = true;
        run.results = RunFlow(library, machine, flow, [&](const StepResult&) {
            if (g_injector.fired && run.firedStep < 0) {
                run.firedStep = static_cast<int>(run.firedSteps++);
            } else if (run.firedStep < 0) {
                ++run.firedSteps;
            }
        });
        g_injector.armed = false;
        run.allocations = g_injector.count;
        // Every flow closes what it opened, so no store session may outlive the flow: an open
        // that failed must not keep the store it had opened.
        EXPECT_EQ(stores, vexsim_LiveObjectCountOf("IPropertyStore"))
            << "a store left open with allocation " << n << " failing";
    }
    EXPECT_EQ(baseline, vexsim_LiveObjectCount())
        << "simulator objects left alive with allocation " << n << " failing";
    return run;
}

TEST_P(AllocationFailure, EveryLibraryAllocationFailingInTurn) {
    const MachineInfo& machine = *GetParam().machine;
    const Flow flow = Flows()[GetParam().flow];
    const FlowRun clean = RunWithFailure(machine, flow, 0);
    ASSERT_FALSE(HasFailure());
    ASSERT_GT(clean.allocations, 0ul) << "the flow allocated nothing in the library";
    unsigned long absorbed = 0;
    unsigned long n = 1;
    for (;; ++n) {
        const FlowRun run = RunWithFailure(machine, flow, n);
        if (run.firedStep < 0) {
            break;
        }
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
        if (HasFailure()) {
            break;
        }
    }
    std::printf("[alloc] %s/%s: %lu library allocations, %lu failed in turn, %lu absorbed\n",
                machine.name, flow.name.c_str(), clean.allocations, n - 1, absorbed);
}

std::vector<AllocCase> Cases() {
    std::vector<AllocCase> cases;
    for (const MachineInfo* machine : {&kDefaultMachine, &kDspMachine}) {
        for (size_t i = 0; i < Flows().size(); ++i) {
            cases.push_back({machine, i});
        }
    }
    return cases;
}

std::string CaseName(const ::testing::TestParamInfo<AllocCase>& info) {
    std::string machine = info.param.machine->name;
    machine.erase(std::remove(machine.begin(), machine.end(), '-'), machine.end());
    return machine + "_" + Flows()[info.param.flow].name;
}

INSTANTIATE_TEST_SUITE_P(Flows, AllocationFailure, ::testing::ValuesIn(Cases()), CaseName);

}  // namespace
#else
// Under Windows and Wine the library allocates through the system's heap, which a test
// program cannot make fail for the library's calls alone.
TEST(AllocationFailure, NativeOnly) {
    GTEST_SKIP() << "allocation failure is injected only in the native build: the program "
                    "replaces operator new and the platform layer's allocators there";
}
#endif  // !_WIN32
