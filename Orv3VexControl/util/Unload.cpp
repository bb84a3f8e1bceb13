#include "Unload.h"

#include <atomic>

namespace Util {
namespace {
std::atomic<bool> Terminating{false};
}  // namespace

bool ProcessTerminating() {
    return Terminating.load();
}

void MarkProcessTerminating() {
    Terminating.store(true);
}

}  // namespace Util
