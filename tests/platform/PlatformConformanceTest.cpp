// The platform behaviour the library relies on. Built natively against the project's platform
// layer and cross-built against the real Windows API, so that under Wine these tests show the
// layer behaves like the real thing.
#include "support/TestSupport.h"

#include <cstring>
#include <vector>

TEST(Bstr, LengthPrefixCountsEmbeddedNuls) {
    const WCHAR text[] = {u'a', 0, u'b', 0, u'c'};
    BSTR bstr = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text), 5);
    ASSERT_NE(nullptr, bstr);
    EXPECT_EQ(5u, SysStringLen(bstr));
    EXPECT_EQ(0, bstr[5]) << "a BSTR is also NUL-terminated";
    EXPECT_EQ(u'c', bstr[4]);
    SysFreeString(bstr);

    BSTR plain = SysAllocString(TEXT("hello"));
    EXPECT_EQ(5u, SysStringLen(plain));
    SysFreeString(plain);

    EXPECT_EQ(nullptr, SysAllocString(nullptr));
    EXPECT_EQ(0u, SysStringLen(nullptr));
    SysFreeString(nullptr);

    BSTR blank = SysAllocStringLen(nullptr, 3);
    ASSERT_NE(nullptr, blank);
    EXPECT_EQ(3u, SysStringLen(blank));
    EXPECT_EQ(0, blank[3]);
    SysFreeString(blank);
}

// One row per comparison: locale order before case, a null BSTR as an empty one, case ignored
// only when asked, and NULs weighing nothing unless one leads.
TEST(Bstr, VarBstrCmpOrders) {
    struct Row {
        WString left;
        WString right;
        ULONG flags;
        HRESULT order;
        bool leftNull = false;
    };
    const Row rows[] = {
        {TEXT("abc"), TEXT("abc"), 0, VARCMP_EQ},
        {TEXT("abc"), TEXT("abd"), 0, VARCMP_LT},
        {TEXT("a"), TEXT("B"), 0, VARCMP_LT},
        {WString(), TEXT(""), 0, VARCMP_EQ, true},
        {WString(), TEXT("abc"), 0, VARCMP_LT, true},
        {TEXT("{abc}"), TEXT("{ABC}"), 0, VARCMP_LT},
        {TEXT("{abc}"), TEXT("{ABC}"), NORM_IGNORECASE, VARCMP_EQ},
        {TEXT("ABD"), TEXT("abc"), NORM_IGNORECASE, VARCMP_GT},
        {TEXT("a"), WString(TEXT("a\0"), 2), 0, VARCMP_EQ},
        {TEXT("ab"), WString(TEXT("a\0b"), 3), 0, VARCMP_EQ},
        {WString(TEXT("a\0b"), 3), WString(TEXT("a\0c"), 3), 0, VARCMP_LT},
        {WString(TEXT("a\0b"), 3), TEXT("a"), 0, VARCMP_GT},
        {WString(TEXT("\0b"), 2), TEXT("a"), 0, VARCMP_LT},
        {TEXT("a"), WString(TEXT("\0a"), 2), 0, VARCMP_GT},
        {WString(TEXT("\0"), 1), WString(), 0, VARCMP_GT},
    };
    for (const Row& row : rows) {
        BSTR left = row.leftNull
                        ? nullptr
                        : SysAllocStringLen(row.left.data(), static_cast<UINT>(row.left.size()));
        BSTR right = SysAllocStringLen(row.right.data(), static_cast<UINT>(row.right.size()));
        EXPECT_HR(row.order, VarBstrCmp(left, right, LOCALE_USER_DEFAULT, row.flags))
            << "row " << &row - rows;
        if (row.leftNull) {
            EXPECT_HR(2 - row.order, VarBstrCmp(right, left, LOCALE_USER_DEFAULT, row.flags))
                << "row " << &row - rows << " swapped";
        }
        SysFreeString(left);
        SysFreeString(right);
    }
}

TEST(Bstr, VarBstrCmpRefusesFlagsItDoesNotImplement) {
    if (vextest::RunningUnderWine()) {
        GTEST_SKIP() << "Wine honours the flags that ignore non-spacing marks, symbols, kana "
                        "type and width, and string sort; the platform layer implements only "
                        "NORM_IGNORECASE and refuses the others";
    }
    BSTR left = SysAllocString(TEXT("abc"));
    BSTR right = SysAllocString(TEXT("abc"));
    // Ignore non-spacing characters, symbols, kana type and width; string sort.
    for (ULONG flags : {0x2ul, 0x4ul, 0x10000ul, 0x20000ul, 0x1000ul, 0x1ul | 0x4ul}) {
        EXPECT_HR(E_INVALIDARG, VarBstrCmp(left, right, LOCALE_USER_DEFAULT, flags)) << flags;
    }
    SysFreeString(left);
    SysFreeString(right);
}

TEST(PropVariant, ClearReleasesWhatEveryTypeOwns) {
    struct Counted final : IUnknown {
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
        ULONG STDMETHODCALLTYPE Release() override { return --refs; }
        ULONG refs = 1;
    };
    // Each interface-holding type releases its object once.
    for (VARTYPE vt :
         {VT_UNKNOWN, VT_DISPATCH, VT_STREAM, VT_STORAGE, VT_STREAMED_OBJECT, VT_STORED_OBJECT}) {
        Counted object;
        object.AddRef();
        PROPVARIANT value;
        PropVariantInit(&value);
        value.vt = vt;
        value.punkVal = &object;
        EXPECT_HR(S_OK, PropVariantClear(&value)) << vt;
        EXPECT_EQ(1u, object.refs) << vt;
        EXPECT_EQ(VT_EMPTY, value.vt);
    }

    // Owned memory of the kinds stored values come in; under a leak checker anything not freed
    // shows up.
    std::vector<PROPVARIANT> values(6, PROPVARIANT{});
    values[0].vt = VT_CLSID;
    values[0].puuid = static_cast<CLSID*>(CoTaskMemAlloc(sizeof(CLSID)));
    values[1].vt = VT_BLOB;
    values[1].blob.cbSize = 4;
    values[1].blob.pBlobData = static_cast<BYTE*>(CoTaskMemAlloc(4));
    // Nested values: a BSTR and a task-allocated string.
    values[2].vt = VT_VECTOR | VT_VARIANT;
    values[2].capropvar.cElems = 2;
    values[2].capropvar.pElems = static_cast<PROPVARIANT*>(CoTaskMemAlloc(2 * sizeof(PROPVARIANT)));
    PropVariantInit(&values[2].capropvar.pElems[0]);
    values[2].capropvar.pElems[0].vt = VT_BSTR;
    values[2].capropvar.pElems[0].bstrVal = SysAllocString(TEXT("inner"));
    PropVariantInit(&values[2].capropvar.pElems[1]);
    values[2].capropvar.pElems[1].vt = VT_LPWSTR;
    values[2].capropvar.pElems[1].pwszVal = static_cast<LPWSTR>(CoTaskMemAlloc(8));
    values[3].vt = VT_VECTOR | VT_I4;
    values[3].cal.cElems = 3;
    values[3].cal.pElems = static_cast<LONG*>(CoTaskMemAlloc(12));
    values[4].vt = VT_VECTOR | VT_LPWSTR;
    values[4].calpwstr.cElems = 1;
    values[4].calpwstr.pElems = static_cast<LPWSTR*>(CoTaskMemAlloc(sizeof(LPWSTR)));
    values[4].calpwstr.pElems[0] = static_cast<LPWSTR>(CoTaskMemAlloc(8));
    values[5].vt = VT_VECTOR | VT_BSTR;
    values[5].cabstr.cElems = 2;
    values[5].cabstr.pElems = static_cast<BSTR*>(CoTaskMemAlloc(2 * sizeof(BSTR)));
    values[5].cabstr.pElems[0] = SysAllocString(TEXT("one"));
    values[5].cabstr.pElems[1] = SysAllocString(TEXT("two"));
    for (PROPVARIANT& v : values) {
        const VARTYPE vt = v.vt;
        EXPECT_HR(S_OK, PropVariantClear(&v)) << vt;
        EXPECT_EQ(VT_EMPTY, v.vt);
    }
}

TEST(PropVariant, ClearAcceptsExactlyTheTypesAValueMayHold) {
    // Each type with no data (null pointers, no elements): alone, as a vector, as a safe array
    // and by reference.
    const HRESULT Bad = STG_E_INVALIDPARAMETER;
    const struct {
        VARTYPE vt;
        HRESULT hr;
    } rows[] = {
        {VT_EMPTY, S_OK},
        {VT_ERROR, S_OK},
        {VT_VARIANT, Bad},
        {VT_UNKNOWN, S_OK},
        {15, Bad},
        {26, Bad},
        {VT_CLSID, S_OK},
        {73, Bad},
        {VT_VECTOR | VT_NULL, Bad},
        {VT_VECTOR | VT_VARIANT, S_OK},
        {VT_VECTOR | VT_UNKNOWN, Bad},
        {VT_VECTOR | VT_FILETIME, S_OK},
        {VT_VECTOR | VT_BLOB, Bad},
        {VT_ARRAY | VT_UNKNOWN, S_OK},
        {VT_ARRAY | VT_I8, Bad},
        {VT_ARRAY | VT_LPWSTR, Bad},
        {VT_BYREF | VT_I4, Bad},
    };
    for (const auto& row : rows) {
        PROPVARIANT value;
        PropVariantInit(&value);
        value.vt = row.vt;
        EXPECT_HR(row.hr, PropVariantClear(&value)) << row.vt;
        EXPECT_EQ(VT_EMPTY, value.vt) << row.vt;
    }
    // A refused value is emptied all the same.
    PROPVARIANT odd;
    PropVariantInit(&odd);
    odd.vt = 0x7FFF;
    odd.lVal = 5;
    EXPECT_HR(STG_E_INVALIDPARAMETER, PropVariantClear(&odd));
    EXPECT_EQ(VT_EMPTY, odd.vt);
    EXPECT_EQ(0, odd.lVal);
    EXPECT_HR(S_OK, PropVariantClear(nullptr));
}

TEST(PropVariant, ClearOfASafeArrayStopsTheProcess) {
    if (vextest::RunningUnderWine()) {
        GTEST_SKIP() << "Wine implements SAFEARRAY; the platform layer does not and stops";
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            PROPVARIANT value;
            PropVariantInit(&value);
            value.vt = VT_ARRAY | VT_I4;
            value.parray = reinterpret_cast<decltype(value.parray)>(&value);
            PropVariantClear(&value);
        },
        "PropVariantClear.*SAFEARRAY");
}

TEST(PropVariant, ClearOfAVectorWithoutItsElementsStopsTheProcess) {
    PROPVARIANT words;
    PropVariantInit(&words);
    words.vt = VT_VECTOR | VT_I4;
    words.cal.cElems = 3;
    EXPECT_HR(S_OK, PropVariantClear(&words)) << "elements that own nothing are not read";
    if (vextest::RunningUnderWine()) {
        GTEST_SKIP() << "Wine, as Windows, reads owning elements through the null pointer and "
                        "the process faults; the platform layer stops it with a message";
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (VARTYPE element : {VT_BSTR, VT_LPSTR, VT_LPWSTR, VT_CF, VT_VARIANT}) {
        EXPECT_DEATH(
            {
                PROPVARIANT value;
                PropVariantInit(&value);
                value.vt = VT_VECTOR | element;
                value.cal.cElems = 2;
                PropVariantClear(&value);
            },
            "PropVariantClear.*no element array")
            << element;
    }
}

TEST(Guid, TextFormsRoundTrip) {
    CLSID clsid{};
    ASSERT_HR(S_OK, CLSIDFromString(TEXT("{97acd2ab-83ec-494b-9fe4-922bce1bd691}"), &clsid));
    const CLSID expected = {
        0x97ACD2AB, 0x83EC, 0x494B, {0x9F, 0xE4, 0x92, 0x2B, 0xCE, 0x1B, 0xD6, 0x91}};
    EXPECT_TRUE(IsEqualGUID(expected, clsid));
    WCHAR text[39];
    EXPECT_EQ(39, StringFromGUID2(clsid, text, 39));
    EXPECT_TRUE(WString(text) == WString(TEXT("{97ACD2AB-83EC-494B-9FE4-922BCE1BD691}")));
    EXPECT_EQ(0, StringFromGUID2(clsid, text, 38)) << "too small a buffer";

    EXPECT_HR(CO_E_CLASSSTRING,
              CLSIDFromString(TEXT("{97acd2ab-83ec-494b-9fe4-922bce1bd69}"), &clsid));
    EXPECT_HR(CO_E_CLASSSTRING,
              CLSIDFromString(TEXT("{97acd2ab-83ec-494b-9fe4-922bce1bd6zz}"), &clsid));
    EXPECT_HR(E_INVALIDARG,
              CLSIDFromString(TEXT("{97acd2ab-83ec-494b-9fe4-922bce1bd691}"), nullptr));
}

TEST(MultiByte, EachCodePageDecodesItsOwnWay) {
    if (GetACP() != 1252) {
        GTEST_SKIP() << "the system's ANSI code page is " << GetACP() << ", not 1252";
    }
    struct Row {
        UINT codePage;
        const char* bytes;
        WString wide;  // empty: every byte is malformed, the text only U+FFFD
    };
    const Row rows[] = {
        {CP_ACP, "\xE9", TEXT("\u00E9")},
        {CP_THREAD_ACP, "\x80\x9F\xC3\xA9", TEXT("\u20AC\u0178\u00C3\u00A9")},
        {CP_UTF8, "\xC3\xA9\xF0\x9F\x98\x80", TEXT("\u00E9\U0001F600")},
        {CP_UTF8, "\xDF\xBF\xC3\x41", TEXT("\u07FF\uFFFDA")},  // a lead without its follower
        {CP_UTF8, "\xC0\x80", WString()},                      // overlong NUL
        {CP_UTF8, "\xF0\x80\x80\xAF", WString()},              // overlong
        {CP_UTF8, "\xED\xA0\x80", WString()},                  // a surrogate
        {CP_UTF8, "\xF4\x90\x80\x80", WString()},              // above U+10FFFF
        {CP_UTF8, "\xFF", WString()},
        {CP_UTF8, "\xE9", WString()},  // a lead byte cut short
    };
    for (const Row& row : rows) {
        const int bytes = static_cast<int>(std::strlen(row.bytes));
        WCHAR wide[8] = {};
        const int units = MultiByteToWideChar(row.codePage, 0, row.bytes, bytes, wide, 8);
        ASSERT_GT(units, 0) << row.bytes;
        if (row.wide.empty()) {
            for (int i = 0; i < units; ++i) {
                EXPECT_EQ(0xFFFD, wide[i]) << row.bytes << " unit " << i;
            }
            SetLastError(0);
            EXPECT_EQ(0, MultiByteToWideChar(row.codePage, MB_ERR_INVALID_CHARS, row.bytes, bytes,
                                             wide, 8))
                << row.bytes;
            EXPECT_EQ(static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION), GetLastError());
        } else {
            EXPECT_TRUE(WString(wide, static_cast<size_t>(units)) == row.wide) << row.bytes;
            EXPECT_EQ(units + 1, MultiByteToWideChar(row.codePage, 0, row.bytes, -1, nullptr, 0))
                << row.bytes << ": a size query, the count including the NUL";
        }
    }
}

TEST(MultiByte, RefusedArguments) {
    WCHAR wide[4];
    struct Row {
        const char* name;
        UINT codePage;
        DWORD flags;
        const char* text;
        int bytes;
        LPWSTR out;
        int capacity;
        DWORD error;
    };
    const Row rows[] = {
        {"no destination with a capacity", CP_ACP, 0, "ab", 2, nullptr, 4, ERROR_INVALID_PARAMETER},
        {"no text", CP_ACP, 0, nullptr, 2, wide, 4, ERROR_INVALID_PARAMETER},
        {"no bytes", CP_UTF8, 0, "ab", 0, wide, 4, ERROR_INVALID_PARAMETER},
        {"negative capacity", CP_UTF8, 0, "ab", 2, wide, -1, ERROR_INVALID_PARAMETER},
        {"unknown code page", 12345, 0, "ab", 2, wide, 4, ERROR_INVALID_PARAMETER},
        {"unknown flag", CP_ACP, 0x10, "ab", 2, wide, 4, ERROR_INVALID_FLAGS},
        {"too small", CP_UTF8, 0, "abcde", 5, wide, 4, ERROR_INSUFFICIENT_BUFFER},
    };
    for (const Row& row : rows) {
        SetLastError(0);
        EXPECT_EQ(0, MultiByteToWideChar(row.codePage, row.flags, row.text, row.bytes, row.out,
                                         row.capacity))
            << row.name;
        EXPECT_EQ(row.error, GetLastError()) << row.name;
    }
}
