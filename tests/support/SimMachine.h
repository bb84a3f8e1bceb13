// Library tests against the simulated audio system: a fixture with COM, the built library
// loaded as a host loads it, a machine, and the machine's dump to check what was written.
#pragma once

#include "support/LibraryLoader.h"
#include "support/MachineDump.h"
#include "support/TestSupport.h"
#include "support/TraceCapture.h"

#include <nlohmann/json.hpp>
#include <vexsim.h>

#include <string>

namespace vextest {

inline ::testing::AssertionResult SimLoaded(int result) {
    if (result == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "machine not loaded: " << vexsim_LastError();
}

// The current machine as the simulator dumps it.
inline nlohmann::json SimDump() {
    return nlohmann::json::parse(vexsim_DumpJson());
}

// COM on the test's thread, the library loaded, and at the end: the library unloaded, and
// every simulator object it took released.
class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(m_com.Result()));
        ASSERT_TRUE(m_library.Loaded()) << "the built library could not be loaded";
        m_baseline = vexsim_LiveObjectCount();
    }
    void TearDown() override {
        m_library.Unload();
        EXPECT_EQ(m_baseline, vexsim_LiveObjectCount())
            << "simulator objects still alive after the library was unloaded";
        vexsim_Reset();
        vexsim_Unregister();
    }

    void Load(const char* machine) { ASSERT_TRUE(SimLoaded(vexsim_LoadMachine(machine))); }
    void LoadJson(const std::string& json) {
        ASSERT_TRUE(SimLoaded(vexsim_LoadMachineJson(json.c_str())));
    }

    ControlHandle OpenOrFail(const WCHAR* endpointId) {
        ControlHandle handle = nullptr;
        const HRESULT hr = m_library.Open(&handle, endpointId);
        EXPECT_TRUE(SUCCEEDED(hr)) << "OpenVexControl gave " << Hex(hr);
        return handle;
    }

    ComApartment m_com;
    VexLibrary m_library;
    long m_baseline = 0;
};

inline PROPVARIANT Int32Value(LONG value) {
    PROPVARIANT v;
    PropVariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

}  // namespace vextest
