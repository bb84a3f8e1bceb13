// The value texts of the set and get records.
#include "support/Layouts.h"
#include "support/TestSupport.h"

#include "conversion/ParameterConversion.h"

#include <cstring>
#include <vector>

namespace {

std::string Text(LONG id, const PROPVARIANT& value) {
    return vextest::Narrow(FormatParameterValue(id, value));
}

}  // namespace

TEST(FormatParameterValue, IntegersAreSignedDecimal) {
    PROPVARIANT value;
    PropVariantInit(&value);
    value.vt = VT_UI4;
    value.ulVal = 4294967295u;
    EXPECT_EQ("-1", Text(1101, value));
    value.vt = VT_I4;
    value.lVal = -2147483647 - 1;
    EXPECT_EQ("-2147483648", Text(1101, value));
    value.lVal = 0;
    EXPECT_EQ("0", Text(9999, value));
}

TEST(FormatParameterValue, BlobsAreWordListsWithoutTrailingSeparator) {
    auto three = vextest::ToBytes({1, -2, 3});
    EXPECT_EQ("1, -2, 3", Text(1114, vextest::BlobOver(three)));
    auto one = vextest::ToBytes({42});
    EXPECT_EQ("42", Text(1162, vextest::BlobOver(one)));
    std::vector<BYTE> seven = {1, 0, 0, 0, 2, 0, 0};
    EXPECT_EQ("1", Text(1114, vextest::BlobOver(seven))) << "a partial last word is dropped";
}

TEST(FormatParameterValue, ShortOrEmptyBuffersAreNull) {
    std::vector<BYTE> threeBytes = {1, 2, 3};
    EXPECT_EQ("NULL", Text(1114, vextest::BlobOver(threeBytes)));
    std::vector<BYTE> none;
    EXPECT_EQ("NULL", Text(1114, vextest::BlobOver(none)));
    PROPVARIANT empty;
    PropVariantInit(&empty);
    EXPECT_EQ("NULL", Text(1114, empty));
    PROPVARIANT nullData;
    PropVariantInit(&nullData);
    nullData.vt = VT_BLOB;
    nullData.blob.cbSize = 64;  // a count without data is never read
    EXPECT_EQ("NULL", Text(1114, nullData));
}

TEST(FormatParameterValue, FilterConfigurationIsBytes) {
    std::vector<BYTE> threeBytes = {0, 128, 255};
    EXPECT_EQ("0, 128, 255", Text(2105, vextest::BlobOver(threeBytes)));
}

TEST(FormatParameterValue, OtherTypesAreNamedNotRead) {
    // A string's pointer lies where a blob's count would: it must not be read as one.
    PROPVARIANT text;
    PropVariantInit(&text);
    text.vt = VT_LPWSTR;
    text.pwszVal = const_cast<LPWSTR>(TEXT("not a blob"));
    EXPECT_EQ("(type 31)", Text(1114, text));
    PROPVARIANT bstrs;
    PropVariantInit(&bstrs);
    bstrs.vt = VT_VECTOR | VT_BSTR;
    bstrs.cabstr.cElems = 1000;
    EXPECT_EQ("(type 4104)", Text(1114, bstrs));
}

TEST(FormatParameterValue, IntegerVectorsCountElements) {
    LONG words[] = {5, 6};
    PROPVARIANT vector;
    PropVariantInit(&vector);
    vector.vt = VT_VECTOR | VT_I4;
    vector.cal.cElems = 2;
    vector.cal.pElems = words;
    EXPECT_EQ("5, 6", Text(1114, vector));
}
