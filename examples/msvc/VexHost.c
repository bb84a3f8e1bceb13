/*
 * A host of Orv3VexControl built the way a Visual Studio project builds one: a C program with
 * no C runtime, compiled by clang for x86_64-pc-windows-msvc and linked by lld-link against
 * Orv3VexControl.lib and the system's kernel32 and ole32 import libraries
 * (scripts/msvc-host.sh). It loads the simulated machine "default" through vexsim.dll, opens the
 * default render endpoint, sets the low-latency system gain on the endpoint-effect route and on
 * the DSP route and reads it back on each, closes the handle and exits with 0, or with 1 after
 * printing the call that failed.
 *
 * Without the Windows SDK's headers the program declares the few system functions it calls
 * itself, with the types they have on 64-bit Windows.
 */
#include "VexExports.h"

#define STD_OUTPUT_HANDLE ((unsigned long)-11)
#define COINIT_APARTMENTTHREADED 0x2ul

__declspec(dllimport) void* __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* buffer, unsigned long size,
                                              unsigned long* written, void* overlapped);
__declspec(dllimport) void* __stdcall LoadLibraryW(const wchar_t* name);
__declspec(dllimport) void* __stdcall GetProcAddress(void* module, const char* name);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned int code);
__declspec(dllimport) long __stdcall CoInitializeEx(void* reserved, unsigned long model);
__declspec(dllimport) void __stdcall CoUninitialize(void);

/* The low-latency system gain: a 32-bit word that both routes keep. */
#define SYSTEM_GAIN 2103

static void Print(const char* text) {
    unsigned long length = 0;
    while (text[length] != '\0') {
        ++length;
    }
    unsigned long written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, length, &written, NULL);
}

static void PrintNumber(unsigned long value, unsigned int base) {
    char digits[24];
    int at = (int)sizeof digits - 1;
    digits[at] = '\0';
    do {
        digits[--at] = "0123456789abcdef"[value % base];
        value /= base;
    } while (value != 0);
    Print(digits + at);
}

/* True for a success; a failure is printed with its code. */
static int Check(long result, const char* what) {
    if (result >= 0) {
        return 1;
    }
    Print("vexhost: ");
    Print(what);
    Print(" failed: 0x");
    PrintNumber((unsigned long)result, 16);
    Print("\n");
    return 0;
}

static int SetAndReadBack(ControlHandle handle, unsigned long route, long value) {
    long read = 0;
    unsigned long size = sizeof read;
    if (!Check(SetVexParam(handle, SYSTEM_GAIN, &value, sizeof value, route), "SetVexParam") ||
        !Check(GetVexParam(handle, SYSTEM_GAIN, &read, &size, route), "GetVexParam")) {
        return 0;
    }
    Print(route == VEX_ROUTE_APO ? "endpoint effect" : "DSP module");
    Print(": parameter 2103 set to ");
    PrintNumber((unsigned long)value, 10);
    Print(", read back ");
    PrintNumber((unsigned long)read, 10);
    Print("\n");
    return size == sizeof read && read == value;
}

static int Run(void) {
    ControlHandle handle = NULL;
    if (!Check(OpenVexControl(&handle, NULL), "OpenVexControl")) {
        return 0;
    }
    int ok = SetAndReadBack(handle, VEX_ROUTE_APO, 6) && SetAndReadBack(handle, VEX_ROUTE_DSP, 9);
    return Check(CloseVexControl(handle), "CloseVexControl") && ok;
}

/* The program's entry point (lld-link /entry): there is no C runtime to call a main. */
void VexHostMain(void) {
    if (!Check(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED), "CoInitializeEx")) {
        ExitProcess(1);
    }
    /* The simulator's C API, from vexsim.dll on the DLL search path. */
    void* simulator = LoadLibraryW(L"vexsim.dll");
    const char* (*machinesDirectory)(void) =
        simulator ? (const char* (*)(void))GetProcAddress(simulator, "vexsim_MachinesDirectory")
                  : NULL;
    int (*loadMachine)(const char*) =
        simulator ? (int (*)(const char*))GetProcAddress(simulator, "vexsim_LoadMachine") : NULL;
    void (*unregister)(void) =
        simulator ? (void (*)(void))GetProcAddress(simulator, "vexsim_Unregister") : NULL;
    int ok = machinesDirectory && loadMachine && unregister;
    if (ok) {
        Print("machines: ");
        Print(machinesDirectory());
        Print("\n");
        ok = loadMachine("default") == 0;
    }
    if (!ok) {
        Print("vexhost: the simulated machine \"default\" cannot be loaded\n");
    }
    ok = ok && Run();
    if (unregister) {
        unregister();
    }
    CoUninitialize();
    Print(ok ? "done\n" : "failed\n");
    ExitProcess(ok ? 0 : 1);
}
