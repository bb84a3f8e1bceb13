// The value texts of the set and get records.
#include "support/TestSupport.h"

#include "conversion/ParameterConversion.h"

#include <cstring>
#include <vector>

namespace {

// A blob over bytes the test owns (the value is only read).
PROPVARIANT Blob(std::vector<BYTE>& bytes) {
    PROPVARIANT value;
    PropVariantInit(&value);
    value.vt = VT_BLOB;
    value.blob.cbSize = static_cast<ULONG>(bytes.size());
    value.blob.pBlobData = bytes.empty() ? nullptr : bytes.data();
    return value;
}

std::vector<BYTE> Words(std::initializer_list<int32_t> words) {
    std::vector<BYTE> bytes(words.size() * 4);
    std::memcpy(bytes.data(), words.begin(), bytes.size());
    return bytes;
}

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
    auto three = Words({1, -2, 3});
    EXPECT_EQ("1, -2, 3", Text(1114, Blob(three)));
    auto one = Words({42});
    EXPECT_EQ("42", Text(1162, Blob(one)));
    std::vector<BYTE> seven = {1, 0, 0, 0, 2, 0, 0};
    EXPECT_EQ("1", Text(1114, Blob(seven))) << "a partial last word is dropped";
}

TEST(FormatParameterValue, ShortOrEmptyBuffersAreNull) {
    std::vector<BYTE> threeBytes = {1, 2, 3};
    EXPECT_EQ("NULL", Text(1114, Blob(threeBytes)));
    std::vector<BYTE> none;
    EXPECT_EQ("NULL", Text(1114, Blob(none)));
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
    EXPECT_EQ("0, 128, 255", Text(2105, Blob(threeBytes)));
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
