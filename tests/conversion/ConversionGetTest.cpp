// Property values to raw bytes: the size protocol, the limits of counted values and records,
// and stored values that do not have the shape their id needs.
#include "support/Conversion.h"

#include <climits>
#include <string>

using namespace convtest;

TEST(ConversionGet, NullSizeOrBufferIsRefused) {
    const StoredValue stored = StoredValue::Integer(VT_I4, 5);
    BYTE buffer[4] = {};
    EXPECT_HR(E_INVALIDARG, ConvertPropVariantToParameter(1500, buffer, nullptr, stored.Get()));
    const GetOutcome null = Get(1500, stored.Get(), 64, true);
    EXPECT_HR(E_INVALIDARG, null.hr);
    EXPECT_EQ(4u, null.size);
}

TEST(ConversionGet, RecordLimits) {
    const auto records = [](LONG count, size_t present) {
        Words words{count};
        for (size_t i = 0; i < present; ++i) {
            words.push_back(6);
            const Words record = Sequence(static_cast<LONG>(100 * (i + 1)), 6);
            words.insert(words.end(), record.begin(), record.end());
        }
        return StoredValue::Blob(words);
    };
    for (const LONG count : {5, -1, INT_MIN}) {
        SCOPED_TRACE("count " + std::to_string(count) + " is more than four records");
        const StoredValue stored = records(count, 5);
        const GetOutcome got = Get(2116, stored.Get(), 120);
        EXPECT_HR(E_OUTOFMEMORY, got.hr);
        EXPECT_EQ(count, ToWords(got.bytes.data(), 4)[0]) << "the count is written";
        EXPECT_TRUE(AllZero(got.bytes, 4));
    }
    {
        SCOPED_TRACE("the buffer must hold four records, whatever the count");
        const StoredValue stored = records(1, 1);
        const GetOutcome got = Get(2116, stored.Get(), 99);
        EXPECT_HR(E_INVALIDARG, got.hr);
        EXPECT_EQ(100u, got.size);
    }
    {
        SCOPED_TRACE("a count beyond the records stored");
        const StoredValue stored = records(3, 2);
        const GetOutcome got = Get(2116, stored.Get(), 100);
        EXPECT_HR(kMalformedStoredValue, got.hr);
        EXPECT_EQ(100u, got.size);
        EXPECT_TRUE(got.guardIntact);
    }
}

// Counted values: at most 8 channel values and 160 gains come back, the count is taken
// without sign, and the values stored bound it too.
TEST(ConversionGet, CountedValuesAreLimited) {
    struct Case {
        LONG id;
        LONG count;
        size_t present;  // values in the stored value
        size_t copied;   // values expected back
    };
    const Case cases[] = {
        {2137, 10, 10, 8}, {2137, 8, 8, 8},       {2137, -1, 3, 3},   {2138, INT_MIN, 9, 8},
        {2138, 0, 4, 0},   {2107, 200, 200, 160}, {2107, 1000, 5, 5}, {2107, 0x40000001, 3, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("id " + std::to_string(c.id) + ", count " + std::to_string(c.count) + ", " +
                     std::to_string(c.present) + " values");
        const Words words = Join({{c.count}, Sequence(500, c.present)});
        const StoredValue stored = StoredValue::Blob(words);
        const ULONG required = static_cast<ULONG>(words.size() * 4);
        EXPECT_EQ(required, RequiredSize(c.id, stored.Get()));
        const GetOutcome got = Get(c.id, stored.Get(), required);
        ASSERT_HR(S_OK, got.hr);
        EXPECT_TRUE(got.guardIntact);
        const Words back = ToWords(got.bytes.data(), got.bytes.size());
        EXPECT_EQ(c.count, back[0]);
        EXPECT_EQ(Sequence(500, c.copied), Words(back.begin() + 1, back.begin() + 1 + c.copied));
        EXPECT_TRUE(AllZero(got.bytes, 4 * (1 + c.copied)));
    }
}

// A 1119 value with fewer than ten rows asks for exactly what it writes.
TEST(ConversionGet, OptimizerRowsThatAreStored) {
    for (const size_t rows : {0, 1, 9, 10}) {
        SCOPED_TRACE(std::to_string(rows) + " rows");
        Words words = Join({{rows == 0 ? 1 : 2}, {20}, Sequence(1, 20)});
        for (size_t r = 0; r < rows; ++r) {
            words.push_back(20);
            const Words row = Sequence(static_cast<LONG>(1000 * (r + 1)), 20);
            words.insert(words.end(), row.begin(), row.end());
        }
        words.push_back(20);  // the start of a row that is not whole
        words.push_back(77);
        const StoredValue stored = StoredValue::Blob(words);
        const ULONG required = static_cast<ULONG>(84 + 80 * rows);
        EXPECT_EQ(required, RequiredSize(1119, stored.Get()));
        const GetOutcome got = Get(1119, stored.Get(), required);
        ASSERT_HR(S_OK, got.hr);
        EXPECT_TRUE(got.guardIntact);
        const Words back = ToWords(got.bytes.data(), got.bytes.size());
        EXPECT_EQ(Sequence(1, 20), Words(back.begin() + 1, back.begin() + 21));
        for (size_t r = 0; r < rows; ++r) {
            EXPECT_EQ(Sequence(static_cast<LONG>(1000 * (r + 1)), 20),
                      Words(back.begin() + 21 + 20 * r, back.begin() + 41 + 20 * r));
        }
    }
}

TEST(ConversionGet, PartialOutputMode) {
    // Words past the counted ones are not written.
    const StoredValue stored = StoredValue::Blob(Words{3, 2, 10, 11, 12, 13});
    EXPECT_EQ(16u, RequiredSize(1156, stored.Get()));
    const GetOutcome got = Get(1156, stored.Get(), 24);
    ASSERT_HR(S_OK, got.hr);
    EXPECT_EQ(ToBytes({3, 2, 10, 11, 0, 0}), got.bytes);
}

TEST(ConversionGet, InitInfoLengthWord) {
    const Words stored = Join({Sequence(0, 10), {32}, Sequence(100, 32)});
    {
        SCOPED_TRACE("a marker up to the words stored after it");
        Words words = stored;
        words[10] = 128;
        const StoredValue value = StoredValue::Blob(words);
        const GetOutcome got = Get(1161, value.Get(), 168);
        ASSERT_HR(S_OK, got.hr);
        EXPECT_EQ(Join({Sequence(0, 10), Sequence(100, 32)}),
                  ToWords(got.bytes.data(), got.bytes.size()));
    }
    for (const LONG marker : {129, -1}) {
        SCOPED_TRACE("marker " + std::to_string(marker));
        Words words = stored;
        words[10] = marker;
        const StoredValue value = StoredValue::Blob(words);
        const GetOutcome got = Get(1161, value.Get(), 4096);
        EXPECT_HR(kMalformedStoredValue, got.hr);
        EXPECT_EQ(4096u, got.size);
    }
    {
        SCOPED_TRACE("a shorter value than this library stores");
        const StoredValue value = StoredValue::Blob(Join({Sequence(0, 10), {8}, {5, 6}}));
        EXPECT_EQ(48u, RequiredSize(1161, value.Get()));
        const GetOutcome got = Get(1161, value.Get(), 48);
        ASSERT_HR(S_OK, got.hr);
        EXPECT_EQ(Join({Sequence(0, 10), {5, 6}}), ToWords(got.bytes.data(), 48));
    }
}

TEST(ConversionGet, FilterConfigCount) {
    {
        SCOPED_TRACE("a count beyond the bytes stored");
        const StoredValue stored = StoredValue::Blob(Words{9, 1, 2});
        const GetOutcome got = Get(2105, stored.Get(), 64);
        EXPECT_HR(kMalformedStoredValue, got.hr);
        EXPECT_EQ(64u, got.size);
    }
    {
        SCOPED_TRACE("a stored count above the capacity copies the capacity");
        Words words = Join({{-1}, Sequence(1, 520)});
        const StoredValue stored = StoredValue::Blob(words);
        const GetOutcome got = Get(2105, stored.Get(), 2084);
        ASSERT_HR(S_OK, got.hr);
        EXPECT_EQ(words[511], ToWords(got.bytes.data(), 2048)[511]);
        EXPECT_TRUE(AllZero(got.bytes, 2048));
    }
    {
        SCOPED_TRACE("bytes past the count are not copied");
        const StoredValue stored = StoredValue::Blob(Words{2, 0x04030201, 0x08070605});
        const GetOutcome got = Get(2105, stored.Get(), 12);
        ASSERT_HR(S_OK, got.hr);
        EXPECT_EQ((Bytes{2, 0, 0, 0, 1, 2, 0, 0, 0, 0, 0, 0}), got.bytes);
    }
}

// Stored values whose shape does not fit their id: refused, the size left alone, nothing
// written past the buffer.
TEST(ConversionGet, MalformedStoredValues) {
    struct Case {
        LONG id;
        size_t shortest;  // bytes of the shortest blob that is taken
    };
    const Case cases[] = {
        {1114, 92}, {1122, 92}, {1119, 88}, {1123, 260}, {1170, 260}, {1156, 8},
        {1161, 44}, {2105, 4},  {2107, 4},  {2108, 88},  {2109, 4},   {2116, 4},
        {2122, 4},  {2135, 4},  {2137, 4},  {2138, 4},
    };
    const ULONG capacity = 1024;
    const auto expectMalformed = [&](LONG id, const PROPVARIANT& value, const char* what) {
        SCOPED_TRACE(what);
        const GetOutcome got = Get(id, value, capacity);
        EXPECT_HR(kMalformedStoredValue, got.hr);
        EXPECT_EQ(capacity, got.size) << "the size is left alone";
        EXPECT_TRUE(AllZero(got.bytes));
        EXPECT_TRUE(got.guardIntact);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("id " + std::to_string(c.id));
        const StoredValue shortest = StoredValue::Blob(Bytes(c.shortest, 0));
        EXPECT_TRUE(SUCCEEDED(Get(c.id, shortest.Get(), capacity).hr)) << "the shortest is taken";

        // One byte short of its words, empty, without memory, and integers for a blob.
        const StoredValue refused[] = {
            StoredValue::Blob(Bytes(c.shortest - 1, 0)), StoredValue::Blob(Bytes()),
            StoredValue::NullBlob(static_cast<ULONG>(c.shortest)), StoredValue::Integer(VT_I4, 20),
            StoredValue::Integer(VT_UI4, 20)};
        for (const StoredValue& value : refused) {
            expectMalformed(c.id, value.Get(), "refused");
        }
    }
    {
        SCOPED_TRACE("drc metadata is taken as stored, but needs its memory");
        const StoredValue noMemory = StoredValue::NullBlob(72);
        expectMalformed(1162, noMemory.Get(), "a blob without memory");
        const StoredValue integer = StoredValue::Integer(VT_I4, 1);
        expectMalformed(1162, integer.Get(), "a VT_I4");
        const StoredValue odd = StoredValue::Blob(Bytes{1, 2, 3});
        const GetOutcome got = Get(1162, odd.Get(), 3);
        ASSERT_HR(S_OK, got.hr);
        EXPECT_EQ((Bytes{1, 2, 3}), got.bytes);
    }
    {
        SCOPED_TRACE("a scalar id holds an integer");
        const StoredValue blob = StoredValue::Blob(Words{1});
        expectMalformed(9999, blob.Get(), "a blob");
        const StoredValue shortInteger = StoredValue::Integer(VT_I2, 1);
        expectMalformed(9999, shortInteger.Get(), "a VT_I2");
    }
    {
        SCOPED_TRACE("a count beyond the partial output words stored");
        for (const LONG k : {1, -1, 0x40000000}) {
            const StoredValue stored = StoredValue::Blob(Words{0, k});
            expectMalformed(1156, stored.Get(), "count");
        }
    }
}
