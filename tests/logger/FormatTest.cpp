// The message formatter: the Microsoft meanings of the conversions, and safety with any format.
#include "support/TestSupport.h"

#include "util/Format.h"

#include <cstdint>

using Util::Format;

namespace {

std::string F(const WString& text) {
    return vextest::Narrow(text);
}

}  // namespace

TEST(Format, WideAndNarrowStrings) {
    const WString wide = TEXT("wide");
    EXPECT_EQ("[wide|narrow]", F(Format(TEXT("[%s|%S]"), wide, "narrow")));
    EXPECT_EQ("[ab]", F(Format(TEXT("[%.2s]"), TEXT("abcdef"))));
    EXPECT_EQ("[   ab|cd   ]", F(Format(TEXT("[%5s|%-5S]"), TEXT("ab"), "cd")));
    EXPECT_EQ("[]", F(Format(TEXT("[%s]"), TEXT(""))));
}

TEST(Format, SignedAndUnsignedIntegers) {
    EXPECT_EQ("-42 0 2147483647", F(Format(TEXT("%d %d %d"), -42, 0, 2147483647)));
    EXPECT_EQ("4294967295", F(Format(TEXT("%u"), -1)));
    EXPECT_EQ("-1", F(Format(TEXT("%d"), 4294967295u))) << "%d reads the bits as signed";
    EXPECT_EQ("[   42|42   |00042|-0042]",
              F(Format(TEXT("[%5d|%-5d|%05d|%05d]"), 42, 42, 42, -42)));
    EXPECT_EQ("7, ", F(Format(TEXT("%0d, "), 7))) << "the 0 flag without a width changes nothing";
}

TEST(Format, HexadecimalWithPrecisionAndLengthModifiers) {
    EXPECT_EQ("80070057", F(Format(TEXT("%.8x"), static_cast<HRESULT>(0x80070057))));
    EXPECT_EQ("00000001", F(Format(TEXT("%.8x"), 1)));
    EXPECT_EQ("0000deadbeef1234", F(Format(TEXT("%.16llx"), 0xDEADBEEF1234ull)));
    EXPECT_EQ("ffffffffffffffff", F(Format(TEXT("%.16llx"), -1))) << "a signed value widens";
    EXPECT_EQ("8004FFFF", F(Format(TEXT("%0lX"), 0x8004FFFFu)));
    EXPECT_EQ("ffffffff", F(Format(TEXT("%x"), -1LL))) << "without ll only 32 bits are read";
    EXPECT_EQ("-5", F(Format(TEXT("%lld"), -5)));
}

TEST(Format, PercentAndUnknownConversionsAreLiteral) {
    EXPECT_EQ("100%", F(Format(TEXT("%d%%"), 100)));
    EXPECT_EQ("a %q b", F(Format(TEXT("a %q b"))));
    EXPECT_EQ("trailing %", F(Format(TEXT("trailing %"))));
    EXPECT_EQ("half %5", F(Format(TEXT("half %5"))));
}

TEST(Format, MissingOrMismatchedArgumentsNeverReadBeyondTheList) {
    EXPECT_EQ("1 %d %s", F(Format(TEXT("%d %d %s"), 1)));
    EXPECT_EQ("%d", F(Format(TEXT("%d"), TEXT("text")))) << "a text never prints as a number";
    EXPECT_EQ("%s and 5", F(Format(TEXT("%s and %d"), 4, 5)));
}

TEST(Format, HugeWidthsAreClamped) {
    const WString text = Format(TEXT("%999999999d"), 1);
    EXPECT_LE(text.size(), 4096u);
    EXPECT_EQ(u'1', text.back());
}

TEST(Format, BuiltFormatsWork) {
    // A format built at run time, as the parameter-value rendering does.
    const WString element = Format(TEXT("%s%%%d%s%s"), TEXT(""), 0, TEXT("d"), TEXT(", "));
    EXPECT_EQ("%0d, ", F(element));
    EXPECT_EQ("-3, ", F(Format(element.c_str(), -3)));
}
