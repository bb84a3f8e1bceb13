#include "common/ObjectCounter.h"

#include <atomic>
#include <map>
#include <mutex>

namespace vexsim {

namespace {

struct Counts {
    std::atomic<long> live{0};
    std::atomic<long> references{0};
    std::mutex lock;
    std::map<std::string, long> byKind;
};

Counts& TheCounts() {
    static Counts* counts = new Counts();  // outlives every object, whenever it is released
    return *counts;
}

}  // namespace

void ObjectCounter::Created(const char* kind) {
    ++TheCounts().live;
    std::lock_guard<std::mutex> guard(TheCounts().lock);
    ++TheCounts().byKind[kind];
}

void ObjectCounter::Destroyed(const char* kind) {
    --TheCounts().live;
    std::lock_guard<std::mutex> guard(TheCounts().lock);
    --TheCounts().byKind[kind];
}

void ObjectCounter::Referenced() {
    ++TheCounts().references;
}

void ObjectCounter::Unreferenced() {
    --TheCounts().references;
}

long ObjectCounter::Live() {
    return TheCounts().live.load();
}

long ObjectCounter::LiveOf(const std::string& kind) {
    std::lock_guard<std::mutex> guard(TheCounts().lock);
    auto it = TheCounts().byKind.find(kind);
    return it != TheCounts().byKind.end() ? it->second : 0;
}

long ObjectCounter::References() {
    return TheCounts().references.load();
}

}  // namespace vexsim
