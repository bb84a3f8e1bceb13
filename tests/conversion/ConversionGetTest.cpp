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

// Four records of six words each, `present` of them stored after the count.
Words Records(LONG count, size_t present) {
    Words words{count};
    for (size_t i = 0; i < present; ++i) {
        words.push_back(6);
        const Words record = Sequence(static_cast<LONG>(100 * (i + 1)), 6);
        words.insert(words.end(), record.begin(), record.end());
    }
    return words;
}

// A stored value read into `capacity` bytes: the result, the size reported, the words the
// buffer starts with (cleared past them) and nothing written past the capacity.
TEST(ConversionGet, StoredValuesWithinTheirLimits) {
    const Words initInfo = Join({Sequence(0, 10), {128}, Sequence(100, 32)});
    const auto marked = [&](LONG marker) {
        Words words = initInfo;
        words[10] = marker;
        return words;
    };
    const struct {
        const char* what;
        LONG id;
        Words stored;
        ULONG capacity;
        HRESULT hr;
        ULONG size;
        Words back = {};
        ULONG required = 0;  // the size a null buffer learns, when checked
    } cases[] = {
        {"5 records are more than four", 2116, Records(5, 5), 120, E_OUTOFMEMORY, 120, {5}},
        {"room for four records, whatever the count", 2116, Records(1, 1), 99, E_INVALIDARG, 100},
        {"a count beyond the records stored", 2116, Records(3, 2), 100, kMalformedStoredValue, 100},
        {"partial output: words past the counted ones",
         1156,
         {3, 2, 10, 11, 12, 13},
         24,
         S_OK,
         24,
         {3, 2, 10, 11},
         16},
        {"partial output: count 1 beyond the words", 1156, {0, 1}, 64, kMalformedStoredValue, 64},
        {"partial output: count 2^30", 1156, {0, 0x40000000}, 64, kMalformedStoredValue, 64},
        {"init info: a marker up to the words after it", 1161, initInfo, 168, S_OK, 168,
         Join({Sequence(0, 10), Sequence(100, 32)})},
        {"init info: marker 129", 1161, marked(129), 4096, kMalformedStoredValue, 4096},
        {"init info: shorter than this library stores", 1161, Join({Sequence(0, 10), {8, 5, 6}}),
         48, S_OK, 48, Join({Sequence(0, 10), {5, 6}}), 48},
        {"filter config: a count beyond the bytes", 2105, {9, 1, 2}, 64, kMalformedStoredValue, 64},
        {"filter config: a count above the capacity copies the capacity", 2105,
         Join({{-1}, Sequence(1, 520)}), 2084, S_OK, 2084, Join({{-1}, Sequence(1, 511)})},
        {"filter config: bytes past the count",
         2105,
         {2, 0x04030201, 0x08070605},
         12,
         S_OK,
         12,
         {2, 0x0201}},
        {"a scalar id holds no blob", 9999, {1}, 64, kMalformedStoredValue, 64},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const StoredValue stored = StoredValue::Blob(c.stored);
        if (c.required != 0) {
            EXPECT_EQ(c.required, RequiredSize(c.id, stored.Get()));
        }
        const GetOutcome got = Get(c.id, stored.Get(), c.capacity);
        EXPECT_HR(c.hr, got.hr);
        EXPECT_EQ(c.size, got.size);
        EXPECT_TRUE(got.guardIntact);
        const Words back = ToWords(got.bytes.data(), 4 * c.back.size());
        EXPECT_EQ(c.back, back);
        EXPECT_TRUE(AllZero(got.bytes, 4 * c.back.size()));
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

// Stored values whose shape does not fit their id: refused, the size left alone, nothing
// written past the buffer.
TEST(ConversionGet, MalformedStoredValues) {
    struct Case {
        LONG id;
        size_t shortest;  // bytes of the shortest blob that is taken
    };
    const Case cases[] = {
        {1114, 92}, {1119, 88}, {1123, 260}, {1156, 8}, {1161, 44}, {2105, 4}, {2107, 4},
        {2108, 88}, {2109, 4},  {2116, 4},   {2122, 4}, {2135, 4},  {2137, 4},
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
    const StoredValue shortInteger = StoredValue::Integer(VT_I2, 1);
    expectMalformed(9999, shortInteger.Get(), "a scalar id holds a VT_I4, not a VT_I2");
}
