// The value texts of the set and get records.
#include "support/Layouts.h"
#include "support/TestSupport.h"

#include "conversion/ParameterConversion.h"

#include <vector>

namespace {

PROPVARIANT Typed(VARTYPE type) {
    PROPVARIANT value;
    PropVariantInit(&value);
    value.vt = type;
    return value;
}

}  // namespace

TEST(FormatParameterValue, EachTypeAndShape) {
    PROPVARIANT unsignedMax = Typed(VT_UI4);
    unsignedMax.ulVal = 4294967295u;
    std::vector<BYTE> three = vextest::ToBytes({1, -2, 3});
    std::vector<BYTE> seven = {1, 0, 0, 0, 2, 0, 0};
    std::vector<BYTE> threeBytes = {0, 128, 255};
    PROPVARIANT nullData = Typed(VT_BLOB);
    nullData.blob.cbSize = 64;  // a count without data is never read
    // A string's pointer lies where a blob's count would: it must not be read as one.
    PROPVARIANT text = Typed(VT_LPWSTR);
    text.pwszVal = const_cast<LPWSTR>(TEXT("not a blob"));
    PROPVARIANT bstrs = Typed(VT_VECTOR | VT_BSTR);
    bstrs.cabstr.cElems = 1000;
    LONG words[] = {5, 6};
    PROPVARIANT vector = Typed(VT_VECTOR | VT_I4);
    vector.cal.cElems = 2;
    vector.cal.pElems = words;
    const struct {
        LONG id;
        PROPVARIANT value;
        const char* text;
    } cases[] = {
        {1101, unsignedMax, "-1"},
        {1114, vextest::BlobOver(three), "1, -2, 3"},
        {1114, vextest::BlobOver(seven), "1"},  // a partial last word is dropped
        {1114, Typed(VT_EMPTY), "NULL"},
        {1114, nullData, "NULL"},
        {2105, vextest::BlobOver(threeBytes), "0, 128, 255"},
        {1114, text, "(type 31)"},
        {1114, bstrs, "(type 4104)"},
        {1114, vector, "5, 6"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.text, vextest::Narrow(FormatParameterValue(c.id, c.value))) << c.text;
    }
}
