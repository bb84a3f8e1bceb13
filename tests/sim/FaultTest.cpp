// Injected faults: by method, by call number, by property key, access mode and class, success
// codes other than S_OK, and the call counts that go with them.
#include "support/SimObjects.h"

using simtest::Loaded;

namespace {

class SimFaults : public simtest::SimTest {};

const WCHAR* const kSpeaker = TEXT("{0.0.0.00000000}.{11111111-0000-0000-0000-000000000001}");

}  // namespace

TEST_F(SimFaults, FromNthCallOnEveryLaterCallFails) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachineJson(R"({
        "endpoints": [{"id": "speaker", "default": true}],
        "faults": [{"method": "IMMDevice::GetId", "endpoint": "speaker", "from": 2, "result": "0x8889000A"}]})")));
    ComPtr<IMMDevice> device = Device(TEXT("speaker"));
    ASSERT_TRUE(device);
    ScopedCoMem<WCHAR> id;
    EXPECT_HR(S_OK, device->GetId(id.Receive()));
    EXPECT_HR(static_cast<HRESULT>(0x8889000A), device->GetId(id.Receive()));
    EXPECT_EQ(nullptr, id.Get());
    EXPECT_HR(static_cast<HRESULT>(0x8889000A), device->GetId(id.Receive()));
}

TEST_F(SimFaults, SuccessCodeIsReturnedWithTheValue) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachineJson(R"({
        "endpoints": [{"id": "speaker", "default": true, "properties": {
            "{DD0DF94B-53A2-4A92-854E-91F42E28FD7B},0": {"type": "VT_UI4", "value": 2}}}],
        "faults": [{"method": "IPropertyStore::GetValue", "key": "{DD0DF94B-53A2-4A92-854E-91F42E28FD7B},0",
                    "result": "S_FALSE"}]})")));
    ComPtr<IPropertyStore> store = Store(TEXT("speaker"), STGM_READ);
    ASSERT_TRUE(store);
    ScopedPropVariant value;
    EXPECT_HR(S_FALSE, store->GetValue(simtest::kOverrideKey, value.Receive()));
    EXPECT_EQ(VT_UI4, value.Type());
    EXPECT_EQ(2u, value.Get().ulVal);
}

TEST_F(SimFaults, AccessFilterFailsTheWritableOpenOnly) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("single-speaker")));
    ASSERT_TRUE(
        Loaded(vexsim_AddFaults(R"({"method": "IMMDevice::OpenPropertyStore", "access": "readwrite",
        "result": "E_ACCESSDENIED"})")));
    ComPtr<IMMDevice> device = Device(kSpeaker);
    ASSERT_TRUE(device);
    ComPtr<IPropertyStore> store;
    EXPECT_HR(E_ACCESSDENIED, device->OpenPropertyStore(STGM_READWRITE, store.Receive()));
    EXPECT_FALSE(store);
    EXPECT_HR(S_OK, device->OpenPropertyStore(STGM_READ, store.Receive()));
    EXPECT_TRUE(store);
    EXPECT_EQ(2ul, vexsim_CallCount("IMMDevice::OpenPropertyStore"));
}

TEST_F(SimFaults, DefaultEndpointLookupFailsForOneFlowAndRole) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("default")));
    ASSERT_TRUE(
        Loaded(vexsim_AddFaults(R"({"method": "IMMDeviceEnumerator::GetDefaultAudioEndpoint",
        "flow": "render", "role": "console", "result": "E_UNEXPECTED"})")));
    ComPtr<IMMDeviceEnumerator> enumerator = Enumerator();
    ASSERT_TRUE(enumerator);
    ComPtr<IMMDevice> device;
    EXPECT_HR(E_UNEXPECTED,
              enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.Receive()));
    EXPECT_HR(S_OK, enumerator->GetDefaultAudioEndpoint(eRender, eMultimedia, device.Receive()));
    EXPECT_HR(S_OK, enumerator->GetDefaultAudioEndpoint(eCapture, eConsole, device.Receive()));
}

TEST_F(SimFaults, QueryInterfaceFailsForOneInterface) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("single-speaker")));
    ASSERT_TRUE(Loaded(vexsim_AddFaults(
        R"({"method": "IMMDevice::QueryInterface", "iid": "IMMEndpoint", "result": "E_NOINTERFACE"})")));
    ComPtr<IMMDevice> device = Device(kSpeaker);
    ASSERT_TRUE(device);
    ComPtr<IMMEndpoint> endpoint;
    EXPECT_HR(E_NOINTERFACE, device.QueryInterface(simtest::kIidEndpoint, &endpoint));
    EXPECT_FALSE(endpoint);
    ComPtr<IMMDevice> same;
    EXPECT_HR(S_OK, device.QueryInterface(simtest::kIidDevice, &same));
}

TEST_F(SimFaults, WrongFaultsAreRefusedWholeWithThePathAtFault) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("single-speaker")));
    struct Case {
        const char* json;
        const char* message;
    };
    const Case cases[] = {
        {R"([{"method": "IMMDevice::GetId", "result": "E_FAIL"},
             {"method": "IMMDevice::GetId", "key": "{1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},0", "result": "E_FAIL"}])",
         "$[1].key: IMMDevice::GetId has no property key to filter on"},
        {R"({"method": "IMMDevice::GetId", "endpoint": "nobody", "result": "E_FAIL"})",
         "$.endpoint: no endpoint of the machine has the id \"nobody\""},
        {R"({"method": "IMMDevice::GetId", "result": "0x1234567890"})",
         "$.result: not a result code"},
        {R"({"method": "IMMDevice::GetId"})", "$: a fault needs \"result\""},
        {R"({"method": "IMMDevice::GetId", "result": "E_FAIL", "call": 1, "from": 2})", "not both"},
        {R"({"method": "IMMDevice::GetId", "result": "E_FAIL", "call": 0})",
         "$.call: integer out of range"},
        {R"({"method": "GetId", "result": "E_FAIL"})", "$.method: unknown method \"GetId\""},
        {R"({"method": "IMMDevice::GetId", "result": "E_FAIL", "times": 2})",
         "$.times: unknown member"},
        {R"({"method": "IMMDevice::GetId", "answer": {"returned": 1}})",
         "$.answer: IMMDevice::GetId sends no kernel-streaming request"},
        {R"({"method": "IKsControl::KsProperty", "answer": {}})", "$.answer: an answer needs"},
        {R"({"method": "IKsControl::KsProperty", "request": "interfaceVersion", "answer": {"count": 0}})",
         "$.answer.count: only the answers of"},
        {R"({"method": "IKsControl::KsProperty", "answer": {"length": 0}})",
         "$.answer.length: only the answers of"},
        {R"({"method": "IKsControl::KsProperty", "request": "moduleParam", "direction": "set", "answer": {"bytes": "00"}})",
         "$.answer: a set request's data buffer is the caller's"},
        {R"({"method": "IKsControl::KsProperty", "answer": {"bytes": "123"}})",
         "$.answer.bytes: expected hexadecimal digits"},
        {R"({"method": "IKsControl::KsProperty", "answer": {"size": 1}})", "$.answer"},
        {R"({"method": "*", "endpoint": "speaker", "result": "E_FAIL"})", ""},
        {R"({"method": "IPart::GetName", "request": "moduleList", "result": "E_FAIL"})",
         "has no kernel-streaming request"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(-1, vexsim_AddFaults(c.json)) << c.json;
        const std::string error = vexsim_LastError();
        EXPECT_NE(std::string::npos, error.find(c.message)) << error;
    }
    ComPtr<IMMDevice> device = Device(kSpeaker);
    ASSERT_TRUE(device);
    ScopedCoMem<WCHAR> id;
    EXPECT_HR(S_OK, device->GetId(id.Receive()))
        << "the valid fault of a refused list was not added";
}

TEST_F(SimFaults, AnyMethodFaultHitsTheNthCallWhateverTheMethod) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("single-speaker")));
    ComPtr<IMMDeviceEnumerator> enumerator = Enumerator();
    ASSERT_TRUE(enumerator);
    const unsigned long before = vexsim_CallCount("*");
    // Counted from the moment it is added: the second call from now fails, whatever it is.
    ASSERT_TRUE(
        Loaded(vexsim_AddFaults(R"({"method": "*", "call": 2, "result": "E_OUTOFMEMORY"})")));
    ComPtr<IMMDevice> device;
    ASSERT_HR(S_OK, enumerator->GetDevice(kSpeaker, device.Receive()));
    ScopedCoMem<WCHAR> id;
    EXPECT_HR(E_OUTOFMEMORY, device->GetId(id.Receive()));
    EXPECT_EQ(nullptr, id.Get());
    EXPECT_HR(S_OK, device->GetId(id.Receive()));
    EXPECT_EQ(before + 3, vexsim_CallCount("*"));
    EXPECT_EQ(2ul, vexsim_CallCount("IMMDevice::GetId"));
}
