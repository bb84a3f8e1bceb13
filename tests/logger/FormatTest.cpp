// The message formatter: the Microsoft meanings of the conversions, and safety with any format.
#include "support/TestSupport.h"

#include "util/Format.h"

#include <cstdint>
#include <utility>

using Util::Format;

// One row per format: the text expected, and the text formatted.
TEST(Format, ConversionsAndTheirSafety) {
    const WString wide = TEXT("wide");
    // A format built at run time, as the parameter-value rendering does.
    const WString built = Format(TEXT("%s%%%d%s%s"), TEXT(""), 0, TEXT("d"), TEXT(", "));
    // clang-format off
    const std::pair<const char*, WString> rows[] = {
        // Wide and narrow strings.
        {"[wide|narrow]", Format(TEXT("[%s|%S]"), wide, "narrow")},
        {"[ab]", Format(TEXT("[%.2s]"), TEXT("abcdef"))},
        {"[   ab|cd   ]", Format(TEXT("[%5s|%-5S]"), TEXT("ab"), "cd")},
        // Signed and unsigned integers: %d reads the bits as signed.
        {"-42 0 2147483647", Format(TEXT("%d %d %d"), -42, 0, 2147483647)},
        {"4294967295", Format(TEXT("%u"), -1)},
        {"-1", Format(TEXT("%d"), 4294967295u)},
        {"[   42|42   |00042|-0042]", Format(TEXT("[%5d|%-5d|%05d|%05d]"), 42, 42, 42, -42)},
        // Hexadecimal with precision and length modifiers: a signed value widens; without ll
        // only 32 bits are read.
        {"80070057", Format(TEXT("%.8x"), static_cast<HRESULT>(0x80070057))},
        {"0000deadbeef1234", Format(TEXT("%.16llx"), 0xDEADBEEF1234ull)},
        {"ffffffffffffffff", Format(TEXT("%.16llx"), -1)},
        {"8004FFFF", Format(TEXT("%0lX"), 0x8004FFFFu)},
        {"ffffffff", Format(TEXT("%x"), -1LL)},
        // Percent and unknown conversions are literal.
        {"100%", Format(TEXT("%d%%"), 100)},
        {"a %q b", Format(TEXT("a %q b"))},
        {"trailing %", Format(TEXT("trailing %"))},
        // Missing or mismatched arguments never read beyond the list; a text is never a number; 0
        // without a width is nothing.
        {"1 %d %s", Format(TEXT("%d %d %s"), 1)},
        {"%d", Format(TEXT("%d"), TEXT("text"))},
        {"%s and 5", Format(TEXT("%s and %d"), 4, 5)},
        {"%0d, ", built},
        {"-3, ", Format(built.c_str(), -3)},
    };
    // clang-format on
    for (const auto& [expected, text] : rows) {
        EXPECT_EQ(expected, vextest::Narrow(text));
    }
    const WString huge = Format(TEXT("%999999999d"), 1);
    EXPECT_LE(huge.size(), 4096u) << "a huge width is clamped";
    EXPECT_EQ(u'1', huge.back());
}
