// Every structured layout set and read back: the stored words with their markers, the size a
// get asks for, and the same bytes coming back.
#include "ConversionTestSupport.h"

#include <string>
#include <utility>

using namespace convtest;

namespace {

struct RoundTrip {
    LONG id;
    Bytes caller;                                // the caller's layout
    size_t storedWords;                          // words of the stored blob
    std::vector<std::pair<size_t, LONG>> marks;  // stored word index and the marker there
    ULONG required;                              // what a get asks for
};

// Markers `value` at word `first`, then every `stride` words, `count` times.
std::vector<std::pair<size_t, LONG>> Marks(size_t first, size_t stride, size_t count, LONG value) {
    std::vector<std::pair<size_t, LONG>> marks;
    for (size_t i = 0; i < count; ++i) {
        marks.emplace_back(first + i * stride, value);
    }
    return marks;
}

Bytes FilterConfig(ULONG n) {
    Bytes bytes = ToBytes({static_cast<LONG>(n)});
    for (ULONG i = 0; i < n; ++i) {
        bytes.push_back(static_cast<BYTE>(0x40 + i));
    }
    return bytes;
}

std::vector<RoundTrip> RoundTrips() {
    return {
        {1114, ToBytes(Join({{7}, Sequence(100, 40)})), 43, Marks(1, 21, 2, 20), 164},
        {1122, ToBytes(Join({{-3}, Sequence(-500, 40)})), 43, Marks(1, 21, 2, 20), 164},
        {1119, ToBytes(Join({{10}, Sequence(1000, 220)})), 232, Marks(1, 21, 11, 20), 884},
        {1123, ToBytes(Join({{4}, Sequence(2000, 80)})), 85, Marks(1, 21, 4, 20), 324},
        {1170, ToBytes(Join({{2}, Sequence(3000, 80)})), 85, Marks(1, 21, 4, 20), 324},
        {1156, ToBytes({9, 5, 11, 12, 13, 14, 15}), 7, {{1, 5}}, 28},
        {1156, ToBytes({9, 0}), 2, {{1, 0}}, 8},
        {1161, ToBytes(Sequence(4000, 42)), 43, {{10, 32}}, 168},
        {1162, ToBytes(Sequence(5000, 18)), 18, {}, 72},
        {2105, FilterConfig(10), 4, {{0, 10}}, 16},
        {2105, FilterConfig(2044), 512, {{0, 2044}}, 2048},
        {2107, ToBytes(Join({{12}, Sequence(6000, 12)})), 13, {{0, 12}}, 52},
        {2107, ToBytes(Join({{160}, Sequence(6000, 160)})), 161, {{0, 160}}, 644},
        {2108, ToBytes(Sequence(7000, 40)), 42, Marks(0, 21, 2, 20), 160},
        {2109, ToBytes(Sequence(8000, 20)), 21, {{0, 20}}, 80},
        {2116, ToBytes(Join({{3}, Sequence(9000, 18)})), 22, Marks(1, 7, 3, 6), 100},
        {2116, ToBytes(Join({{4}, Sequence(9000, 24)})), 29, Marks(1, 7, 4, 6), 100},
        {2122, ToBytes(Sequence(10000, 8)), 9, {{0, 8}}, 32},
        {2135, ToBytes(Sequence(11000, 5)), 6, {{0, 5}}, 20},
        {2137, ToBytes(Join({{6}, Sequence(12000, 6)})), 7, {{0, 6}}, 28},
        {2138, ToBytes({2, 1, 0}), 3, {{0, 2}}, 12},
    };
}

}  // namespace

// Set, check the stored layout, then get: a null buffer and one byte too few report the
// required size, a buffer of that size takes the value back, and the bytes are the caller's
// (followed by zeros where the required size is larger than the layout).
TEST(ConversionRoundTrip, EveryStructuredIdReadsBackWhatWasSet) {
    for (const RoundTrip& trip : RoundTrips()) {
        SCOPED_TRACE("id " + std::to_string(trip.id) + ", " + std::to_string(trip.caller.size()) +
                     " bytes");
        const Bytes before = trip.caller;
        const ConvertedParameter converted = ConvertParameterToPropVariant(
            trip.id, trip.caller.data(), static_cast<ULONG>(trip.caller.size()));
        ASSERT_TRUE(converted.Valid());
        EXPECT_HR(S_OK, converted.Result());
        EXPECT_EQ(before, trip.caller) << "the caller's bytes are only read";

        const Words stored = StoredWords(converted.Value());
        ASSERT_EQ(trip.storedWords, stored.size());
        for (const auto& [index, marker] : trip.marks) {
            EXPECT_EQ(marker, stored[index]) << "stored word " << index;
        }

        EXPECT_EQ(trip.required, RequiredSize(trip.id, converted.Value()));
        const GetOutcome small = Get(trip.id, converted.Value(), trip.required - 1);
        EXPECT_HR(E_INVALIDARG, small.hr);
        EXPECT_EQ(trip.required, small.size) << "the same size is reported again";
        EXPECT_TRUE(AllZero(small.bytes)) << "a refused get still clears the buffer";
        EXPECT_TRUE(small.guardIntact);

        const GetOutcome got = Get(trip.id, converted.Value(), trip.required);
        ASSERT_HR(S_OK, got.hr);
        EXPECT_EQ(trip.required, got.size) << "the size is left as the caller gave it";
        EXPECT_TRUE(got.guardIntact);
        const size_t common = std::min(trip.caller.size(), got.bytes.size());
        EXPECT_EQ(Bytes(trip.caller.begin(), trip.caller.begin() + common),
                  Bytes(got.bytes.begin(), got.bytes.begin() + common));
        EXPECT_TRUE(AllZero(got.bytes, common)) << "past the layout the buffer stays cleared";
    }
}

// A larger buffer than required: the value comes back the same, the rest of the declared
// capacity is cleared and the size stays the caller's.
TEST(ConversionRoundTrip, LargerBufferIsClearedPastTheValue) {
    for (const RoundTrip& trip : RoundTrips()) {
        SCOPED_TRACE("id " + std::to_string(trip.id));
        const ConvertedParameter converted = ConvertParameterToPropVariant(
            trip.id, trip.caller.data(), static_cast<ULONG>(trip.caller.size()));
        ASSERT_TRUE(converted.Valid());
        const ULONG capacity = trip.required + 40;
        const GetOutcome got = Get(trip.id, converted.Value(), capacity);
        ASSERT_HR(S_OK, got.hr);
        EXPECT_EQ(capacity, got.size);
        EXPECT_TRUE(got.guardIntact);
        const size_t common = std::min<size_t>(trip.caller.size(), trip.required);
        EXPECT_TRUE(
            std::equal(trip.caller.begin(), trip.caller.begin() + common, got.bytes.begin()));
        EXPECT_TRUE(AllZero(got.bytes, common));
    }
}

TEST(ConversionRoundTrip, ScalarIdsTravelAsOneInteger) {
    for (const LONG id : {1001, 1113, 1115, 1171, 2104, 2106, 2110, 2136, 2139, 3002, 9999, -1}) {
        SCOPED_TRACE("id " + std::to_string(id));
        const Bytes caller = ToBytes({-123456, 77});
        const ConvertedParameter converted =
            ConvertParameterToPropVariant(id, caller.data(), static_cast<ULONG>(caller.size()));
        ASSERT_TRUE(converted.Valid());
        ASSERT_EQ(VT_I4, converted.Value().vt);
        EXPECT_EQ(-123456, converted.Value().lVal) << "only the first word is taken";

        const GetOutcome got = Get(id, converted.Value(), 4);
        ASSERT_HR(S_OK, got.hr);
        EXPECT_EQ(Bytes(caller.begin(), caller.begin() + 4), got.bytes);
    }
}

// The one-line value a caller of the export hands on: PropVariantClear on a released value
// frees the blob, and the object left behind holds nothing.
TEST(ConversionRoundTrip, ReleasedValueIsTheCallersToClear) {
    const Bytes caller = ToBytes(Sequence(1, 20));
    ConvertedParameter converted =
        ConvertParameterToPropVariant(2109, caller.data(), static_cast<ULONG>(caller.size()));
    ASSERT_TRUE(converted.Valid());
    PROPVARIANT value = converted.Release();
    EXPECT_EQ(VT_BLOB, value.vt);
    EXPECT_EQ(VT_EMPTY, converted.Value().vt);
    EXPECT_HR(S_OK, PropVariantClear(&value));
    EXPECT_EQ(VT_EMPTY, value.vt);
}
