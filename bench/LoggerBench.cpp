// The cost of a log call site when its record is not wanted: with no trace session, and with
// a session that listens at a lower level than the call's. Target: no allocation, under 20 ns.
#include "SystemGuids.h"
#include "util/Log.h"
#include "vexplat/tracecontroller.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<uint64_t> g_allocations{0};
}

void* operator new(size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}

namespace {

void RunSilentCallSites(benchmark::State& state) {
    VEX_LOG(Util::kLevelError, "Warm::Up", "first use registers the provider");
    const uint64_t allocationsBefore = g_allocations.load();
    const uint64_t formatsBefore = Util::FormatCount();
    int i = 0;
    for (auto _ : state) {
        VEX_LOG(Util::kLevelInformation, "ApoController::SetParameter",
                "Set property key [%s, %s, %d]: %s", TEXT("vex_system_gain"), TEXT("{GUID}"), i,
                TEXT("1"));
        benchmark::DoNotOptimize(++i);
    }
    state.counters["allocations"] = static_cast<double>(g_allocations.load() - allocationsBefore);
    state.counters["formats"] = static_cast<double>(Util::FormatCount() - formatsBefore);
}

void BM_LogCallSiteNoSession(benchmark::State& state) {
    RunSilentCallSites(state);
}

void BM_LogCallSiteSessionAtLowerLevel(benchmark::State& state) {
    VexTraceEnable(Guids::kTraceProvider, Util::kLevelError, Util::kLibraryKeyword);
    RunSilentCallSites(state);
    VexTraceStop();
}

void BM_LogCallSiteWritten(benchmark::State& state) {
    VexTraceEnable(Guids::kTraceProvider, Util::kLevelInformation, Util::kLibraryKeyword);
    int i = 0;
    for (auto _ : state) {
        VEX_LOG(Util::kLevelInformation, "ApoController::SetParameter",
                "Set property key [%s, %s, %d]: %s", TEXT("vex_system_gain"), TEXT("{GUID}"), i,
                TEXT("1"));
        benchmark::DoNotOptimize(++i);
        if ((i & 1023) == 0) {
            VexTraceClear();
        }
    }
    VexTraceStop();
}

}  // namespace

BENCHMARK(BM_LogCallSiteNoSession);
BENCHMARK(BM_LogCallSiteSessionAtLowerLevel);
BENCHMARK(BM_LogCallSiteWritten);
BENCHMARK_MAIN();
