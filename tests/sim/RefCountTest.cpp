// Reference counting: the simulator's objects live exactly as long as references are held,
// and the counts it reports let tests prove that a caller released what it took.
#include "SimTest.h"

using simtest::Loaded;

namespace {

class SimRefCounts : public simtest::SimTest {};

const WCHAR* const kSpeaker = TEXT("{0.0.0.00000000}.{11111111-0000-0000-0000-000000000001}");

}  // namespace

TEST_F(SimRefCounts, ObjectsAreCountedUntilTheirLastRelease) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("single-speaker")));
    EXPECT_EQ(0, vexsim_LiveObjectCount());
    EXPECT_EQ(0, vexsim_OutstandingReferenceCount());

    IMMDeviceEnumerator* enumerator = nullptr;
    ASSERT_HR(S_OK,
              CoCreateInstance(simtest::kClsidEnumerator, nullptr, CLSCTX_ALL,
                               simtest::kIidEnumerator, reinterpret_cast<void**>(&enumerator)));
    EXPECT_EQ(1, vexsim_LiveObjectCount());
    EXPECT_EQ(1, vexsim_OutstandingReferenceCount());

    IMMDevice* device = nullptr;
    ASSERT_HR(S_OK, enumerator->GetDevice(kSpeaker, &device));
    IPropertyStore* store = nullptr;
    ASSERT_HR(S_OK, device->OpenPropertyStore(STGM_READWRITE, &store));
    EXPECT_EQ(3, vexsim_LiveObjectCount());
    EXPECT_EQ(1, vexsim_LiveObjectCountOf("IPropertyStore"));
    EXPECT_EQ(1, vexsim_LiveObjectCountOf("IMMDevice"));
    EXPECT_EQ(1, vexsim_LiveObjectCountOf("IMMDeviceEnumerator"));

    // AddRef and Release report the object's own count, as a session table relies on.
    EXPECT_EQ(2u, store->AddRef());
    EXPECT_EQ(3u, store->AddRef());
    EXPECT_EQ(5, vexsim_OutstandingReferenceCount());
    EXPECT_EQ(2u, store->Release());
    EXPECT_EQ(1u, store->Release());

    EXPECT_EQ(0u, device->Release());
    EXPECT_EQ(0u, enumerator->Release());
    EXPECT_EQ(1, vexsim_LiveObjectCount()) << "the store outlives the device it came from";
    ScopedPropVariant value;
    EXPECT_HR(S_OK, store->GetValue(simtest::kFormFactorKey, value.Receive()));
    EXPECT_EQ(1u, value.Get().ulVal);

    EXPECT_EQ(0u, store->Release());
    EXPECT_EQ(0, vexsim_LiveObjectCount());
    EXPECT_EQ(0, vexsim_OutstandingReferenceCount());
    EXPECT_EQ(0, vexsim_LiveObjectCountOf("IPropertyStore"));
}

TEST_F(SimRefCounts, QueryInterfaceAddsAReferenceToTheSameObject) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("single-speaker")));
    ComPtr<IMMDevice> device = Device(kSpeaker);
    ASSERT_TRUE(device);
    const long references = vexsim_OutstandingReferenceCount();
    ComPtr<IMMEndpoint> endpoint;
    ASSERT_HR(S_OK, device.QueryInterface(simtest::kIidEndpoint, &endpoint));
    EXPECT_EQ(references + 1, vexsim_OutstandingReferenceCount());
    EXPECT_EQ(1, vexsim_LiveObjectCountOf("IMMDevice"));

    ComPtr<IUnknown> fromDevice;
    ComPtr<IUnknown> fromEndpoint;
    ASSERT_HR(S_OK, device.QueryInterface(simtest::kIidUnknown, &fromDevice));
    ASSERT_HR(S_OK, endpoint.QueryInterface(simtest::kIidUnknown, &fromEndpoint));
    EXPECT_EQ(fromDevice.Get(), fromEndpoint.Get()) << "one identity for both interfaces";

    ComPtr<IPropertyStore> notThere;
    EXPECT_HR(E_NOINTERFACE, device.QueryInterface(simtest::kIidEnumerator, &notThere));
    EXPECT_FALSE(notThere);
    EXPECT_EQ(references + 3, vexsim_OutstandingReferenceCount());
}

TEST_F(SimRefCounts, FailedCallsCreateNothing) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("read-only-store")));
    ComPtr<IMMDeviceEnumerator> enumerator = Enumerator();
    ASSERT_TRUE(enumerator);
    ComPtr<IMMDevice> device;
    ASSERT_HR(S_OK, enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.Receive()));
    const long objects = vexsim_LiveObjectCount();
    const long references = vexsim_OutstandingReferenceCount();

    ComPtr<IMMDevice> missing;
    EXPECT_HR(HRESULT_FROM_WIN32(ERROR_NOT_FOUND),
              enumerator->GetDevice(TEXT("missing"), missing.Receive()));
    ComPtr<IPropertyStore> store;
    EXPECT_HR(E_ACCESSDENIED, device->OpenPropertyStore(STGM_READWRITE, store.Receive()));
    EXPECT_HR(E_INVALIDARG, device->OpenPropertyStore(7, store.Receive()));
    ComPtr<IMMDeviceCollection> collection;
    EXPECT_HR(E_INVALIDARG, enumerator->EnumAudioEndpoints(eRender, 0, collection.Receive()));
    ComPtr<IMMDevice> noDefault;
    EXPECT_HR(HRESULT_FROM_WIN32(ERROR_NOT_FOUND),
              enumerator->GetDefaultAudioEndpoint(eCapture, eConsole, noDefault.Receive()));

    EXPECT_EQ(objects, vexsim_LiveObjectCount());
    EXPECT_EQ(references, vexsim_OutstandingReferenceCount());
}

TEST_F(SimRefCounts, ObjectsOutliveTheMachineTheyCameFrom) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("single-speaker")));
    ComPtr<IPropertyStore> store = Store(kSpeaker, STGM_READWRITE);
    ASSERT_TRUE(store);
    ComPtr<IMMDeviceEnumerator> enumerator = Enumerator();
    ASSERT_TRUE(enumerator);

    ASSERT_TRUE(Loaded(vexsim_LoadMachine("default")));
    ScopedPropVariant value;
    ASSERT_HR(S_OK, store->GetValue(simtest::kFormFactorKey, value.Receive()));
    EXPECT_EQ(1u, value.Get().ulVal) << "an open store keeps its device's data";
    ComPtr<IMMDevice> gone;
    EXPECT_HR(HRESULT_FROM_WIN32(ERROR_NOT_FOUND), enumerator->GetDevice(kSpeaker, gone.Receive()))
        << "an enumerator sees the machine loaded now";
    ComPtr<IMMDevice> speakers;
    EXPECT_HR(S_OK, enumerator->GetDevice(simtest::kSpeakers, speakers.Receive()));
}
