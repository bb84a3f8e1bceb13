// The device enumerator, its collections and the device objects, as the library uses them.
#include "SimTest.h"

#include <vector>

using simtest::Loaded;

namespace {

class SimEnumerator : public simtest::SimTest {
protected:
    std::vector<WString> Enumerate(EDataFlow flow, DWORD mask) {
        std::vector<WString> ids;
        ComPtr<IMMDeviceCollection> collection;
        EXPECT_HR(S_OK, Enumerator()->EnumAudioEndpoints(flow, mask, collection.Receive()));
        if (!collection) {
            return ids;
        }
        UINT count = 0;
        EXPECT_HR(S_OK, collection->GetCount(&count));
        for (UINT i = 0; i < count; ++i) {
            ComPtr<IMMDevice> device;
            EXPECT_HR(S_OK, collection->Item(i, device.Receive()));
            if (device) {
                ids.push_back(IdOf(device.Get()));
            }
        }
        return ids;
    }
};

}  // namespace

TEST_F(SimEnumerator, DefaultEndpointsAreTheMarkedActiveOnes) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("default")));
    ComPtr<IMMDeviceEnumerator> enumerator = Enumerator();
    ASSERT_TRUE(enumerator);

    for (ERole role : {eConsole, eMultimedia, eCommunications}) {
        ComPtr<IMMDevice> device;
        ASSERT_HR(S_OK, enumerator->GetDefaultAudioEndpoint(eRender, role, device.Receive()));
        EXPECT_EQ(WString(simtest::kSpeakers), IdOf(device.Get())) << "role " << role;
    }
    ComPtr<IMMDevice> microphone;
    ASSERT_HR(S_OK, enumerator->GetDefaultAudioEndpoint(eCapture, eConsole, microphone.Receive()));
    EXPECT_EQ(WString(simtest::kMicrophone), IdOf(microphone.Get()));

    ComPtr<IMMDevice> none;
    EXPECT_HR(E_INVALIDARG, enumerator->GetDefaultAudioEndpoint(eAll, eConsole, none.Receive()));
    EXPECT_FALSE(none);
}

TEST_F(SimEnumerator, NoDefaultEndpointGivesElementNotFound) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachineFile(
        (std::string(vexsim_MachinesDirectory()) + "/no-default-render.json").c_str())));
    ComPtr<IMMDeviceEnumerator> enumerator = Enumerator();
    ASSERT_TRUE(enumerator);

    // The only render endpoint marked default is unplugged, so there is none.
    IMMDevice* device = reinterpret_cast<IMMDevice*>(0x1);
    EXPECT_HR(HRESULT_FROM_WIN32(ERROR_NOT_FOUND),
              enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device));
    EXPECT_EQ(nullptr, device) << "the out value is cleared on failure";
    EXPECT_EQ(0x80070490u, static_cast<uint32_t>(HRESULT_FROM_WIN32(ERROR_NOT_FOUND)));

    // The microphone is the default for two roles only.
    ComPtr<IMMDevice> microphone;
    EXPECT_HR(S_OK,
              enumerator->GetDefaultAudioEndpoint(eCapture, eMultimedia, microphone.Receive()));
    EXPECT_HR(HRESULT_FROM_WIN32(ERROR_NOT_FOUND),
              enumerator->GetDefaultAudioEndpoint(eCapture, eCommunications, microphone.Receive()));
}

TEST_F(SimEnumerator, GetDeviceMatchesTheIdExactly) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachineJson(R"({"endpoints": [
        {"id": "Endpoint-A", "name": "lower"},
        {"id": "ENDPOINT-A", "name": "upper", "state": "notpresent"}]})")));
    ComPtr<IMMDeviceEnumerator> enumerator = Enumerator();
    ASSERT_TRUE(enumerator);

    ComPtr<IMMDevice> upper;
    ASSERT_HR(S_OK, enumerator->GetDevice(TEXT("ENDPOINT-A"), upper.Receive()));
    EXPECT_EQ(WString(TEXT("ENDPOINT-A")), IdOf(upper.Get()));
    DWORD state = 0;
    EXPECT_HR(S_OK, upper->GetState(&state));
    EXPECT_EQ(static_cast<DWORD>(DEVICE_STATE_NOTPRESENT), state)
        << "GetDevice finds endpoints in any state";

    ComPtr<IMMDevice> lower;
    ASSERT_HR(S_OK, enumerator->GetDevice(TEXT("Endpoint-A"), lower.Receive()));
    EXPECT_EQ(WString(TEXT("Endpoint-A")), IdOf(lower.Get()));

    ComPtr<IMMDevice> missing;
    EXPECT_HR(HRESULT_FROM_WIN32(ERROR_NOT_FOUND),
              enumerator->GetDevice(TEXT("endpoint-a"), missing.Receive()));
    EXPECT_HR(HRESULT_FROM_WIN32(ERROR_NOT_FOUND),
              enumerator->GetDevice(TEXT("Endpoint-A "), missing.Receive()));
    EXPECT_HR(HRESULT_FROM_WIN32(ERROR_NOT_FOUND),
              enumerator->GetDevice(TEXT(""), missing.Receive()));
    EXPECT_FALSE(missing);
}

TEST_F(SimEnumerator, EnumAudioEndpointsFiltersByFlowAndStateInMachineOrder) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("default")));
    using Ids = std::vector<WString>;
    EXPECT_EQ((Ids{simtest::kSpeakers, simtest::kHeadphones}),
              Enumerate(eRender, DEVICE_STATE_ACTIVE));
    EXPECT_EQ((Ids{simtest::kSpeakers, simtest::kHeadphones, simtest::kHdmi}),
              Enumerate(eRender, DEVICE_STATEMASK_ALL));
    EXPECT_EQ((Ids{simtest::kHdmi}),
              Enumerate(eRender, DEVICE_STATE_DISABLED | DEVICE_STATE_UNPLUGGED));
    EXPECT_EQ((Ids{simtest::kMicrophone}), Enumerate(eCapture, DEVICE_STATE_ACTIVE));
    EXPECT_EQ((Ids{simtest::kSpeakers, simtest::kHeadphones, simtest::kMicrophone}),
              Enumerate(eAll, DEVICE_STATE_ACTIVE));
    EXPECT_EQ(Ids{}, Enumerate(eCapture, DEVICE_STATE_NOTPRESENT));
}

TEST_F(SimEnumerator, InvalidArgumentsAreRefused) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("default")));
    ComPtr<IMMDeviceEnumerator> enumerator = Enumerator();
    ASSERT_TRUE(enumerator);
    ComPtr<IMMDeviceCollection> collection;
    EXPECT_HR(E_INVALIDARG, enumerator->EnumAudioEndpoints(eRender, 0, collection.Receive()));
    EXPECT_HR(E_INVALIDARG, enumerator->EnumAudioEndpoints(eRender, 0x10, collection.Receive()));
    EXPECT_HR(E_INVALIDARG,
              enumerator->EnumAudioEndpoints(static_cast<EDataFlow>(3), DEVICE_STATE_ACTIVE,
                                             collection.Receive()));
    EXPECT_FALSE(collection);

    ASSERT_HR(S_OK,
              enumerator->EnumAudioEndpoints(eCapture, DEVICE_STATE_ACTIVE, collection.Receive()));
    ComPtr<IMMDevice> device;
    EXPECT_HR(E_INVALIDARG, collection->Item(1, device.Receive()));
    EXPECT_FALSE(device);
    EXPECT_HR(S_OK, collection->Item(0, device.Receive()));
}

TEST_F(SimEnumerator, DevicesAnswerTheirFlowStateAndId) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("default")));
    ComPtr<IMMDevice> microphone = Device(simtest::kMicrophone);
    ASSERT_TRUE(microphone);
    ComPtr<IMMEndpoint> endpoint;
    ASSERT_HR(S_OK, microphone.QueryInterface(simtest::kIidEndpoint, &endpoint));
    EDataFlow flow = eRender;
    EXPECT_HR(S_OK, endpoint->GetDataFlow(&flow));
    EXPECT_EQ(eCapture, flow);

    ComPtr<IMMDevice> hdmi = Device(simtest::kHdmi);
    ASSERT_TRUE(hdmi);
    DWORD state = 0;
    EXPECT_HR(S_OK, hdmi->GetState(&state));
    EXPECT_EQ(static_cast<DWORD>(DEVICE_STATE_DISABLED), state);

    // The id is a fresh task-allocator copy each time.
    ScopedCoMem<WCHAR> first;
    ScopedCoMem<WCHAR> second;
    ASSERT_HR(S_OK, hdmi->GetId(first.Receive()));
    ASSERT_HR(S_OK, hdmi->GetId(second.Receive()));
    EXPECT_NE(first.Get(), second.Get());
    EXPECT_EQ(WString(simtest::kHdmi), WString(first.Get()));

    ComPtr<IUnknown> nothing;
    EXPECT_HR(E_NOINTERFACE,
              hdmi->Activate(simtest::kIidEnumerator, CLSCTX_ALL, nullptr, nothing.ReceiveVoid()));
    EXPECT_FALSE(nothing);
}
