// A host of Orv3VexControl: opens the default render endpoint, reads the versions of the two
// effects, sets a parameter and reads it back on each route, and closes the handle.
//
// Built with VEX_EXAMPLE_SIMULATOR it loads the simulated machine "default" first, so that it
// runs without the product's audio hardware.
#include <Orv3VexControl.h>

#ifdef VEX_EXAMPLE_SIMULATOR
#include <vexsim.h>
#endif

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The low-latency system gain: a 32-bit word that the endpoint effect (route 1) and the DSP
// module (route 2) both keep.
constexpr LONG kSystemGain = 2103;

bool Check(HRESULT hr, const char* what) {
    if (FAILED(hr)) {
        std::fprintf(stderr, "vexexample: %s failed: 0x%08lx\n", what,
                     static_cast<unsigned long>(hr));
        return false;
    }
    return true;
}

// The version text of 1001 or 2001: asked with a small buffer first, then with the size the
// library says it needs.
bool PrintVersion(ControlHandle handle, LONG id) {
    std::vector<WCHAR> text(8);
    ULONG size = static_cast<ULONG>(text.size() * sizeof(WCHAR));
    HRESULT hr = GetVexParam(handle, id, text.data(), &size, VEX_ROUTE_APO);
    if (hr == E_INVALIDARG && size > text.size() * sizeof(WCHAR)) {
        text.resize(size / sizeof(WCHAR));
        hr = GetVexParam(handle, id, text.data(), &size, VEX_ROUTE_APO);
    }
    if (!Check(hr, id == VEX_PARAM_MAIN_VERSION ? "reading the main effect's version"
                                                : "reading the low-latency effect's version")) {
        return false;
    }
    std::string printable;
    for (size_t i = 0; i < text.size() && text[i] != 0; ++i) {
        printable += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    }
    std::printf("version %ld: \"%s\"\n", static_cast<long>(id), printable.c_str());
    return true;
}

// Sets the parameter on one route and reads it back there.
bool SetAndReadBack(ControlHandle handle, ULONG route, LONG value) {
    const char* name = route == VEX_ROUTE_APO ? "endpoint effect" : "DSP module";
    if (!Check(SetVexParam(handle, kSystemGain, &value, sizeof value, route), "a set")) {
        return false;
    }
    LONG read = 0;
    ULONG size = sizeof read;
    if (!Check(GetVexParam(handle, kSystemGain, &read, &size, route), "a get")) {
        return false;
    }
    std::printf("%s: parameter %ld set to %ld, read back %ld\n", name,
                static_cast<long>(kSystemGain), static_cast<long>(value), static_cast<long>(read));
    if (size != sizeof read || read != value) {
        std::fprintf(stderr, "vexexample: the %s gave back another value\n", name);
        return false;
    }
    return true;
}

bool Run() {
    ControlHandle handle = nullptr;
    const HRESULT opened = OpenVexControl(&handle, nullptr);
    if (!Check(opened, "opening the default endpoint")) {
        return false;
    }
    if (opened == S_FALSE) {
        std::printf("the endpoint's store opened for reading only\n");
    }
    bool ok = PrintVersion(handle, VEX_PARAM_MAIN_VERSION) &&
              PrintVersion(handle, VEX_PARAM_LOW_LATENCY_VERSION) &&
              SetAndReadBack(handle, VEX_ROUTE_APO, 6) && SetAndReadBack(handle, VEX_ROUTE_DSP, 9);
    ok = Check(CloseVexControl(handle), "closing the handle") && ok;
    return ok;
}

}  // namespace

int main() {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (!Check(com, "CoInitializeEx")) {
        return 1;
    }
    bool ok = true;
#ifdef VEX_EXAMPLE_SIMULATOR
    std::printf("machines: %s\n", vexsim_MachinesDirectory());
    if (vexsim_LoadMachine("default") != 0) {
        std::fprintf(stderr, "vexexample: the simulated machine: %s\n", vexsim_LastError());
        ok = false;
    }
#endif
    ok = ok && Run();
#ifdef VEX_EXAMPLE_SIMULATOR
    vexsim_Unregister();
#endif
    CoUninitialize();
    std::printf("%s\n", ok ? "done" : "failed");
    return ok ? 0 : 1;
}
