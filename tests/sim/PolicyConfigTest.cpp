// The policy-configuration object's read of an endpoint's FX store, as the effect version
// detection uses it.
#include "SimTest.h"

using simtest::Loaded;

namespace {

class SimPolicyConfig : public simtest::SimTest {
protected:
    ComPtr<IPolicyConfigVistaClient> Create() {
        ComPtr<IPolicyConfigVistaClient> policy;
        EXPECT_HR(S_OK,
                  CoCreateInstance(CLSID_PolicyConfigVistaClient, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IPolicyConfigVistaClient, policy.ReceiveVoid()));
        return policy;
    }
};

const WCHAR* const kWrapped = TEXT("{0.0.0.00000000}.{44444444-0000-0000-0000-000000000001}");

}  // namespace

TEST_F(SimPolicyConfig, ReadsEffectClassIdsFromTheFxStore) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("default")));
    ComPtr<IPolicyConfigVistaClient> policy = Create();
    ASSERT_TRUE(policy);

    PROPVARIANT value;
    PropVariantInit(&value);
    value.vt = VT_LPWSTR;  // the reader presets the type; the answer replaces it
    ASSERT_HR(S_OK, policy->GetPropertyValue(simtest::kSpeakers, TRUE, simtest::FxKey(13), &value));
    ASSERT_EQ(VT_VECTOR | VT_LPWSTR, value.vt);
    ASSERT_EQ(1u, value.calpwstr.cElems);
    EXPECT_EQ(WString(TEXT("{1bedaecc-55f6-4149-95d9-a707a2fb4134}")),
              WString(value.calpwstr.pElems[0]));
    PropVariantClear(&value);

    ASSERT_HR(S_OK,
              policy->GetPropertyValue(simtest::kHeadphones, TRUE, simtest::FxKey(15), &value));
    ASSERT_EQ(VT_VECTOR | VT_LPWSTR, value.vt);
    EXPECT_EQ(WString(TEXT("{97acd2ab-83ec-494b-9fe4-922bce1bd691}")),
              WString(value.calpwstr.pElems[0]));
    PropVariantClear(&value);
}

TEST_F(SimPolicyConfig, BstrVectorsAndSingleStringsKeepTheirForm) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("wrapper-effect")));
    ComPtr<IPolicyConfigVistaClient> policy = Create();
    ASSERT_TRUE(policy);
    ScopedPropVariant list;
    ASSERT_HR(S_OK, policy->GetPropertyValue(kWrapped, TRUE, simtest::FxKey(13), list.Receive()));
    ASSERT_EQ(VT_VECTOR | VT_BSTR, list.Type());
    ASSERT_EQ(2u, list.Get().cabstr.cElems);
    EXPECT_EQ(38u, SysStringLen(list.Get().cabstr.pElems[0]));
    EXPECT_EQ(WString(TEXT("{1BEDAECC-55F6-4149-95D9-A707A2FB4134}")),
              WString(list.Get().cabstr.pElems[1]));

    ScopedPropVariant single;
    ASSERT_HR(S_OK, policy->GetPropertyValue(kWrapped, TRUE, simtest::FxKey(7), single.Receive()));
    ASSERT_EQ(VT_LPWSTR, single.Type());
    EXPECT_EQ(WString(TEXT("{0ebd8507-17bb-4ae7-ad76-e86f99a425e9}")),
              WString(single.Get().pwszVal));
}

TEST_F(SimPolicyConfig, NothingToReadIsANegativeResult) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("wrapper-effect")));
    ComPtr<IPolicyConfigVistaClient> policy = Create();
    ASSERT_TRUE(policy);
    ScopedPropVariant value;
    const HRESULT unset =
        policy->GetPropertyValue(kWrapped, TRUE, simtest::FxKey(5), value.Receive());
    EXPECT_TRUE(FAILED(unset)) << vextest::Hex(unset);
    EXPECT_EQ(VT_EMPTY, value.Type());
    const HRESULT unknown = policy->GetPropertyValue(TEXT("no such endpoint"), TRUE,
                                                     simtest::FxKey(13), value.Receive());
    EXPECT_TRUE(FAILED(unknown)) << vextest::Hex(unknown);
    const HRESULT otherKey =
        policy->GetPropertyValue(TEXT("{0.0.0.00000000}.{44444444-0000-0000-0000-000000000001}"),
                                 TRUE, simtest::FxKey(15), value.Receive());
    EXPECT_TRUE(FAILED(otherKey)) << "pid 15 is not configured on this endpoint";
}

TEST_F(SimPolicyConfig, FxFlagChoosesTheStore) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("default")));
    ComPtr<IPolicyConfigVistaClient> policy = Create();
    ASSERT_TRUE(policy);
    ScopedPropVariant formFactor;
    ASSERT_HR(S_OK, policy->GetPropertyValue(simtest::kHeadphones, FALSE, simtest::kFormFactorKey,
                                             formFactor.Receive()));
    EXPECT_EQ(VT_UI4, formFactor.Type());
    EXPECT_EQ(3u, formFactor.Get().ulVal);
    EXPECT_TRUE(FAILED(policy->GetPropertyValue(simtest::kHeadphones, TRUE, simtest::kFormFactorKey,
                                                formFactor.Receive())));
    EXPECT_TRUE(FAILED(policy->GetPropertyValue(simtest::kHeadphones, FALSE, simtest::FxKey(13),
                                                formFactor.Receive())));

    // A written FX value is read back, and shows in the dump.
    PROPVARIANT written;
    PropVariantInit(&written);
    written.vt = VT_LPWSTR;
    WCHAR text[] = TEXT("{5ca784ec-8c20-445a-8c9e-7d3f43a08851}");
    written.pwszVal = text;
    ASSERT_HR(S_OK, policy->SetPropertyValue(simtest::kHdmi, TRUE, simtest::FxKey(7), &written));
    ScopedPropVariant read;
    ASSERT_HR(S_OK,
              policy->GetPropertyValue(simtest::kHdmi, TRUE, simtest::FxKey(7), read.Receive()));
    EXPECT_EQ(WString(text), WString(read.Get().pwszVal));
    EXPECT_NE(std::string::npos,
              std::string(vexsim_DumpJson()).find("{5ca784ec-8c20-445a-8c9e-7d3f43a08851}"));
}
