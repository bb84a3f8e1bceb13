// Reference counting: the simulator's objects live exactly as long as references are held,
// and the counts it reports let tests prove that a caller released what it took.
#include "support/SimObjects.h"

#include <functional>

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

    EXPECT_EQ(2u, store->AddRef());
    EXPECT_EQ(4, vexsim_OutstandingReferenceCount());
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

// Every refusal of the COM objects, one row each: the code, nothing written to the caller, and
// nothing created.
TEST_F(SimRefCounts, RefusalsAnswerTheirCodeAndCreateNothing) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("read-only-store")));
    ComPtr<IMMDeviceEnumerator> enumerator = Enumerator();
    ASSERT_TRUE(enumerator);
    ComPtr<IMMDevice> device;
    ASSERT_HR(S_OK, enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.Receive()));
    ComPtr<IMMDeviceCollection> capture;
    ASSERT_HR(S_OK,
              enumerator->EnumAudioEndpoints(eCapture, DEVICE_STATE_ACTIVE, capture.Receive()));
    ComPtr<IPropertyStore> readable;
    ASSERT_HR(S_OK, device->OpenPropertyStore(STGM_READ, readable.Receive()));
    const HRESULT notFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    PROPVARIANT three;
    PropVariantInit(&three);
    three.vt = VT_I4;
    three.lVal = 3;
    struct Row {
        const char* call;
        HRESULT expected;
        std::function<HRESULT(void**)> run;
    };
    using Out = void**;
    // clang-format off
    const Row rows[] = {
        {"GetDevice of an unknown id", notFound, [&](Out out) { return enumerator->GetDevice(TEXT("missing"), (IMMDevice**)out); }},
        {"EnumAudioEndpoints with no state", E_INVALIDARG, [&](Out out) { return enumerator->EnumAudioEndpoints(eRender, 0, (IMMDeviceCollection**)out); }},
        {"EnumAudioEndpoints with an unknown flow", E_INVALIDARG, [&](Out out) { return enumerator->EnumAudioEndpoints(static_cast<EDataFlow>(3), DEVICE_STATE_ACTIVE, (IMMDeviceCollection**)out); }},
        {"Item past the collection", E_INVALIDARG, [&](Out out) { return capture->Item(1, (IMMDevice**)out); }},
        {"a writable open of a read-only store", E_ACCESSDENIED, [&](Out out) { return device->OpenPropertyStore(STGM_READWRITE, (IPropertyStore**)out); }},
        {"an open with an unknown access", E_INVALIDARG, [&](Out out) { return device->OpenPropertyStore(7, (IPropertyStore**)out); }},
        {"a write to a store opened for reading", STG_E_ACCESSDENIED, [&](Out) { return readable->SetValue(simtest::kFormFactorKey, three); }},
        {"QueryInterface for an interface the device lacks", E_NOINTERFACE, [&](Out out) { return device->QueryInterface(simtest::kIidEnumerator, out); }},
        {"Activate of an interface the device lacks", E_NOINTERFACE, [&](Out out) { return device->Activate(simtest::kIidEnumerator, CLSCTX_ALL, nullptr, out); }},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.call);
        const long objects = vexsim_LiveObjectCount();
        const long references = vexsim_OutstandingReferenceCount();
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_HR(row.expected, row.run(&out));
        if (out != reinterpret_cast<void*>(0x1)) {
            EXPECT_EQ(nullptr, out) << "a refusal hands out nothing";
        }
        EXPECT_EQ(objects, vexsim_LiveObjectCount());
        EXPECT_EQ(references, vexsim_OutstandingReferenceCount());
    }
    ScopedPropVariant formFactor;
    ASSERT_HR(S_OK, readable->GetValue(simtest::kFormFactorKey, formFactor.Receive()));
    EXPECT_EQ(1u, formFactor.Get().ulVal) << "the refused write changed nothing";

    // A machine may choose the code of a refused open.
    ComPtr<IMMDevice> headset;
    ASSERT_HR(S_OK,
              enumerator->GetDevice(TEXT("{0.0.0.00000000}.{22222222-0000-0000-0000-000000000002}"),
                                    headset.Receive()));
    ComPtr<IPropertyStore> refused;
    EXPECT_HR(static_cast<HRESULT>(0x80070020),
              headset->OpenPropertyStore(STGM_READWRITE, refused.Receive()));
}
