// Every structured layout set and read back: the stored words with their markers, the size a
// get asks for, and the same bytes coming back.
#include "support/Conversion.h"

#include <algorithm>
#include <string>

using namespace convtest;

using vextest::Layout;
using vextest::Layouts;

// Set, check the stored layout, then get: one byte too few reports the required size, that
// size takes the caller's bytes back (zeros past the layout), a larger buffer the same.
TEST(ConversionRoundTrip, EveryStructuredIdReadsBackWhatWasSet) {
    for (const Layout& trip : Layouts()) {
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

        const GetOutcome roomy = Get(trip.id, converted.Value(), trip.required + 40);
        ASSERT_HR(S_OK, roomy.hr);
        EXPECT_EQ(trip.required + 40, roomy.size) << "a larger size stays the caller's";
        EXPECT_TRUE(roomy.guardIntact);
        EXPECT_EQ(got.bytes, Bytes(roomy.bytes.begin(), roomy.bytes.begin() + trip.required));
        EXPECT_TRUE(AllZero(roomy.bytes, trip.required)) << "the rest of the capacity is cleared";
    }
}
