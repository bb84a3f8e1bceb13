// Counts of the simulator's live COM objects and of the references held on them.
#pragma once

#include <string>

namespace vexsim {

class ObjectCounter {
public:
    static void Created(const char* kind);
    static void Destroyed(const char* kind);
    static void Referenced();
    static void Unreferenced();

    static long Live();
    static long LiveOf(const std::string& kind);
    static long References();
};

}  // namespace vexsim
