// Property stores that the audio service also holds: opens share one object per access, a
// caller's Release never frees it, and the references callers hold on it can be counted.
#include "SimTest.h"

#include <ostream>
#include <string>

using simtest::Loaded;

namespace {

class SimHeldStore : public simtest::SimTest {};

const char* const kSpeakerId = "{0.0.0.00000000}.{11111111-0000-0000-0000-000000000001}";
const WCHAR* const kSpeaker = TEXT("{0.0.0.00000000}.{11111111-0000-0000-0000-000000000001}");

const char* const kHeldMachine = R"({"endpoints": [
    {"id": "{0.0.0.00000000}.{11111111-0000-0000-0000-000000000001}", "holdStore": true}]})";

struct HoldCase {
    const char* name;
    bool byMember;  // the machine member instead of vexsim_HoldPropertyStore
    DWORD access;
};

void PrintTo(const HoldCase& c, std::ostream* os) {
    *os << c.name;
}

class SimHeldStoreCases : public SimHeldStore, public ::testing::WithParamInterface<HoldCase> {};

TEST_P(SimHeldStoreCases, OpensShareOneStoreThatTheCallersReleaseNeverFrees) {
    const HoldCase& c = GetParam();
    if (c.byMember) {
        ASSERT_TRUE(Loaded(vexsim_LoadMachineJson(kHeldMachine)));
    } else {
        ASSERT_TRUE(Loaded(vexsim_LoadMachine("single-speaker")));
        ASSERT_EQ(0, vexsim_HoldPropertyStore(kSpeakerId)) << vexsim_LastError();
    }
    EXPECT_EQ(0, vexsim_PropertyStoreReferences(kSpeakerId));

    ComPtr<IMMDevice> device = Device(kSpeaker);
    ASSERT_TRUE(device);
    IPropertyStore* first = nullptr;
    IPropertyStore* second = nullptr;
    ASSERT_HR(S_OK, device->OpenPropertyStore(c.access, &first));
    ASSERT_HR(S_OK, device->OpenPropertyStore(c.access, &second));
    EXPECT_EQ(first, second);
    EXPECT_EQ(2, vexsim_PropertyStoreReferences(kSpeakerId));
    const long callers = vexsim_OutstandingReferenceCount();

    EXPECT_EQ(2u, first->Release());
    EXPECT_EQ(1u, second->Release()) << "the service's reference stays";
    EXPECT_EQ(0, vexsim_PropertyStoreReferences(kSpeakerId));
    EXPECT_EQ(callers - 2, vexsim_OutstandingReferenceCount())
        << "the service's reference is not a caller's";
    EXPECT_EQ(1, vexsim_LiveObjectCountOf("IPropertyStore"));

    // Opened again, it is the same store, with the values it holds.
    ComPtr<IPropertyStore> again;
    ASSERT_HR(S_OK, device->OpenPropertyStore(c.access, again.Receive()));
    EXPECT_EQ(1, vexsim_PropertyStoreReferences(kSpeakerId));
    EXPECT_EQ(1, vexsim_LiveObjectCountOf("IPropertyStore"));
}

INSTANTIATE_TEST_SUITE_P(Holds, SimHeldStoreCases,
                         ::testing::Values(HoldCase{"CallRead", false, STGM_READ},
                                           HoldCase{"CallReadWrite", false, STGM_READWRITE},
                                           HoldCase{"MemberRead", true, STGM_READ},
                                           HoldCase{"MemberReadWrite", true, STGM_READWRITE}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimHeldStore, ReadAndWritableOpensGetTwoStoresCountedTogether) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachineJson(kHeldMachine)));
    ComPtr<IPropertyStore> reader = Store(kSpeaker, STGM_READ);
    ComPtr<IPropertyStore> writer = Store(kSpeaker, STGM_READWRITE);
    ASSERT_TRUE(reader && writer);
    EXPECT_NE(reader.Get(), writer.Get());
    EXPECT_EQ(2, vexsim_PropertyStoreReferences(kSpeakerId));
    PROPVARIANT value;
    PropVariantInit(&value);
    value.vt = VT_UI4;
    value.ulVal = 7;
    EXPECT_HR(STG_E_ACCESSDENIED, reader->SetValue(simtest::kFormFactorKey, value));
    EXPECT_HR(S_OK, writer->SetValue(simtest::kFormFactorKey, value));
}

TEST_F(SimHeldStore, LettingGoLeavesTheStoreToItsCallers) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachineJson(kHeldMachine)));
    ComPtr<IMMDevice> device = Device(kSpeaker);
    ASSERT_TRUE(device);
    IPropertyStore* store = nullptr;
    ASSERT_HR(S_OK, device->OpenPropertyStore(STGM_READ, &store));
    ASSERT_EQ(0, vexsim_ReleasePropertyStore(kSpeakerId)) << vexsim_LastError();
    EXPECT_EQ(-1, vexsim_PropertyStoreReferences(kSpeakerId));
    EXPECT_EQ(0u, store->Release());
    EXPECT_EQ(0, vexsim_LiveObjectCountOf("IPropertyStore"));

    // Opens hand out new objects again.
    ComPtr<IPropertyStore> first = Store(kSpeaker, STGM_READ);
    ComPtr<IPropertyStore> second = Store(kSpeaker, STGM_READ);
    EXPECT_NE(first.Get(), second.Get());
}

TEST_F(SimHeldStore, AResetLetsGoOfHeldStores) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachineJson(kHeldMachine)));
    ASSERT_TRUE(Store(kSpeaker, STGM_READ));
    EXPECT_EQ(1, vexsim_LiveObjectCountOf("IPropertyStore"));
    vexsim_Reset();
    EXPECT_EQ(0, vexsim_LiveObjectCountOf("IPropertyStore"));
}

TEST_F(SimHeldStore, TheDumpKeepsTheHold) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("single-speaker")));
    ASSERT_EQ(0, vexsim_HoldPropertyStore(kSpeakerId));
    const std::string dump = vexsim_DumpJson();
    EXPECT_NE(std::string::npos, dump.find("\"holdStore\": true")) << dump;
    ASSERT_TRUE(Loaded(vexsim_LoadMachineJson(dump.c_str())));
    EXPECT_EQ(0, vexsim_PropertyStoreReferences(kSpeakerId));
}

TEST_F(SimHeldStore, UnknownOrUnheldEndpointsFail) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("single-speaker")));
    EXPECT_EQ(-1, vexsim_PropertyStoreReferences(kSpeakerId)) << "not held";
    EXPECT_EQ(-1, vexsim_HoldPropertyStore("nobody"));
    EXPECT_EQ(-1, vexsim_ReleasePropertyStore("nobody"));
    EXPECT_EQ(-1, vexsim_PropertyStoreReferences("nobody"));
    EXPECT_EQ(-1, vexsim_HoldPropertyStore(nullptr));
}

}  // namespace
