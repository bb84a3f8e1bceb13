// Injected faults: by method, by call number, access mode, flow and role, interface, and the call
// counts that go with them (the library's tests narrow faults by property key and success code).
#include "support/SimObjects.h"

#include <functional>
#include <vector>

using simtest::Loaded;

namespace {

class SimFaults : public simtest::SimTest {};

}  // namespace

// One row per fault added to the default machine: the calls made after it, and their answers.
TEST_F(SimFaults, FiltersChooseTheCallsThatFail) {
    ComPtr<IMMDeviceEnumerator> enumerator;
    ComPtr<IMMDevice> device;
    ScopedCoMem<WCHAR> id;
    ComPtr<IPropertyStore> store;
    ComPtr<IUnknown> other;
    const auto getId = [&] {
        const HRESULT hr = device->GetId(id.Receive());
        EXPECT_EQ(SUCCEEDED(hr), id.Get() != nullptr);
        return hr;
    };
    const auto open = [&](DWORD access) {
        return [&, access] {
            const HRESULT hr = device->OpenPropertyStore(access, store.Receive());
            EXPECT_EQ(SUCCEEDED(hr), static_cast<bool>(store));
            return hr;
        };
    };
    const auto byDefault = [&](EDataFlow flow, ERole role) {
        return [&, flow, role] {
            ComPtr<IMMDevice> found;
            return enumerator->GetDefaultAudioEndpoint(flow, role, found.Receive());
        };
    };
    const auto query = [&](REFIID iid) {
        return [&, iid] { return device.QueryInterface(iid, &other); };
    };
    const auto getDevice = [&] {
        return enumerator->GetDevice(simtest::kSpeakers, device.Receive());
    };
    const HRESULT kAudio = static_cast<HRESULT>(0x8889000A);
    const struct {
        const char* fault;
        std::vector<std::pair<std::function<HRESULT()>, HRESULT>> calls;
    } rows[] = {
        {R"({"method": "IMMDevice::GetId", "endpoint": "{0.0.0.00000000}.{6f1f6a2e-3c1b-4d59-9a51-0b7e2d1c4a01}", "from": 2, "result": "0x8889000A"})",
         {{getId, S_OK}, {getId, kAudio}, {getId, kAudio}}},
        {R"({"method": "IMMDevice::OpenPropertyStore", "access": "readwrite", "result": "E_ACCESSDENIED"})",
         {{open(STGM_READWRITE), E_ACCESSDENIED}, {open(STGM_READ), S_OK}}},
        {R"({"method": "IMMDeviceEnumerator::GetDefaultAudioEndpoint", "flow": "render", "role": "console", "result": "E_UNEXPECTED"})",
         {{byDefault(eRender, eConsole), E_UNEXPECTED},
          {byDefault(eRender, eMultimedia), S_OK},
          {byDefault(eCapture, eConsole), S_OK}}},
        {R"({"method": "IMMDevice::QueryInterface", "iid": "IMMEndpoint", "result": "E_NOINTERFACE"})",
         {{query(simtest::kIidEndpoint), E_NOINTERFACE}, {query(simtest::kIidDevice), S_OK}}},
        // Counted from the moment it is added: the second call from now fails, whatever it is.
        {R"({"method": "*", "call": 2, "result": "E_OUTOFMEMORY"})",
         {{getDevice, S_OK}, {getId, E_OUTOFMEMORY}, {getId, S_OK}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fault);
        ASSERT_TRUE(Loaded(vexsim_LoadMachineJson(R"({"endpoints": [
            {"id": "{0.0.0.00000000}.{6f1f6a2e-3c1b-4d59-9a51-0b7e2d1c4a01}", "default": true},
            {"id": "mic", "flow": "capture", "default": true}]})")));
        enumerator = Enumerator();
        ASSERT_TRUE(enumerator);
        ASSERT_HR(S_OK, getDevice());
        ASSERT_TRUE(Loaded(vexsim_AddFaults(row.fault)));
        const unsigned long before = vexsim_CallCount("*");
        for (const auto& [call, expected] : row.calls) {
            EXPECT_HR(expected, call());
        }
        EXPECT_EQ(before + row.calls.size(), vexsim_CallCount("*")) << "each call counted once";
    }
}

TEST_F(SimFaults, WrongFaultsAreRefusedWholeWithThePathAtFault) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("default")));
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
        {R"({"method": "GetId", "result": "E_FAIL"})", "$.method: unknown method \"GetId\""},
        {R"({"method": "IMMDevice::GetId", "answer": {"returned": 1}})",
         "$.answer: IMMDevice::GetId sends no kernel-streaming request"},
        {R"({"method": "IKsControl::KsProperty", "answer": {}})", "$.answer: an answer needs"},
        {R"({"method": "IKsControl::KsProperty", "request": "interfaceVersion", "answer": {"count": 0}})",
         "$.answer.count: only the answers of"},
        {R"({"method": "IKsControl::KsProperty", "request": "moduleParam", "direction": "set", "answer": {"bytes": "00"}})",
         "$.answer: a set request's data buffer is the caller's"},
        {R"({"method": "IKsControl::KsProperty", "answer": {"bytes": "123"}})",
         "$.answer.bytes: expected hexadecimal digits"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(-1, vexsim_AddFaults(c.json)) << c.json;
        const std::string error = vexsim_LastError();
        EXPECT_NE(std::string::npos, error.find(c.message)) << error;
    }
    ComPtr<IMMDevice> device = Device(simtest::kSpeakers);
    ASSERT_TRUE(device);
    ScopedCoMem<WCHAR> id;
    EXPECT_HR(S_OK, device->GetId(id.Receive()))
        << "the valid fault of a refused list was not added";
}
