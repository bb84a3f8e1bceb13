// The library's cost beside the platform calls it wraps, on the simulated machine: parameter
// set and get on the property-store route beside raw IPropertyStore calls, a DSP scalar set
// beside a raw IKsControl::KsProperty of the same request, and OpenVexControl with many
// endpoints beside few. Each pair is measured in one run; a summary prints each ratio against
// its target, with the allocations (operator new) and bytes allocated per call.
#include "KsAudioModule.h"
#include "Orv3VexControl.h"
#include "Platform.h"
#include "SystemGuids.h"
#include "parameters/Guids.h"
#include "util/ComPtr.h"
#include "util/ScopedPropVariant.h"

#include <benchmark/benchmark.h>
#include <vexsim.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

namespace {
std::atomic<uint64_t> g_allocations{0};
std::atomic<uint64_t> g_allocatedBytes{0};
}  // namespace

void* operator new(size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    g_allocatedBytes.fetch_add(size, std::memory_order_relaxed);
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

// The main effect's parameters: vex_system_gain (1101) and vex_audio_optimizer_bands (1119).
constexpr PROPERTYKEY kGainKey = {Guids::kMainSet, 0};
constexpr PROPERTYKEY kBandsKey = {Guids::kMainSet, 18};

// A control low-latency module reached only in the pin form, on pin 1.
const char* const kPinModule = "{9DC26903-A3A8-4A30-8839-A77B6F4E5964}";

std::string EndpointGuidText(int n) {
    char text[64];
    std::snprintf(text, sizeof text, "{00000000-0000-0000-0000-%012d}", n);
    return text;
}
std::string EndpointId(int n) {
    return "{0.0.0.00000000}." + EndpointGuidText(n);
}
using WideText = std::basic_string<WCHAR>;
WideText Wide(const std::string& text) {
    return WideText(text.begin(), text.end());
}

// A machine of `count` active render endpoints; the first one's wave filter carries the
// pin-form module.
std::string Machine(int count) {
    std::string endpoints;
    for (int n = 1; n <= count; ++n) {
        endpoints += (n == 1 ? "" : ", ");
        endpoints += "{\"id\": \"" + EndpointId(n) +
                     "\", \"flow\": \"render\", \"state\": \"active\", \"name\": \"Endpoint " +
                     std::to_string(n) +
                     "\", \"properties\": {"
                     "\"{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},0\": {\"type\": \"VT_UI4\", "
                     "\"value\": 1},"
                     "\"{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},4\": \"" +
                     EndpointGuidText(n) +
                     "\","
                     "\"{F19F064D-082C-4E27-BC73-6882A1BB8E4C},0\": {\"type\": \"VT_BLOB\", "
                     "\"bytes\": [1, 0, 2, 0, 128, 187, 0, 0, 0, 238, 2, 0, 4, 0, 16, 0, 0, 0]}}";
        if (n == 1) {
            endpoints += std::string(", \"renderPath\": {\"modules\": [{\"guid\": \"") +
                         kPinModule + "\", \"forms\": [\"pin\"]}]}";
        }
        endpoints += "}";
    }
    return "{\"name\": \"bench\", \"endpoints\": [" + endpoints +
           "], \"filters\": [], \"registry\": {}, \"faults\": [], \"requestLogging\": false}";
}

bool LoadMachine(benchmark::State& state, int endpoints) {
    if (vexsim_LoadMachineJson(Machine(endpoints).c_str()) != 0) {
        state.SkipWithError(vexsim_LastError());
        return false;
    }
    return true;
}

ComPtr<IMMDevice> Device(const std::string& id) {
    ComPtr<IMMDeviceEnumerator> enumerator;
    ComPtr<IMMDevice> device;
    if (SUCCEEDED(CoCreateInstance(Guids::kClsidMMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                   Guids::kIidIMMDeviceEnumerator, enumerator.ReceiveVoid()))) {
        enumerator->GetDevice(Wide(id).c_str(), device.Receive());
    }
    return device;
}

ComPtr<IPropertyStore> Store() {
    ComPtr<IPropertyStore> store;
    if (ComPtr<IMMDevice> device = Device(EndpointId(1))) {
        device->OpenPropertyStore(STGM_READWRITE, store.Receive());
    }
    return store;
}

// Allocations and bytes per iteration since construction, as counters.
class AllocationCount {
public:
    AllocationCount() : m_count(g_allocations.load()), m_bytes(g_allocatedBytes.load()) {}
    void Report(benchmark::State& state) const {
        const double iterations = static_cast<double>(state.iterations());
        state.counters["allocs"] = static_cast<double>(g_allocations.load() - m_count) / iterations;
        state.counters["bytes"] =
            static_cast<double>(g_allocatedBytes.load() - m_bytes) / iterations;
    }

private:
    uint64_t m_count;
    uint64_t m_bytes;
};

// An open handle on endpoint 1 for the length of a benchmark.
class Handle {
public:
    explicit Handle(benchmark::State& state) {
        if (FAILED(OpenVexControl(&m_handle, Wide(EndpointId(1)).c_str()))) {
            state.SkipWithError("OpenVexControl failed");
            m_handle = nullptr;
        }
    }
    ~Handle() {
        if (m_handle != nullptr) {
            CloseVexControl(m_handle);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ControlHandle Get() const { return m_handle; }

private:
    ControlHandle m_handle = nullptr;
};

void Check(benchmark::State& state, HRESULT hr, const char* what) {
    if (FAILED(hr)) {
        state.SkipWithError(what);
    }
}

// --- Property-store route: a scalar -----------------------------------------------------------

void BM_ApoScalarSet(benchmark::State& state) {
    if (!LoadMachine(state, 1)) {
        return;
    }
    Handle handle(state);
    LONG value = 0;
    AllocationCount allocations;
    for (auto _ : state) {
        ++value;
        Check(state, SetVexParam(handle.Get(), 1101, &value, sizeof value, VEX_ROUTE_APO),
              "SetVexParam");
    }
    allocations.Report(state);
}

void BM_RawStoreScalarSet(benchmark::State& state) {
    if (!LoadMachine(state, 1)) {
        return;
    }
    ComPtr<IPropertyStore> store = Store();
    PROPVARIANT value;
    PropVariantInit(&value);
    value.vt = VT_I4;
    AllocationCount allocations;
    for (auto _ : state) {
        ++value.lVal;
        Check(state, store->SetValue(kGainKey, value), "IPropertyStore::SetValue");
    }
    allocations.Report(state);
}

void BM_ApoScalarGet(benchmark::State& state) {
    if (!LoadMachine(state, 1)) {
        return;
    }
    Handle handle(state);
    LONG value = 5;
    SetVexParam(handle.Get(), 1101, &value, sizeof value, VEX_ROUTE_APO);
    AllocationCount allocations;
    for (auto _ : state) {
        ULONG size = sizeof value;
        Check(state, GetVexParam(handle.Get(), 1101, &value, &size, VEX_ROUTE_APO), "GetVexParam");
        benchmark::DoNotOptimize(value);
    }
    allocations.Report(state);
}

void BM_RawStoreScalarGet(benchmark::State& state) {
    if (!LoadMachine(state, 1)) {
        return;
    }
    ComPtr<IPropertyStore> store = Store();
    PROPVARIANT initial;
    PropVariantInit(&initial);
    initial.vt = VT_I4;
    initial.lVal = 5;
    store->SetValue(kGainKey, initial);
    AllocationCount allocations;
    for (auto _ : state) {
        ScopedPropVariant value;
        Check(state, store->GetValue(kGainKey, value.Receive()), "IPropertyStore::GetValue");
        benchmark::DoNotOptimize(value.Get().lVal);
    }
    allocations.Report(state);
}

// --- Property-store route: vex_audio_optimizer_bands, 884 bytes in, 232 words stored ---------

std::vector<int32_t> BandsCaller() {
    std::vector<int32_t> words(221);
    for (size_t i = 0; i < words.size(); ++i) {
        words[i] = static_cast<int32_t>(i);
    }
    return words;
}

// The stored form: n, then 11 blocks of 20 words, each behind the word 20.
std::vector<int32_t> BandsStored() {
    const std::vector<int32_t> caller = BandsCaller();
    std::vector<int32_t> words{caller[0]};
    for (int block = 0; block < 11; ++block) {
        words.push_back(20);
        words.insert(words.end(), caller.begin() + 1 + 20 * block,
                     caller.begin() + 1 + 20 * (block + 1));
    }
    return words;
}

void BM_ApoStructuredRoundTrip(benchmark::State& state) {
    if (!LoadMachine(state, 1)) {
        return;
    }
    Handle handle(state);
    std::vector<int32_t> words = BandsCaller();
    std::vector<int32_t> back(words.size());
    AllocationCount allocations;
    for (auto _ : state) {
        Check(state, SetVexParam(handle.Get(), 1119, words.data(), 884, VEX_ROUTE_APO),
              "SetVexParam");
        ULONG size = 884;
        Check(state, GetVexParam(handle.Get(), 1119, back.data(), &size, VEX_ROUTE_APO),
              "GetVexParam");
        benchmark::DoNotOptimize(back.data());
    }
    allocations.Report(state);
    if (back != words) {
        state.SkipWithError("the value read back differs");
    }
}

void BM_RawStoreStructuredRoundTrip(benchmark::State& state) {
    if (!LoadMachine(state, 1)) {
        return;
    }
    ComPtr<IPropertyStore> store = Store();
    std::vector<int32_t> stored = BandsStored();
    std::vector<int32_t> back(stored.size());
    PROPVARIANT value;
    PropVariantInit(&value);
    value.vt = VT_BLOB;
    value.blob.cbSize = static_cast<ULONG>(stored.size() * 4);
    value.blob.pBlobData = reinterpret_cast<BYTE*>(stored.data());
    AllocationCount allocations;
    for (auto _ : state) {
        Check(state, store->SetValue(kBandsKey, value), "IPropertyStore::SetValue");
        ScopedPropVariant read;
        Check(state, store->GetValue(kBandsKey, read.Receive()), "IPropertyStore::GetValue");
        if (read.Type() == VT_BLOB && read.Get().blob.cbSize == back.size() * 4) {
            std::memcpy(back.data(), read.Get().blob.pBlobData, back.size() * 4);
        }
        benchmark::DoNotOptimize(back.data());
    }
    allocations.Report(state);
}

// --- Open with many endpoints discovered ------------------------------------------------------

void BM_OpenClose(benchmark::State& state) {
    if (!LoadMachine(state, static_cast<int>(state.range(0)))) {
        return;
    }
    const WideText id = Wide(EndpointId(1));
    AllocationCount allocations;
    for (auto _ : state) {
        ControlHandle handle = nullptr;
        Check(state, OpenVexControl(&handle, id.c_str()), "OpenVexControl");
        Check(state, CloseVexControl(handle), "CloseVexControl");
    }
    allocations.Report(state);
}

// --- DSP route: a scalar set beside the pin-form request --------------------------------------

// Writes request bytes in order, little-endian, GUIDs in their binary layout.
class Bytes {
public:
    Bytes& U8(uint8_t value) {
        m_bytes.push_back(value);
        return *this;
    }
    Bytes& U32(uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            U8(static_cast<uint8_t>(value >> (8 * i)));
        }
        return *this;
    }
    Bytes& Guid(const GUID& guid) {
        U32(guid.Data1)
            .U8(static_cast<uint8_t>(guid.Data2))
            .U8(static_cast<uint8_t>(guid.Data2 >> 8));
        U8(static_cast<uint8_t>(guid.Data3)).U8(static_cast<uint8_t>(guid.Data3 >> 8));
        for (uint8_t b : guid.Data4) {
            U8(b);
        }
        return *this;
    }
    std::vector<uint8_t>& Get() { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

void BM_DspScalarSet(benchmark::State& state) {
    if (!LoadMachine(state, 1)) {
        return;
    }
    Handle handle(state);
    LONG value = 0;
    AllocationCount allocations;
    for (auto _ : state) {
        value = (value + 1) & 7;
        Check(state, SetVexParam(handle.Get(), 2103, &value, sizeof value, VEX_ROUTE_DSP),
              "SetVexParam");
    }
    allocations.Report(state);
}

void BM_RawKsScalarSet(benchmark::State& state) {
    if (!LoadMachine(state, 1)) {
        return;
    }
    ComPtr<IKsControl> control;
    if (ComPtr<IMMDevice> filter = Device(EndpointId(1) + "#wave")) {
        filter->Activate(Guids::kIidIKsControl, CLSCTX_ALL, nullptr, control.ReceiveVoid());
    }
    if (!control) {
        state.SkipWithError("no KS control on the wave filter");
        return;
    }
    // The vendor set's module parameter request (3), a set, on pin 1, addressed to the module,
    // for module parameter 20, then the flag byte.
    GUID module{};
    CLSIDFromString(Wide(kPinModule).c_str(), &module);
    Bytes property;
    property.Guid(VendorKs::kModuleSet)
        .U32(3)
        .U32(2)
        .U32(1)
        .U32(0)
        .Guid(VendorKs::kModuleAddress)
        .U32(2)
        .Guid(module)
        .U32(20)
        .U8(1);
    // The parameter block: its length, then the value, in the module's full-size buffer.
    std::vector<uint8_t> data(VendorKs::kParamBlockSize, 0);
    data[0] = 4;
    AllocationCount allocations;
    uint8_t value = 0;
    for (auto _ : state) {
        value = static_cast<uint8_t>((value + 1) & 7);
        data[4] = value;
        ULONG returned = 0;
        Check(state,
              control->KsProperty(reinterpret_cast<PKSPROPERTY>(property.Get().data()),
                                  static_cast<ULONG>(property.Get().size()), data.data(),
                                  static_cast<ULONG>(data.size()), &returned),
              "IKsControl::KsProperty");
    }
    allocations.Report(state);
}

// --- The summary ------------------------------------------------------------------------------

struct Measured {
    double nanoseconds = 0;
    double allocs = 0;
    double bytes = 0;
};

// Reports as the console does and keeps each run's time and counters for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration) {
                continue;
            }
            Measured& m = results[run.benchmark_name()];
            m.nanoseconds = run.GetAdjustedRealTime();
            const auto count = [&](const char* name) {
                const auto it = run.counters.find(name);
                return it == run.counters.end() ? 0.0 : it->second.value;
            };
            m.allocs = count("allocs");
            m.bytes = count("bytes");
        }
    }
    std::map<std::string, Measured> results;
};

bool Ratio(const SummaryReporter& reporter, const char* label, const std::string& measured,
           const std::string& baseline, double target) {
    const auto a = reporter.results.find(measured);
    const auto b = reporter.results.find(baseline);
    if (a == reporter.results.end() || b == reporter.results.end() || b->second.nanoseconds <= 0) {
        std::printf("%-44s   not measured                     MISS\n", label);
        return false;
    }
    const double ratio = a->second.nanoseconds / b->second.nanoseconds;
    const bool pass = ratio <= target;
    std::printf("%-44s %7.2fx (target <= %.1fx)  %s\n", label, ratio, target,
                pass ? "pass" : "MISS");
    return pass;
}

void Memory(const SummaryReporter& reporter, const char* label, const std::string& name) {
    const auto it = reporter.results.find(name);
    if (it != reporter.results.end()) {
        std::printf("%-44s %9.0f ns %6.1f allocs %9.0f bytes per call\n", label,
                    it->second.nanoseconds, it->second.allocs, it->second.bytes);
    }
}

}  // namespace

BENCHMARK(BM_ApoScalarSet);
BENCHMARK(BM_RawStoreScalarSet);
BENCHMARK(BM_ApoScalarGet);
BENCHMARK(BM_RawStoreScalarGet);
BENCHMARK(BM_ApoStructuredRoundTrip);
BENCHMARK(BM_RawStoreStructuredRoundTrip);
BENCHMARK(BM_OpenClose)->Arg(8)->Arg(64);
BENCHMARK(BM_DspScalarSet);
BENCHMARK(BM_RawKsScalarSet);

int main(int argc, char** argv) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        std::fprintf(stderr, "COM could not be initialised\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    vexsim_Reset();
    vexsim_Unregister();
    CoUninitialize();

    std::printf("\nRatios (library / raw platform call, logging off):\n");
    bool pass = true;
    pass &= Ratio(reporter, "scalar set, property store", "BM_ApoScalarSet", "BM_RawStoreScalarSet",
                  1.5);
    pass &= Ratio(reporter, "scalar get, property store", "BM_ApoScalarGet", "BM_RawStoreScalarGet",
                  1.5);
    pass &= Ratio(reporter, "structured 1119 round trip, property store",
                  "BM_ApoStructuredRoundTrip", "BM_RawStoreStructuredRoundTrip", 2.0);
    pass &= Ratio(reporter, "open and close, 64 endpoints / 8", "BM_OpenClose/64", "BM_OpenClose/8",
                  8.5);
    pass &=
        Ratio(reporter, "DSP scalar set, pin form", "BM_DspScalarSet", "BM_RawKsScalarSet", 2.0);
    std::printf("\nTime and memory per call (operator new):\n");
    for (const char* name :
         {"BM_ApoScalarSet", "BM_RawStoreScalarSet", "BM_ApoScalarGet", "BM_RawStoreScalarGet",
          "BM_ApoStructuredRoundTrip", "BM_RawStoreStructuredRoundTrip", "BM_OpenClose/8",
          "BM_OpenClose/64", "BM_DspScalarSet", "BM_RawKsScalarSet"}) {
        Memory(reporter, name, name);
    }
    std::printf("\n%s\n", pass ? "All targets met." : "Some targets missed.");
    return pass ? 0 : 2;
}
