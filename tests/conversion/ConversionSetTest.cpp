// Raw bytes to property values: the filter-configuration capacity, the drc metadata, and
// layouts that the caller's bytes do not cover.
#include "support/Conversion.h"

#include "support/TraceCapture.h"

#include <climits>
#include <string>

using namespace convtest;

namespace {

Bytes FilterConfig(ULONG n, size_t payload) {
    Bytes bytes = ToBytes({static_cast<LONG>(n)});
    for (size_t i = 0; i < payload; ++i) {
        bytes.push_back(static_cast<BYTE>(0x11 * (i % 15 + 1)));
    }
    return bytes;
}

ConvertedParameter Set(LONG id, const Bytes& bytes) {
    return ConvertParameterToPropVariant(id, bytes.data(), static_cast<ULONG>(bytes.size()));
}

const char kTooLarge[] =
    "Filter config is too large to set, capacity = 2044 bytes, asked = 2045. Clear filter "
    "config to null.";

}  // namespace

// The words a set stores: the filter configuration up to its capacity, a record list of no
// records, and nothing of the bytes past a layout.
TEST(ConversionSet, WhatASetStores) {
    const struct {
        LONG id;
        Bytes caller;
        Words stored;        // expected stored words (only the first ones); none: refused
        size_t storedWords;  // expected word count
    } cases[] = {
        {2105, FilterConfig(0, 0), {0}, 1},
        {2105, FilterConfig(5, 5), {5, 0x44332211, 0x55}, 3},
        {2105, FilterConfig(2044, 2044), {2044, 0x44332211}, 512},
        {2105, FilterConfig(2045, 2045), {}, 0},
        {2105, FilterConfig(0xFFFFFFFF, 16), {}, 0},
        {2116, ToBytes({0}), {0}, 1},
        {2137, ToBytes(Join({{2, 10, 20}, Sequence(99, 30)})), {2, 10, 20}, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("id " + std::to_string(c.id) + ", " + std::to_string(c.caller.size()) +
                     " bytes");
        const Bytes before = c.caller;
        const ConvertedParameter converted = Set(c.id, c.caller);
        EXPECT_EQ(before, c.caller) << "the caller's buffer is left untouched";
        if (c.stored.empty()) {
            EXPECT_HR(E_INVALIDARG, converted.Result()) << "too large to set";
            EXPECT_EQ(VT_EMPTY, converted.Value().vt);
            continue;
        }
        ASSERT_TRUE(converted.Valid());
        const Words stored = StoredWords(converted.Value());
        ASSERT_EQ(c.storedWords, stored.size());
        EXPECT_EQ(c.stored, Words(stored.begin(), stored.begin() + c.stored.size()));
        if (c.id == 2105) {
            EXPECT_EQ(0, std::memcmp(stored.data() + 1, c.caller.data() + 4, stored[0]));
        }
    }
}

TEST(ConversionSet, FilterConfigTooLargeIsRecorded) {
    VEX_REQUIRE_TRACE_CONTROLLER();
    vextest::TraceSession session(2, 0x400);
    const Bytes caller = FilterConfig(2045, 0);
    EXPECT_FALSE(Set(2105, caller).Valid());
    const auto records = vextest::RecordsContaining("Filter config");
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(2, records[0].level);
    EXPECT_EQ(0x400u, records[0].keyword);
    const std::string& text = records[0].text;
    EXPECT_EQ(0u, text.rfind("[Orv3VexControl.cpp:", 0)) << text;
    const std::string tail = std::string("] ConvertParameterToPropVariant: ") + kTooLarge;
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(tail, text.substr(text.size() - tail.size())) << text;
}

TEST(ConversionSet, DrcMetadataWithoutBytesIsZero) {
    const Bytes full = ToBytes(Sequence(1, 18));
    struct Case {
        const char* what;
        const BYTE* data;
        ULONG size;
    };
    const Case cases[] = {
        {"null pointer, size 72", nullptr, 72},
        {"bytes, size 0", full.data(), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ConvertedParameter converted = ConvertParameterToPropVariant(1162, c.data, c.size);
        ASSERT_TRUE(converted.Valid());
        EXPECT_EQ(Words(18, 0), StoredWords(converted.Value()));
    }
    const ConvertedParameter partial = ConvertParameterToPropVariant(1162, full.data(), 71);
    EXPECT_HR(E_INVALIDARG, partial.Result()) << "71 bytes do not cover the 72-byte layout";
}

// Each layout one byte short, and without a buffer: refused, nothing stored (the drc metadata
// takes whatever it is given).
TEST(ConversionSet, ShortOrMissingBufferIsRefused) {
    for (const vextest::Layout& layout : vextest::Layouts()) {
        if (layout.id == 1162) {
            continue;
        }
        SCOPED_TRACE("id " + std::to_string(layout.id) + ", " +
                     std::to_string(layout.caller.size()) + " bytes");
        const auto complete = static_cast<ULONG>(layout.caller.size());
        for (const ULONG size : {complete - 1, ULONG{0}}) {
            const ConvertedParameter refused =
                ConvertParameterToPropVariant(layout.id, layout.caller.data(), size);
            EXPECT_FALSE(refused.Valid()) << size << " bytes";
            EXPECT_HR(E_INVALIDARG, refused.Result());
            EXPECT_EQ(VT_EMPTY, refused.Value().vt);
        }
        EXPECT_HR(E_INVALIDARG,
                  ConvertParameterToPropVariant(layout.id, nullptr, complete).Result())
            << "no buffer";
    }
    const Bytes onlyW0 = ToBytes({0, 0});
    EXPECT_HR(E_INVALIDARG, ConvertParameterToPropVariant(1156, onlyW0.data(), 4).Result())
        << "1156 without its count word";
}

// Counts are taken without sign: a negative one asks for more than any buffer holds, and
// so does one whose byte count only wraps to something small in 32 bits.
TEST(ConversionSet, NegativeAndWrappingCountsAreRefused) {
    struct Case {
        LONG id;
        Words head;
    };
    const Case cases[] = {
        {1156, {0, -1}}, {1156, {0, 0x40000000}}, {2107, {-1}},         {2107, {0x40000000}},
        {2116, {-1}},    {2116, {0x0AAAAAAB}},    {2137, {0x3FFFFFFF}}, {2138, {INT_MIN}},
    };
    Words padding(1024, 7);
    for (const Case& c : cases) {
        SCOPED_TRACE("id " + std::to_string(c.id) + ", count " + std::to_string(c.head.back()));
        const Bytes bytes = ToBytes(Join({c.head, padding}));
        const ConvertedParameter converted = Set(c.id, bytes);
        EXPECT_FALSE(converted.Valid());
        EXPECT_HR(E_INVALIDARG, converted.Result());
    }
}
