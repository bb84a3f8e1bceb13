// Soak: open/set/get/close cycles on two endpoints; neither resident memory nor the simulator's
// live objects may grow after a warm-up. VEX_SOAK_CYCLES sets the number of cycles.
#include "support/Flows.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <psapi.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's default quarantine (256 MiB) would make resident memory grow until full.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=4";
}
#endif

namespace {

using namespace reltest;

unsigned long Cycles() {
    const char* text = std::getenv("VEX_SOAK_CYCLES");
    const long value = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
    return value > 0 ? static_cast<unsigned long>(value) : 2000;
}

// Resident memory in bytes (0 when it cannot be read).
unsigned long long ResidentBytes() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
        return 0;
    }
    return counters.WorkingSetSize;
#else
    FILE* file = std::fopen("/proc/self/statm", "r");
    if (file == nullptr) {
        return 0;
    }
    unsigned long long size = 0;
    unsigned long long resident = 0;
    const int read = std::fscanf(file, "%llu %llu", &size, &resident);
    std::fclose(file);
    return read == 2 ? resident * 4096ull : 0;
#endif
}

class Soak : public vextest::LibraryTest {};

TEST_F(Soak, CyclesOnTwoEndpointsGrowNothing) {
    Load("default");
    vexsim_KsSetRequestLogging(0);  // the filters' logs would grow with every request
    const WCHAR* const endpoints[] = {vextest::kSpeakers, vextest::kHeadphones};
    const std::vector<BYTE> blob = StructuredBytes(3);
    const unsigned long cycles = Cycles();
    const unsigned long warmUp = cycles / 10 > 0 ? cycles / 10 : 1;
    unsigned long long residentAfterWarmUp = 0;
    long objectsAfterWarmUp = 0;
    unsigned long failures = 0;
    for (unsigned long cycle = 0; cycle < cycles; ++cycle) {
        for (const WCHAR* endpoint : endpoints) {
            ControlHandle handle = nullptr;
            if (m_library.Open(&handle, endpoint) != S_OK) {
                ++failures;
                continue;
            }
            const LONG value = static_cast<LONG>(cycle);
            // Speakers carry a low-latency module: both routes; headphones have none: store only.
            const ULONG flags = endpoint == vextest::kSpeakers ? kBoth : kApo;
            failures += m_library.Set(handle, kScalarId, &value, sizeof value, flags) != S_OK;
            failures += m_library.Set(handle, kStructuredId, blob.data(),
                                      static_cast<ULONG>(blob.size()), kApo) != S_OK;
            LONG read = -1;
            ULONG size = sizeof read;
            failures += m_library.Get(handle, kScalarId, &read, &size, flags) != S_OK;
            failures += read != value;
            failures += m_library.Close(handle) != S_OK;
        }
        if (cycle + 1 == warmUp) {
            residentAfterWarmUp = ResidentBytes();
            objectsAfterWarmUp = vexsim_LiveObjectCount();
        }
        if (failures != 0) {
            break;
        }
    }
    EXPECT_EQ(0ul, failures) << "calls that failed or read back the wrong value";
    const unsigned long long residentAtEnd = ResidentBytes();
    EXPECT_EQ(objectsAfterWarmUp, vexsim_LiveObjectCount()) << "simulator objects grew";
    std::printf("[soak] %lu cycles: resident %llu KiB after %lu, %llu KiB at the end\n", cycles,
                residentAfterWarmUp / 1024, warmUp, residentAtEnd / 1024);
    if (residentAfterWarmUp == 0 || residentAtEnd == 0) {
        GTEST_SKIP() << "resident memory cannot be read here; the object counts were checked";
    }
    // Allocator noise allowed: 1 MiB.
    EXPECT_LE(residentAtEnd, residentAfterWarmUp + (1ull << 20)) << "resident memory grew";
}

}  // namespace
