// Endpoint property stores: typed values copied in and out, unset keys, read-only stores, and
// writes that reach the machine.
#include "SimTest.h"

#include <nlohmann/json.hpp>

#include <cstring>
#include <vector>

using simtest::Loaded;

namespace {

class SimPropertyStore : public simtest::SimTest {};

const char kTypedMachine[] = R"({"endpoints": [{
    "id": "typed", "default": true, "name": "Typed",
    "properties": {
        "{F112024A-FE30-42A8-80AB-8DD825A06F78},1": {"type": "VT_I4", "value": -5},
        "{F112024A-FE30-42A8-80AB-8DD825A06F78},2": {"type": "VT_UI4", "value": 4294967295},
        "{F112024A-FE30-42A8-80AB-8DD825A06F78},3": "Lautsprecher \u00dcber \u2013 \ud83d\udd0a",
        "{F112024A-FE30-42A8-80AB-8DD825A06F78},4": {"type": "VT_EMPTY"},
        "{f112024a-fe30-42a8-80ab-8dd825a06f78},5": {"type": "VT_BLOB", "words": [1, -2, 16909060]},
        "{F112024A-FE30-42A8-80AB-8DD825A06F78}, 6": {"type": "VT_BLOB", "bytes": [1, 2, 3]},
        "{F112024A-FE30-42A8-80AB-8DD825A06F78},7": {"type": "VT_VECTOR|VT_BSTR", "value": ["a", ""]},
        "{F112024A-FE30-42A8-80AB-8DD825A06F78},8": {"type": "VT_BOOL", "value": true}
    }}]})";

PROPERTYKEY MainKey(DWORD pid) {
    PROPERTYKEY key = simtest::kParameterKey;
    key.pid = pid;
    return key;
}

std::vector<BYTE> BlobBytes(const PROPVARIANT& value) {
    return std::vector<BYTE>(value.blob.pBlobData, value.blob.pBlobData + value.blob.cbSize);
}

}  // namespace

TEST_F(SimPropertyStore, UnsetKeyReadsAsEmptyWithSOk) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("single-speaker")));
    ComPtr<IPropertyStore> store =
        Store(TEXT("{0.0.0.00000000}.{11111111-0000-0000-0000-000000000001}"), STGM_READ);
    ASSERT_TRUE(store);
    PROPVARIANT value;
    value.vt = VT_I4;  // whatever the caller left there is overwritten
    value.lVal = 7;
    ASSERT_HR(S_OK, store->GetValue(simtest::kOverrideKey, &value));
    EXPECT_EQ(VT_EMPTY, value.vt);
    PropVariantClear(&value);
}

TEST_F(SimPropertyStore, TypedValuesReadBackWithTheirTypes) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachineJson(kTypedMachine)));
    ComPtr<IPropertyStore> store = Store(TEXT("typed"), STGM_READ);
    ASSERT_TRUE(store);

    ScopedPropVariant value;
    ASSERT_HR(S_OK, store->GetValue(MainKey(1), value.Receive()));
    EXPECT_EQ(VT_I4, value.Type());
    EXPECT_EQ(-5, value.Get().lVal);

    ASSERT_HR(S_OK, store->GetValue(MainKey(2), value.Receive()));
    EXPECT_EQ(VT_UI4, value.Type());
    EXPECT_EQ(4294967295u, value.Get().ulVal);

    ASSERT_HR(S_OK, store->GetValue(MainKey(3), value.Receive()));
    ASSERT_EQ(VT_LPWSTR, value.Type());
    const WCHAR expected[] = {u'L', u'a', u'u',   u't', u's',   u'p',   u'r', u'e',
                              u'c', u'h', u'e',   u'r', u' ',   0x00DC, u'b', u'e',
                              u'r', u' ', 0x2013, u' ', 0xD83D, 0xDD0A, 0};
    EXPECT_EQ(WString(expected), WString(value.Get().pwszVal))
        << "UTF-8 in the file becomes UTF-16";

    ASSERT_HR(S_OK, store->GetValue(MainKey(4), value.Receive()));
    EXPECT_EQ(VT_EMPTY, value.Type());

    ASSERT_HR(S_OK, store->GetValue(MainKey(5), value.Receive()));
    ASSERT_EQ(VT_BLOB, value.Type());
    EXPECT_EQ((std::vector<BYTE>{1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 4, 3, 2, 1}),
              BlobBytes(value.Get()))
        << "words are 32-bit little-endian";

    ASSERT_HR(S_OK, store->GetValue(MainKey(6), value.Receive()));
    ASSERT_EQ(VT_BLOB, value.Type());
    EXPECT_EQ((std::vector<BYTE>{1, 2, 3}), BlobBytes(value.Get()));

    ASSERT_HR(S_OK, store->GetValue(MainKey(7), value.Receive()));
    ASSERT_EQ(VT_VECTOR | VT_BSTR, value.Type());
    ASSERT_EQ(2u, value.Get().cabstr.cElems);
    EXPECT_EQ(1u, SysStringLen(value.Get().cabstr.pElems[0]));
    EXPECT_EQ(WString(TEXT("a")), WString(value.Get().cabstr.pElems[0]));
    EXPECT_EQ(0u, SysStringLen(value.Get().cabstr.pElems[1]));

    ASSERT_HR(S_OK, store->GetValue(MainKey(8), value.Receive()));
    EXPECT_EQ(VT_BOOL, value.Type());
    EXPECT_EQ(-1, value.Get().boolVal);
}

TEST_F(SimPropertyStore, GetCountAndGetAtListTheKeysInOrder) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachineJson(kTypedMachine)));
    ComPtr<IPropertyStore> store = Store(TEXT("typed"), STGM_READ);
    ASSERT_TRUE(store);
    DWORD count = 0;
    ASSERT_HR(S_OK, store->GetCount(&count));
    ASSERT_EQ(9u, count) << "eight given properties and the friendly name";
    for (DWORD i = 0; i < 8; ++i) {
        PROPERTYKEY key{};
        ASSERT_HR(S_OK, store->GetAt(i, &key));
        EXPECT_EQ(MainKey(i + 1).pid, key.pid);
        EXPECT_TRUE(IsEqualGUID(simtest::kParameterKey.fmtid, key.fmtid));
    }
    PROPERTYKEY last{};
    ASSERT_HR(S_OK, store->GetAt(8, &last));
    EXPECT_TRUE(last == simtest::kFriendlyNameKey);
    EXPECT_HR(E_INVALIDARG, store->GetAt(9, &last));

    ScopedPropVariant name;
    ASSERT_HR(S_OK, store->GetValue(simtest::kFriendlyNameKey, name.Receive()));
    ASSERT_EQ(VT_LPWSTR, name.Type());
    EXPECT_EQ(WString(TEXT("Typed")), WString(name.Get().pwszVal));
}

TEST_F(SimPropertyStore, ValuesAreCopiedInAndOut) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("single-speaker")));
    ComPtr<IPropertyStore> store =
        Store(TEXT("{0.0.0.00000000}.{11111111-0000-0000-0000-000000000001}"), STGM_READWRITE);
    ASSERT_TRUE(store);

    BYTE bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    PROPVARIANT written;
    PropVariantInit(&written);
    written.vt = VT_BLOB;
    written.blob.cbSize = sizeof bytes;
    written.blob.pBlobData = bytes;
    ASSERT_HR(S_OK, store->SetValue(simtest::kParameterKey, written));
    bytes[0] = 99;  // the caller's buffer stays the caller's

    ScopedPropVariant first;
    ScopedPropVariant second;
    ASSERT_HR(S_OK, store->GetValue(simtest::kParameterKey, first.Receive()));
    ASSERT_HR(S_OK, store->GetValue(simtest::kParameterKey, second.Receive()));
    ASSERT_EQ(VT_BLOB, first.Type());
    EXPECT_EQ((std::vector<BYTE>{1, 2, 3, 4, 5, 6, 7, 8}), BlobBytes(first.Get()));
    EXPECT_NE(first.Get().blob.pBlobData, second.Get().blob.pBlobData)
        << "each read is a fresh copy";
    first.Get().blob.pBlobData[1] = 77;
    EXPECT_EQ(2, second.Get().blob.pBlobData[1]);

    ScopedPropVariant third;
    ASSERT_HR(S_OK, store->GetValue(simtest::kParameterKey, third.Receive()));
    EXPECT_EQ(2, third.Get().blob.pBlobData[1]) << "changing a read value leaves the store alone";
    EXPECT_HR(S_OK, store->Commit());
}

TEST_F(SimPropertyStore, WritesAreSharedByStoresAndReadBackFromTheDump) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("single-speaker")));
    const WCHAR* id = TEXT("{0.0.0.00000000}.{11111111-0000-0000-0000-000000000001}");
    ComPtr<IPropertyStore> writer = Store(id, STGM_READWRITE);
    ComPtr<IPropertyStore> reader = Store(id, STGM_READ);
    ASSERT_TRUE(writer && reader);

    PROPVARIANT scalar;
    PropVariantInit(&scalar);
    scalar.vt = VT_I4;
    scalar.lVal = -42;
    ASSERT_HR(S_OK, writer->SetValue(simtest::kOverrideKey, scalar));
    const int32_t words[3] = {10, -20, 30};
    PROPVARIANT blob;
    PropVariantInit(&blob);
    blob.vt = VT_BLOB;
    blob.blob.cbSize = sizeof words;
    blob.blob.pBlobData = reinterpret_cast<BYTE*>(const_cast<int32_t*>(words));
    ASSERT_HR(S_OK, writer->SetValue(simtest::kParameterKey, blob));

    ScopedPropVariant seen;
    ASSERT_HR(S_OK, reader->GetValue(simtest::kOverrideKey, seen.Receive()));
    EXPECT_EQ(VT_I4, seen.Type());
    EXPECT_EQ(-42, seen.Get().lVal) << "a write is seen at once through another store";

    const std::string dump = vexsim_DumpJson();
    auto machine = nlohmann::json::parse(dump);
    auto& properties = machine["endpoints"][0]["properties"];
    EXPECT_EQ(nlohmann::json::parse(R"({"type": "VT_I4", "value": -42})"),
              properties["{DD0DF94B-53A2-4A92-854E-91F42E28FD7B},0"])
        << dump;
    EXPECT_EQ(nlohmann::json::parse(R"({"type": "VT_BLOB", "words": [10, -20, 30]})"),
              properties["{F112024A-FE30-42A8-80AB-8DD825A06F78},13"])
        << dump;

    // The dump is a machine file: loaded again, the written values are there.
    writer.Reset();
    reader.Reset();
    ASSERT_TRUE(Loaded(vexsim_LoadMachineJson(dump.c_str())));
    ComPtr<IPropertyStore> again = Store(id, STGM_READ);
    ASSERT_TRUE(again);
    ASSERT_HR(S_OK, again->GetValue(simtest::kParameterKey, seen.Receive()));
    ASSERT_EQ(VT_BLOB, seen.Type());
    ASSERT_EQ(sizeof words, seen.Get().blob.cbSize);
    EXPECT_EQ(0, std::memcmp(words, seen.Get().blob.pBlobData, sizeof words));
}

TEST_F(SimPropertyStore, ReadOnlyStoreRefusesAWritableOpen) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("read-only-store")));
    ComPtr<IMMDevice> speakers =
        Device(TEXT("{0.0.0.00000000}.{22222222-0000-0000-0000-000000000001}"));
    ASSERT_TRUE(speakers);
    IPropertyStore* store = reinterpret_cast<IPropertyStore*>(0x1);
    EXPECT_HR(E_ACCESSDENIED, speakers->OpenPropertyStore(STGM_READWRITE, &store));
    EXPECT_EQ(nullptr, store);
    EXPECT_HR(E_ACCESSDENIED, speakers->OpenPropertyStore(STGM_WRITE, &store));

    ComPtr<IMMDevice> headset =
        Device(TEXT("{0.0.0.00000000}.{22222222-0000-0000-0000-000000000002}"));
    ASSERT_TRUE(headset);
    ComPtr<IPropertyStore> refused;
    EXPECT_HR(static_cast<HRESULT>(0x80070020),
              headset->OpenPropertyStore(STGM_READWRITE, refused.Receive()))
        << "the machine chooses the code";

    ComPtr<IPropertyStore> readable;
    ASSERT_HR(S_OK, speakers->OpenPropertyStore(STGM_READ, readable.Receive()));
    ScopedPropVariant formFactor;
    ASSERT_HR(S_OK, readable->GetValue(simtest::kFormFactorKey, formFactor.Receive()));
    EXPECT_EQ(1u, formFactor.Get().ulVal);
}

TEST_F(SimPropertyStore, StoreOpenedForReadingRefusesWrites) {
    ASSERT_TRUE(Loaded(vexsim_LoadMachine("single-speaker")));
    ComPtr<IPropertyStore> store =
        Store(TEXT("{0.0.0.00000000}.{11111111-0000-0000-0000-000000000001}"), STGM_READ);
    ASSERT_TRUE(store);
    PROPVARIANT value;
    PropVariantInit(&value);
    value.vt = VT_I4;
    value.lVal = 3;
    EXPECT_HR(STG_E_ACCESSDENIED, store->SetValue(simtest::kFormFactorKey, value));
    EXPECT_HR(STG_E_ACCESSDENIED, store->SetValue(simtest::kOverrideKey, value));

    ScopedPropVariant formFactor;
    ASSERT_HR(S_OK, store->GetValue(simtest::kFormFactorKey, formFactor.Receive()));
    EXPECT_EQ(VT_UI4, formFactor.Type());
    EXPECT_EQ(1u, formFactor.Get().ulVal) << "the refused write changed nothing";
    ScopedPropVariant override;
    ASSERT_HR(S_OK, store->GetValue(simtest::kOverrideKey, override.Receive()));
    EXPECT_EQ(VT_EMPTY, override.Type());
}
