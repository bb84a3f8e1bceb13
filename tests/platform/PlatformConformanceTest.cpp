// The platform behaviour the library relies on. Built natively against the project's platform
// layer and cross-built against the real Windows API, so that under Wine these tests show the
// layer behaves like the real thing.
#include "support/TestSupport.h"

#include "util/ScopedPropVariant.h"

#include <atomic>
#include <cstring>
#include <vector>

using vextest::ComApartment;

namespace {

const WCHAR* const kTestKey = TEXT("SOFTWARE\\VexPlatformConformance");

BSTR* NewBstrArray(const std::vector<const WCHAR*>& texts) {
    auto* elements = static_cast<BSTR*>(CoTaskMemAlloc(texts.size() * sizeof(BSTR)));
    for (size_t i = 0; i < texts.size(); ++i) {
        elements[i] = SysAllocString(texts[i]);
    }
    return elements;
}

LPWSTR CoTaskString(const WCHAR* text) {
    size_t n = 0;
    while (text[n] != 0) {
        ++n;
    }
    auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc((n + 1) * sizeof(WCHAR)));
    std::memcpy(copy, text, (n + 1) * sizeof(WCHAR));
    return copy;
}

WString FetchString(const PROPVARIANT& value, ULONG index, HRESULT* hr) {
    PWSTR text = nullptr;
    *hr = PropVariantGetStringElem(value, index, &text);
    WString result = text != nullptr ? WString(text) : WString();
    CoTaskMemFree(text);
    return result;
}

}  // namespace

TEST(Bstr, LengthPrefixCountsEmbeddedNuls) {
    const WCHAR text[] = {u'a', 0, u'b', 0, u'c'};
    BSTR bstr = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text), 5);
    ASSERT_NE(nullptr, bstr);
    EXPECT_EQ(5u, SysStringLen(bstr));
    EXPECT_EQ(10u, SysStringByteLen(bstr));
    EXPECT_EQ(0, bstr[5]) << "a BSTR is also NUL-terminated";
    EXPECT_EQ(u'c', bstr[4]);
    SysFreeString(bstr);

    BSTR plain = SysAllocString(TEXT("hello"));
    EXPECT_EQ(5u, SysStringLen(plain));
    SysFreeString(plain);

    EXPECT_EQ(nullptr, SysAllocString(nullptr));
    EXPECT_EQ(0u, SysStringLen(nullptr));
    SysFreeString(nullptr);
}

TEST(Bstr, SysAllocStringLenWithoutTextGivesZeroedString) {
    BSTR bstr = SysAllocStringLen(nullptr, 3);
    ASSERT_NE(nullptr, bstr);
    EXPECT_EQ(3u, SysStringLen(bstr));
    EXPECT_EQ(0, bstr[3]);
    SysFreeString(bstr);
}

TEST(Bstr, VarBstrCmpOrdersAndMatches) {
    BSTR abc = SysAllocString(TEXT("abc"));
    BSTR abc2 = SysAllocString(TEXT("abc"));
    BSTR abd = SysAllocString(TEXT("abd"));
    BSTR upperB = SysAllocString(TEXT("B"));
    BSTR lowerA = SysAllocString(TEXT("a"));
    BSTR empty = SysAllocString(TEXT(""));
    EXPECT_HR(VARCMP_EQ, VarBstrCmp(abc, abc2, LOCALE_USER_DEFAULT, 0));
    EXPECT_HR(VARCMP_LT, VarBstrCmp(abc, abd, LOCALE_USER_DEFAULT, 0));
    EXPECT_HR(VARCMP_GT, VarBstrCmp(abd, abc, LOCALE_USER_DEFAULT, 0));
    // Locale-aware: letters order before their case does.
    EXPECT_HR(VARCMP_LT, VarBstrCmp(lowerA, upperB, LOCALE_USER_DEFAULT, 0));
    // A null BSTR is an empty one.
    EXPECT_HR(VARCMP_EQ, VarBstrCmp(nullptr, empty, LOCALE_USER_DEFAULT, 0));
    EXPECT_HR(VARCMP_LT, VarBstrCmp(nullptr, abc, LOCALE_USER_DEFAULT, 0));
    EXPECT_HR(VARCMP_GT, VarBstrCmp(abc, nullptr, LOCALE_USER_DEFAULT, 0));
    for (BSTR b : {abc, abc2, abd, upperB, lowerA, empty}) {
        SysFreeString(b);
    }
}

TEST(Bstr, VarBstrCmpIsCaseSensitive) {
    BSTR lower = SysAllocString(TEXT("{abc}"));
    BSTR upper = SysAllocString(TEXT("{ABC}"));
    EXPECT_NE(VARCMP_EQ, VarBstrCmp(lower, upper, LOCALE_USER_DEFAULT, 0));
    SysFreeString(lower);
    SysFreeString(upper);
}

TEST(PropVariant, LayoutPutsVectorWhereBlobIs) {
    PROPVARIANT value;
    EXPECT_EQ(24u, sizeof(PROPVARIANT));
    EXPECT_EQ(offsetof(PROPVARIANT, blob), offsetof(PROPVARIANT, cal));
    EXPECT_EQ(reinterpret_cast<char*>(&value.blob.cbSize),
              reinterpret_cast<char*>(&value.cal.cElems));
    EXPECT_EQ(reinterpret_cast<char*>(&value.blob.pBlobData),
              reinterpret_cast<char*>(&value.cal.pElems));
    EXPECT_EQ(8u, offsetof(PROPVARIANT, lVal));
}

TEST(PropVariant, ClearReleasesEveryTypeTheLibraryUses) {
    // Under a leak checker, anything not freed here shows up.
    std::vector<PROPVARIANT> values(7);
    for (PROPVARIANT& v : values) {
        PropVariantInit(&v);
    }
    values[0].vt = VT_I4;
    values[0].lVal = -5;
    values[1].vt = VT_LPWSTR;
    values[1].pwszVal = CoTaskString(TEXT("text"));
    values[2].vt = VT_BSTR;
    values[2].bstrVal = SysAllocString(TEXT("bstr"));
    values[3].vt = VT_BLOB;
    values[3].blob.cbSize = 8;
    values[3].blob.pBlobData = static_cast<BYTE*>(CoTaskMemAlloc(8));
    values[4].vt = VT_VECTOR | VT_I4;
    values[4].cal.cElems = 3;
    values[4].cal.pElems = static_cast<LONG*>(CoTaskMemAlloc(12));
    values[5].vt = VT_VECTOR | VT_LPWSTR;
    values[5].calpwstr.cElems = 2;
    values[5].calpwstr.pElems = static_cast<LPWSTR*>(CoTaskMemAlloc(2 * sizeof(LPWSTR)));
    values[5].calpwstr.pElems[0] = CoTaskString(TEXT("one"));
    values[5].calpwstr.pElems[1] = CoTaskString(TEXT("two"));
    values[6].vt = VT_VECTOR | VT_BSTR;
    values[6].cabstr.cElems = 2;
    values[6].cabstr.pElems = NewBstrArray({TEXT("one"), TEXT("two")});
    for (PROPVARIANT& v : values) {
        EXPECT_HR(S_OK, PropVariantClear(&v));
        EXPECT_EQ(VT_EMPTY, v.vt);
    }
}

TEST(PropVariant, Int32VectorRetypedAsBlobKeepsTheWords) {
    // The library's way to build a structured value: a task-allocated word array under a
    // VT_VECTOR|VT_I4 header, retyped in place into a blob of four times as many bytes.
    const LONG words[] = {3, 20, -1, 0x7FFFFFFF};
    PROPVARIANT value;
    PropVariantInit(&value);
    value.vt = VT_VECTOR | VT_I4;
    value.cal.cElems = 4;
    value.cal.pElems = static_cast<LONG*>(CoTaskMemAlloc(sizeof words));
    std::memcpy(value.cal.pElems, words, sizeof words);

    value.vt = VT_BLOB;
    value.blob.cbSize *= 4;
    ASSERT_EQ(16u, value.blob.cbSize);
    EXPECT_EQ(0, std::memcmp(value.blob.pBlobData, words, sizeof words));

    PROPVARIANT copy;
    PropVariantInit(&copy);
    ASSERT_HR(S_OK, PropVariantCopy(&copy, &value));
    EXPECT_EQ(VT_BLOB, copy.vt);
    ASSERT_EQ(16u, copy.blob.cbSize);
    EXPECT_NE(value.blob.pBlobData, copy.blob.pBlobData) << "a copy owns its bytes";
    EXPECT_EQ(0, std::memcmp(copy.blob.pBlobData, words, sizeof words));
    EXPECT_HR(S_OK, PropVariantClear(&copy));
    EXPECT_HR(S_OK, PropVariantClear(&value));
}

TEST(PropVariant, InitPropVariantFromInt32Vector) {
    const LONG words[] = {7, -8, 9};
    PROPVARIANT value;
    PropVariantInit(&value);
    if (vextest::RunningUnderWine()) {
        GTEST_SKIP() << "Wine's propsys exports InitPropVariantFromInt32Vector as a stub that "
                        "aborts the process";
    }
    const HRESULT hr = InitPropVariantFromInt32Vector(words, 3, &value);
    ASSERT_HR(S_OK, hr);
    EXPECT_EQ(VT_VECTOR | VT_I4, value.vt);
    ASSERT_EQ(3u, value.cal.cElems);
    EXPECT_EQ(-8, value.cal.pElems[1]);
    EXPECT_HR(S_OK, PropVariantClear(&value));
}

TEST(PropVariant, StringElementsOfVectorsAndSingles) {
    if (vextest::RunningUnderWine()) {
        GTEST_SKIP() << "Wine's propsys exports PropVariantGetElementCount and "
                        "PropVariantGetStringElem as stubs that abort the process";
    }
    ScopedPropVariant bstrs;
    PROPVARIANT* v = bstrs.Receive();
    v->vt = VT_VECTOR | VT_BSTR;
    v->cabstr.cElems = 2;
    v->cabstr.pElems = NewBstrArray({TEXT("{first}"), TEXT("{second}")});
    EXPECT_EQ(2u, PropVariantGetElementCount(bstrs.Get()));
    HRESULT hr = E_FAIL;
    EXPECT_TRUE(FetchString(bstrs.Get(), 0, &hr) == WString(TEXT("{first}")));
    EXPECT_HR(S_OK, hr);
    EXPECT_TRUE(FetchString(bstrs.Get(), 1, &hr) == WString(TEXT("{second}")));
    EXPECT_HR(S_OK, hr);
    FetchString(bstrs.Get(), 2, &hr);
    EXPECT_TRUE(FAILED(hr)) << "past the end gave " << vextest::Hex(hr);

    ScopedPropVariant strings;
    v = strings.Receive();
    v->vt = VT_VECTOR | VT_LPWSTR;
    v->calpwstr.cElems = 1;
    v->calpwstr.pElems = static_cast<LPWSTR*>(CoTaskMemAlloc(sizeof(LPWSTR)));
    v->calpwstr.pElems[0] = CoTaskString(TEXT("only"));
    EXPECT_EQ(1u, PropVariantGetElementCount(strings.Get()));
    EXPECT_TRUE(FetchString(strings.Get(), 0, &hr) == WString(TEXT("only")));
    EXPECT_HR(S_OK, hr);

    ScopedPropVariant single;
    v = single.Receive();
    v->vt = VT_LPWSTR;
    v->pwszVal = CoTaskString(TEXT("single"));
    EXPECT_EQ(1u, PropVariantGetElementCount(single.Get()));
    EXPECT_TRUE(FetchString(single.Get(), 0, &hr) == WString(TEXT("single")));
    EXPECT_HR(S_OK, hr);

    ScopedPropVariant empty;
    EXPECT_EQ(0u, PropVariantGetElementCount(empty.Get()));
}

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        const WCHAR text[] = TEXT("{97ACD2AB-83EC-494B-9FE4-922BCE1BD691}");
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, TEXT("APO_SFX"), 0, REG_SZ,
                                                reinterpret_cast<const BYTE*>(text), sizeof text));
        const DWORD number = 7;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExW(key, TEXT("Number"), 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&number), sizeof number));
        RegCloseKey(key);
    }
    void TearDown() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, kTestKey); }
};

TEST_F(Registry, ReadsPresentStringWithSizeQueryFirst) {
    HKEY key = nullptr;
    const WString path = WString(kTestKey) + TEXT("\\");
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key))
        << "a trailing backslash is accepted";
    DWORD bytes = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              RegGetValueW(key, nullptr, TEXT("APO_SFX"), RRF_RT_REG_SZ, nullptr, nullptr, &bytes));
    EXPECT_EQ(39u * sizeof(WCHAR), bytes);
    std::vector<WCHAR> text(bytes / sizeof(WCHAR));
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(key, nullptr, TEXT("APO_SFX"), RRF_RT_REG_SZ, nullptr,
                                          text.data(), &bytes));
    EXPECT_TRUE(WString(text.data()) == WString(TEXT("{97ACD2AB-83EC-494B-9FE4-922BCE1BD691}")));

    DWORD small = 4;
    WCHAR tiny[2];
    EXPECT_EQ(ERROR_MORE_DATA,
              RegGetValueW(key, nullptr, TEXT("APO_SFX"), RRF_RT_REG_SZ, nullptr, tiny, &small));
    EXPECT_EQ(39u * sizeof(WCHAR), small);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
}

TEST_F(Registry, MissingKeysValuesAndTypes) {
    HKEY key = nullptr;
    EXPECT_EQ(
        ERROR_FILE_NOT_FOUND,
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\VexNoSuchKey\\"), 0, KEY_READ, &key));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_READ, &key));
    DWORD bytes = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegGetValueW(key, nullptr, TEXT("APO_MFX"), RRF_RT_REG_SZ, nullptr, nullptr, &bytes));
    EXPECT_EQ(ERROR_UNSUPPORTED_TYPE,
              RegGetValueW(key, nullptr, TEXT("Number"), RRF_RT_REG_SZ, nullptr, nullptr, &bytes));
    RegCloseKey(key);
}

TEST_F(Registry, KeyNamesIgnoreCase) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("software\\vexplatformconformance"), 0,
                            KEY_READ, &key));
    DWORD bytes = 0;
    EXPECT_EQ(ERROR_SUCCESS,
              RegGetValueW(key, nullptr, TEXT("apo_sfx"), RRF_RT_REG_SZ, nullptr, nullptr, &bytes));
    RegCloseKey(key);
}

namespace {

const CLSID kTestClass = {
    0x5d1c2b7e, 0x3c41, 0x4f0e, {0x9a, 0x51, 0x6b, 0x2e, 0x11, 0x73, 0x0c, 0x42}};

std::atomic<int> g_liveObjects{0};

class TestObject final : public IUnknown {
public:
    TestObject() { ++g_liveObjects; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown)) {
            *object = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_refs;
        if (left == 0) {
            delete this;
        }
        return left;
    }

private:
    ~TestObject() { --g_liveObjects; }
    std::atomic<ULONG> m_refs{1};
};

class TestFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        auto* created = new TestObject();
        const HRESULT hr = created->QueryInterface(iid, object);
        created->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
    ULONG References() const { return m_refs; }

private:
    std::atomic<ULONG> m_refs{1};
};

}  // namespace

TEST(Com, RegisteredClassObjectServesCoCreateInstance) {
    ComApartment com;
    ASSERT_HR(S_OK, com.Result());
    TestFactory factory;
    DWORD cookie = 0;
    ASSERT_HR(S_OK, CoRegisterClassObject(kTestClass, &factory, CLSCTX_INPROC_SERVER,
                                          REGCLS_MULTIPLEUSE, &cookie));
    EXPECT_NE(0u, cookie);
    EXPECT_GT(factory.References(), 1u) << "the class table holds a reference";

    IUnknown* object = nullptr;
    ASSERT_HR(S_OK, CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, IID_IUnknown,
                                     reinterpret_cast<void**>(&object)));
    ASSERT_NE(nullptr, object);
    EXPECT_EQ(1, g_liveObjects.load());
    EXPECT_EQ(0u, object->Release());
    EXPECT_EQ(0, g_liveObjects.load());

    ASSERT_HR(S_OK, CoRevokeClassObject(cookie));
    EXPECT_EQ(1u, factory.References()) << "revoking drops the table's reference";
    object = reinterpret_cast<IUnknown*>(&factory);
    EXPECT_HR(REGDB_E_CLASSNOTREG, CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, IID_IUnknown,
                                                    reinterpret_cast<void**>(&object)));
    EXPECT_EQ(nullptr, object) << "the out-parameter is cleared on failure";
}

TEST(Com, UnknownClassIsNotRegistered) {
    ComApartment com;
    IUnknown* object = nullptr;
    EXPECT_HR(REGDB_E_CLASSNOTREG, CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, IID_IUnknown,
                                                    reinterpret_cast<void**>(&object)));
    EXPECT_EQ(nullptr, object);
}

TEST(Com, CoCreateInstanceWithoutInitialisationFails) {
    IUnknown* object = nullptr;
    EXPECT_HR(CO_E_NOTINITIALIZED, CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, IID_IUnknown,
                                                    reinterpret_cast<void**>(&object)));
    EXPECT_EQ(nullptr, object);
}

TEST(Com, InitialisationIsCountedPerThread) {
    EXPECT_HR(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    EXPECT_HR(S_FALSE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    EXPECT_HR(RPC_E_CHANGED_MODE, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    CoUninitialize();
    CoUninitialize();
    IUnknown* object = nullptr;
    EXPECT_HR(CO_E_NOTINITIALIZED, CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, IID_IUnknown,
                                                    reinterpret_cast<void**>(&object)))
        << "two initialisations need two uninitialisations";
}

TEST(Com, TaskAllocatorRoundTrip) {
    void* block = CoTaskMemAlloc(64);
    ASSERT_NE(nullptr, block);
    std::memset(block, 0xA5, 64);
    CoTaskMemFree(block);
    CoTaskMemFree(nullptr);
}

TEST(Guid, TextFormsRoundTrip) {
    CLSID clsid{};
    ASSERT_HR(S_OK, CLSIDFromString(TEXT("{97acd2ab-83ec-494b-9fe4-922bce1bd691}"), &clsid));
    EXPECT_EQ(0x97ACD2ABu, clsid.Data1);
    EXPECT_EQ(0x83ECu, clsid.Data2);
    EXPECT_EQ(0x494Bu, clsid.Data3);
    EXPECT_EQ(0x9Fu, clsid.Data4[0]);
    EXPECT_EQ(0x91u, clsid.Data4[7]);
    WCHAR text[39];
    EXPECT_EQ(39, StringFromGUID2(clsid, text, 39));
    EXPECT_TRUE(WString(text) == WString(TEXT("{97ACD2AB-83EC-494B-9FE4-922BCE1BD691}")));
    EXPECT_EQ(0, StringFromGUID2(clsid, text, 38)) << "too small a buffer";

    EXPECT_HR(CO_E_CLASSSTRING,
              CLSIDFromString(TEXT("{97acd2ab-83ec-494b-9fe4-922bce1bd69}"), &clsid));
    EXPECT_HR(CO_E_CLASSSTRING,
              CLSIDFromString(TEXT("{97acd2ab-83ec-494b-9fe4-922bce1bd6zz}"), &clsid));
}

TEST(SystemMessage, SystemTextEndsInLineBreak) {
    std::vector<HRESULT> codes = {E_INVALIDARG, E_FAIL, E_OUTOFMEMORY,
                                  static_cast<HRESULT>(0x80070490)};
    if (!vextest::RunningUnderWine()) {
        codes.push_back(REGDB_E_CLASSNOTREG);  // Wine has no text for it
    }
    for (HRESULT hr : codes) {
        const WString text = vextest::SystemMessage(hr);
        ASSERT_GE(text.size(), 3u) << vextest::Hex(hr) << " has a system text";
        EXPECT_EQ(u'\r', text[text.size() - 2]) << vextest::Hex(hr);
        EXPECT_EQ(u'\n', text[text.size() - 1]) << vextest::Hex(hr);
    }
    if (!vextest::RunningUnderWine()) {
        // Wine's texts are its own; the layer's follow Windows.
        EXPECT_TRUE(vextest::SystemMessage(E_INVALIDARG) ==
                    WString(TEXT("The parameter is incorrect.\r\n")));
    }
}

TEST(SystemMessage, CodeWithoutTextGivesNothing) {
    WCHAR* buffer = reinterpret_cast<WCHAR*>(static_cast<uintptr_t>(0x1));
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, 0xA0001234u, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    EXPECT_EQ(0u, length);
}

TEST(MultiByte, AnsiTextWidens) {
    WCHAR wide[8] = {};
    EXPECT_EQ(7, MultiByteToWideChar(CP_ACP, 0, "vex2.5", -1, wide, 8))
        << "the count includes the NUL";
    EXPECT_TRUE(WString(wide) == WString(TEXT("vex2.5")));
    EXPECT_EQ(6, MultiByteToWideChar(CP_THREAD_ACP, 0, "vex2.5", 6, nullptr, 0));
}
