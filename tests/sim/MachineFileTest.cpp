// Machine files: errors that name the JSON path at fault, a failed load
// that leaves the current machine whole, the dump, and reset.
#include "support/SimObjects.h"

using simtest::Loaded;
using SimMachineFile = simtest::SimTest;

TEST_F(SimMachineFile, WrongContentNamesTheJsonPath) {
    struct Case {
        const char* json;
        const char* message;
    };
    // clang-format off
    const Case cases[] = {
        {"{\n  \"endpoints\": [\n    {\"id\": \"a\",}\n  ]\n}", "$: JSON parse error at line 3, "},
        {R"([])", "$: expected an object, found an array"},
        {R"({"endpoints": [{"id": "a"}, {"id": "b", "flow": "sideways"}]})", "$.endpoints[1].flow: unknown data flow \"sideways\""},
        {R"({"endpoints": [{"id": "a"}, {"id": "a"}]})", "$.endpoints[1].id: another endpoint has the same id"},
        {R"({"endpoints": [{"id": "a", "default": true}, {"id": "b", "default": ["console"]}]})", "$.endpoints[1].default: another render endpoint is already the default"},
        {R"({"endpoints": [{"id": "a", "properties": {"{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E}": 1}}]})", "$.endpoints[0].properties[\"{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E}\"]: not a property key"},
        {R"({"endpoints": [{"id": "a", "properties": {"{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},0": 1}}]})", "$.endpoints[0].properties[\"{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},0\"]: expected a typed value"},
        {R"({"endpoints": [{"id": "a", "properties": {"{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},0": {"type": "VT_UI4", "value": -1}}}]})", ",0\"].value: integer out of range"},
        {R"({"endpoints": [{"id": "a", "properties": {"{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},0": {"type": "VT_BLOB", "bytes": [1], "words": [1]}}}]})", "exactly one of \"bytes\" and \"words\""},
        {R"({"endpoints": [{"id": "a", "readWriteResult": "S_OK"}]})", "$.endpoints[0].readWriteResult: must be a failure code"},
        {R"({"filters": [{"id": ""}]})", "$.filters[0].id: a filter id cannot be empty"},
    };
    // clang-format on
    for (const Case& c : cases) {
        EXPECT_EQ(-1, vexsim_LoadMachineJson(c.json)) << c.json;
        const std::string error = vexsim_LastError();
        EXPECT_NE(std::string::npos, error.find(c.message)) << error << "\nwanted: " << c.message;
    }
}

TEST_F(SimMachineFile, BadFileIsNamedWithThePathAtFault) {
    // Not a shipped machine: it lies with the tests.
    std::string path = VEX_SOURCE_DIR "/tests/support/machines/broken-fault.json";
#ifdef _WIN32
    path = "Z:" + path;  // Wine maps the Linux root to drive Z:
#endif
    EXPECT_EQ(-1, vexsim_LoadMachineFile(path.c_str()));
    const std::string error = vexsim_LastError();
    EXPECT_EQ(
        0u,
        error.find(path + ": $.faults[1].method: unknown method \"IMMDevice::OpenPropertyStre\""))
        << error;

    const std::string missing = std::string(vexsim_MachinesDirectory()) + "/no-such-machine.json";
    EXPECT_EQ(-1, vexsim_LoadMachineFile(missing.c_str()));
    EXPECT_NE(std::string::npos,
              std::string(vexsim_LastError()).find(missing + ": cannot open the file"))
        << vexsim_LastError();
}

TEST_F(SimMachineFile, FailedLoadLeavesTheCurrentMachineWhole) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("wrapper-effect")));
    const std::string before = vexsim_DumpJson();
    EXPECT_NE(std::string::npos, before.find("\"fx\": {")) << "the dump writes the fx store";

    // Valid up to its last fault: endpoints and registry values that must not appear.
    EXPECT_EQ(-1, vexsim_LoadMachineJson(R"({
        "endpoints": [{"id": "other", "default": true}],
        "registry": {"SOFTWARE\\VexSimHalfLoaded": {"Value": "x"}},
        "faults": [{"method": "IMMDevice::GetId", "result": "E_FAIL"}, {"method": "Nope", "result": "E_FAIL"}]})"));
    EXPECT_EQ(before, std::string(vexsim_DumpJson()));

    ComPtr<IMMDeviceEnumerator> enumerator = Enumerator();
    ASSERT_TRUE(enumerator);
    ComPtr<IMMDevice> device;
    EXPECT_HR(HRESULT_FROM_WIN32(ERROR_NOT_FOUND),
              enumerator->GetDevice(TEXT("other"), device.Receive()));
    ASSERT_HR(S_OK, enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.Receive()));
    ScopedCoMem<WCHAR> id;
    ASSERT_HR(S_OK, device->GetId(id.Receive())) << "the refused machine's fault is not active";
    EXPECT_EQ(WString(TEXT("{0.0.0.00000000}.{44444444-0000-0000-0000-000000000001}")),
              WString(id.Get()));

    HKEY key = nullptr;
    EXPECT_EQ(
        ERROR_FILE_NOT_FOUND,
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\VexSimHalfLoaded"), 0, KEY_READ, &key));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Tembra\\Wrapper\\"),
                                           0, KEY_READ, &key))
        << "the current machine's registry values stay";
    RegCloseKey(key);
}

TEST_F(SimMachineFile, DumpLoadsBackAsTheSameMachine) {
    const std::pair<const char*, const char*> machines[] = {{"default", "disabled"},
                                                            {"wrapper-effect", "active"},
                                                            {"no-default-render", "unplugged"},
                                                            {"read-only-store", "active"}};
    for (const auto& [name, state] : machines) {
        ASSERT_TRUE(Loaded(vexsim_LoadMachine(name))) << name;
        ASSERT_TRUE(Loaded(vexsim_AddFaults(R"([
            {"method": "IPropertyStore::GetValue", "key": "{DD0DF94B-53A2-4A92-854E-91F42E28FD7B},0", "call": 3,
             "result": "S_FALSE"},
            {"method": "IKsControl::KsProperty", "request": "moduleList", "sizeQuery": false,
             "answer": {"bytes": "0800", "returned": 8, "length": 8, "count": 0}}])")))
            << vexsim_LastError();
        const std::string first = vexsim_DumpJson();
        EXPECT_NE(std::string::npos, first.find("\"bytes\": \"0800\"")) << first;
        EXPECT_NE(std::string::npos, first.find("\"sizeQuery\": false")) << first;
        EXPECT_NE(std::string::npos, first.find("\"state\": \"" + std::string(state))) << name;
        ASSERT_TRUE(Loaded(vexsim_LoadMachineJson(first.c_str()))) << name;
        EXPECT_EQ(first, std::string(vexsim_DumpJson())) << name;
    }
}

TEST_F(SimMachineFile, ResetLeavesAnEmptyMachine) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("default")));
    ComPtr<IMMDeviceEnumerator> enumerator = Enumerator();
    ASSERT_TRUE(enumerator);
    vexsim_Reset();

    ComPtr<IMMDevice> device;
    EXPECT_HR(HRESULT_FROM_WIN32(ERROR_NOT_FOUND),
              enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.Receive()));
    EXPECT_EQ(std::string("{\n  \"endpoints\": [],\n  \"registry\": {},\n  \"faults\": []\n}\n"),
              std::string(vexsim_DumpJson()));
    EXPECT_EQ(0ul, vexsim_CallCount("CoCreateInstance")) << "reset starts the counts again";
    EXPECT_EQ(1ul, vexsim_CallCount("IMMDeviceEnumerator::GetDefaultAudioEndpoint"));
}
