// Shared pieces of the simulator's tests: ids, a fixture with COM and a clean machine, and
// small helpers to reach endpoints and their stores.
#pragma once

#include "support/TestSupport.h"

#include "PolicyConfig.h"
#include "util/ComPtr.h"
#include "util/ScopedCoMem.h"
#include "util/ScopedPropVariant.h"

#include <vexsim.h>

#include <string>

namespace simtest {

inline constexpr CLSID kClsidEnumerator = {
    0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
inline constexpr IID kIidEnumerator = {
    0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
inline constexpr IID kIidEndpoint = {
    0x1BE09788, 0x6894, 0x4089, {0x85, 0x86, 0x9A, 0x2A, 0x6C, 0x26, 0x5A, 0xC5}};
inline constexpr IID kIidDevice = {
    0xD666063F, 0x1587, 0x4E43, {0x81, 0xF1, 0xB9, 0x48, 0xE8, 0x07, 0x36, 0x3F}};

// {1DA5D803-D492-4EDD-8C23-E0C0FFEE7F0E},0
inline constexpr PROPERTYKEY kFormFactorKey = {
    {0x1DA5D803, 0xD492, 0x4EDD, {0x8C, 0x23, 0xE0, 0xC0, 0xFF, 0xEE, 0x7F, 0x0E}}, 0};
// {DD0DF94B-53A2-4A92-854E-91F42E28FD7B},0
inline constexpr PROPERTYKEY kOverrideKey = {
    {0xDD0DF94B, 0x53A2, 0x4A92, {0x85, 0x4E, 0x91, 0xF4, 0x2E, 0x28, 0xFD, 0x7B}}, 0};

// Endpoint ids of the shipped machines.
using vextest::kHeadphones;
using vextest::kSpeakers;

// A load's result as a gtest assertion that shows the simulator's message.
inline ::testing::AssertionResult Loaded(int result) {
    if (result == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "load failed: " << vexsim_LastError();
}

// COM for the test's thread, and an empty machine and no registration when the test ends.
class SimTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(m_com.Result())); }
    void TearDown() override {
        vexsim_Reset();
        vexsim_Unregister();
        EXPECT_EQ(0, vexsim_LiveObjectCount()) << "the test left simulator objects alive";
    }

    ComPtr<IMMDeviceEnumerator> Enumerator() {
        ComPtr<IMMDeviceEnumerator> enumerator;
        const HRESULT hr = CoCreateInstance(kClsidEnumerator, nullptr, CLSCTX_ALL, kIidEnumerator,
                                            enumerator.ReceiveVoid());
        EXPECT_HR(S_OK, hr);
        return enumerator;
    }

    ComPtr<IMMDevice> Device(const WCHAR* id) {
        ComPtr<IMMDevice> device;
        ComPtr<IMMDeviceEnumerator> enumerator = Enumerator();
        if (enumerator) {
            EXPECT_HR(S_OK, enumerator->GetDevice(id, device.Receive()));
        }
        return device;
    }

    ComPtr<IPropertyStore> Store(const WCHAR* id, DWORD access) {
        ComPtr<IPropertyStore> store;
        ComPtr<IMMDevice> device = Device(id);
        if (device) {
            EXPECT_HR(S_OK, device->OpenPropertyStore(access, store.Receive()));
        }
        return store;
    }

private:
    vextest::ComApartment m_com;
};

}  // namespace simtest
