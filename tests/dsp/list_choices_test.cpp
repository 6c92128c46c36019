#include "modules/dsp/list_choices.h"

#include "framework/value_display.h"
#include "tests/support/fake_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace qem {
namespace {

using test::FakeHost;
using Items = std::vector<std::pair<std::string, std::int32_t>>;

Items itemsOf(const ChoiceList& list) {
    EXPECT_EQ(list.names.size(), list.values.size());
    Items items;
    for (std::size_t i = 0; i < std::min(list.names.size(), list.values.size()); ++i)
        items.emplace_back(list.names[i], list.values[i]);
    return items;
}

std::string repeated(const std::string& piece, std::size_t times) {
    std::string s;
    for (std::size_t i = 0; i < times; ++i) s += piece;
    return s;
}

struct ParseCase {
    std::string text;
    Items items;
};

TEST(ParseChoices, ListTextTable) {
    const ParseCase cases[] = {
        {kDefaultListChoices,
         {{"Zero", 0}, {"One", 1}, {"Two", 2}, {"Three", 3}, {"Four", 4}, {"Five", 5}, {"Six", 6},
          {"Seven", 7}, {"Eight", 8}, {"Nine", 9}, {"Ten", 10}, {"Twenty", 20}, {"Fifty", 50},
          {"One Hundred", 100}}},
        {"A,B=5,C", {{"A", 0}, {"B", 5}, {"C", 6}}},
        {"A,,B", {{"A", 0}, {"B", 1}}},
        {",A,", {{"A", 0}}},
        {"Solo", {{"Solo", 0}}},
        {"A=3,B=3", {{"A", 3}, {"B", 3}}},
        {"A = 7,B", {{"A ", 7}, {"B", 8}}},
        {"=5,B", {{"=5", 0}, {"B", 1}}},
        {"A=,B", {{"A", 0}, {"B", 1}}},
        {"A=x,B", {{"A", 0}, {"B", 1}}},
        {"A=-2,B", {{"A", -2}, {"B", -1}}},
        {"A=010,B=0x10,C=08", {{"A", 8}, {"B", 16}, {"C", 0}}},
        {"A=5th,B", {{"A", 5}, {"B", 6}}},
        {"A=B=C", {{"A", 0}}},
        {"", {}},
    };
    for (const ParseCase& c : cases) EXPECT_EQ(itemsOf(parseChoices(c.text)), c.items) << '"' << c.text << '"';
}

TEST(ParseChoices, WhereFaultsCouldHide) {
    const ParseCase cases[] = {
        // Beyond the 32-bit range: clamped, and the next implicit value
        // counts on from the clamp (wrapping past the top).
        {"A=99999999999,B", {{"A", INT32_MAX}, {"B", INT32_MIN}}},
        {"A=-99999999999,B", {{"A", INT32_MIN}, {"B", INT32_MIN + 1}}},
        {"A=0x7fffffff,B", {{"A", INT32_MAX}, {"B", INT32_MIN}}},
        {"A=2147483647,B,C", {{"A", INT32_MAX}, {"B", INT32_MIN}, {"C", INT32_MIN + 1}}},
        {"A=-1,B,C", {{"A", -1}, {"B", 0}, {"C", 1}}},
        // An explicit value resets the count, also downwards.
        {"A=10,B,C=2,D", {{"A", 10}, {"B", 11}, {"C", 2}, {"D", 3}}},
        // An item with an "=" at its start keeps the count going.
        {"A=4,=9,B", {{"A", 4}, {"=9", 5}, {"B", 6}}},
        // Empty items never advance the count.
        {",,,A=1,,,,B,,", {{"A", 1}, {"B", 2}}},
        {",", {}},
        {",,", {}},
        // Names keep everything before the first "=", spaces and odd bytes
        // included; only "," splits.
        {" A ,B\t=1", {{" A ", 0}, {"B\t", 1}}},
        {"A;B=2", {{"A;B", 2}}},
        {"\xE9t\xE9=3", {{"\xE9t\xE9", 3}}},
        {"A==5", {{"A", 0}}},
        {"=", {{"=", 0}}},
        {"A=", {{"A", 0}}},
    };
    for (const ParseCase& c : cases) EXPECT_EQ(itemsOf(parseChoices(c.text)), c.items) << '"' << c.text << '"';
}

TEST(ParseChoices, LongListsKeepCountingToTheEnd) {
    // 999 bytes of one-letter items: 500 items, values 0..499.
    std::string text = repeated("A,", 499) + "B";
    ASSERT_EQ(text.size(), 999u);
    ChoiceList list = parseChoices(text);
    ASSERT_EQ(list.values.size(), 500u);
    EXPECT_EQ(list.values.front(), 0);
    EXPECT_EQ(list.names.back(), "B");
    EXPECT_EQ(list.values.back(), 499);

    // One item whose value has 997 digits: clamps, no overflow.
    std::string huge = "A=" + repeated("9", 997);
    EXPECT_EQ(itemsOf(parseChoices(huge)), (Items{{"A", INT32_MAX}}));
    std::string hugeNegative = "A=-" + repeated("7", 996);
    EXPECT_EQ(itemsOf(parseChoices(hugeNegative)), (Items{{"A", INT32_MIN}}));
}

TEST(ChoiceNumber, ReadsLikeStrtolWithAutomaticBase) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"", 0},
        {"x", 0},
        {"7", 7},
        {"+7", 7},
        {"-7", -7},
        {"  \t\n\v\f\r42", 42},        // every C white space before the number
        {" -42", -42},
        {"- 42", 0},                    // no space between sign and digits
        {"+-1", 0},
        {"0", 0},
        {"-0", 0},
        {"010", 8},
        {"-010", -8},
        {"08", 0},                      // octal stops at the 8
        {"0779", 63},
        {"0x10", 16},
        {"0X1f", 31},
        {"0xFFz", 255},
        {"-0x10", -16},
        {"0x", 0},                      // no hex digit: just the 0
        {"0xg", 0},
        {"12abc", 12},
        {"1 2", 1},
        {"2147483647", INT32_MAX},
        {"2147483648", INT32_MAX},
        {"4294967296", INT32_MAX},
        {"99999999999", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"-99999999999", INT32_MIN},
        {"0x7fffffff", INT32_MAX},
        {"0x80000000", INT32_MAX},
        {"0xffffffff", INT32_MAX},
        {"0x100000000", INT32_MAX},
        {"-0x80000000", INT32_MIN},
        {"-0x80000001", INT32_MIN},
        {"017777777777", INT32_MAX},
        {"020000000000", INT32_MAX},
        {"-020000000000", INT32_MIN},
        {"18446744073709551617", INT32_MAX}, // 2^64 + 1: must not wrap to 1
        {"-18446744073709551617", INT32_MIN},
    };
    for (auto [text, value] : cases) EXPECT_EQ(choiceNumber(text), value) << '"' << text << '"';
}

TEST(ChoiceNumber, StopsAtTheEndOfTheGivenText) {
    // The text handed over is a slice of a longer list: digits past its end
    // must not be read.
    std::string_view list = "123456";
    EXPECT_EQ(choiceNumber(list.substr(0, 3)), 123);
    EXPECT_EQ(choiceNumber(std::string_view("0x1f", 2)), 0);
}

TEST(ChoiceSuffixOf, DefaultListLookups) {
    const std::pair<std::int32_t, const char*> cases[] = {
        {0, " - Zero"},  {3, " - Three"}, {10, " - Ten"},  {20, " - Twenty"}, {50, " - Fifty"},
        {100, " - One Hundred"}, {11, " - ???"}, {21, " - ???"}, {-1, " - ???"}, {32767, " - ???"},
        {-32768, " - ???"},
    };
    for (auto [value, suffix] : cases) EXPECT_EQ(choiceSuffixOf(kDefaultListChoices, value), suffix) << value;
}

TEST(ChoiceSuffixOf, FirstMatchWinsAndEmptyListsNameNothing) {
    EXPECT_EQ(choiceSuffixOf("A=3,B=3", 3), " - A");
    EXPECT_EQ(choiceSuffixOf("A=3,B=2,C", 3), " - A"); // C is 3 too
    EXPECT_EQ(choiceSuffixOf("", 0), " - ???");
    EXPECT_EQ(choiceSuffixOf(",,,", 0), " - ???");
    EXPECT_EQ(choiceSuffixOf("A=0x7fffffff,B", INT32_MIN), " - B");
    EXPECT_EQ(choiceSuffixOf("A = 7", 7), " - A ");
    EXPECT_EQ(choiceSuffixOf(repeated("A,", 499) + "B", 499), " - B");
}

TEST(ChoiceKey, TruncatesTowardZeroAndSaturates) {
    const std::pair<float, std::int32_t> cases[] = {
        {0.0f, 0},
        {3.0f, 3},
        {-1.0f, -1},
        {2.9f, 2},
        {-2.9f, -2},
        {16777216.0f, 16777216},
        {static_cast<float>(16777217), 16777216}, // the float keeps 24 bits
        {-2147483648.0f, INT32_MIN},
        {2147483648.0f, INT32_MAX},               // 2147483647 as a float
        {1e20f, INT32_MAX},
        {-1e20f, INT32_MIN},
    };
    for (auto [f, key] : cases) EXPECT_EQ(choiceKey(f), key) << f;
}

// --- reading the list from the host ---------------------------------------

class Panel : public ValueDisplay {
public:
    using ValueDisplay::ValueDisplay;
};

class ReadChoicesText : public ::testing::Test {
protected:
    FakeHost host;
    Panel panel{host.callback(), 0};
};

TEST_F(ReadChoicesText, AsksForThePinsListWithRoomForAThousandUnits) {
    host.choices[5] = u"A=1,B";
    host.clear();
    EXPECT_EQ(readChoicesText(panel, 5), "A=1,B");
    ASSERT_EQ(host.requests.size(), 1u);
    const test::Request& r = host.requests[0];
    EXPECT_TRUE(r.is(PanelReqGetChoices, 5, 1000));
    EXPECT_EQ(r.record, panel.record());
    EXPECT_NE(r.ptr, nullptr);
}

TEST_F(ReadChoicesText, ConvertsToTheAnsiCodePage) {
    host.choices[2] = u"Caf\u00e9=1,\u20ac=2,\u4e2d";
    // Natively the stand-in converts to Windows-1252, as a Western Windows does.
#if !defined(_WIN32)
    EXPECT_EQ(readChoicesText(panel, 2), "Caf\xE9=1,\x80=2,?");
#else
    EXPECT_EQ(readChoicesText(panel, 2).substr(0, 7), "Caf\xE9=1,");
#endif
}

TEST_F(ReadChoicesText, UnterminatedThousandUnitsKeepTheFirst999) {
    host.answer = [](const test::Request& r) -> std::optional<HostWord> {
        if (r.op != PanelReqGetChoices) return std::nullopt;
        auto* out = static_cast<char16_t*>(r.ptr);
        std::fill(out, out + r.value, u'A'); // every unit, no terminator
        return r.value;
    };
    std::string text = readChoicesText(panel, 2);
    EXPECT_EQ(text, std::string(999, 'A'));
    EXPECT_EQ(std::strlen(text.c_str()), 999u);
}

TEST_F(ReadChoicesText, AHostThatWritesNothingGivesTheEmptyText) {
    host.answer = [](const test::Request& r) -> std::optional<HostWord> {
        if (r.op == PanelReqGetChoices) return 0;
        return std::nullopt;
    };
    EXPECT_EQ(readChoicesText(panel, 2), "");
    EXPECT_EQ(choiceSuffix(panel, 2, 0), " - ???");
}

TEST_F(ReadChoicesText, ChoiceSuffixReadsTheListAnewAtEveryLookup) {
    host.choices[2] = u"A=1";
    EXPECT_EQ(choiceSuffix(panel, 2, 1), " - A");
    host.choices[2] = u"B=1";
    EXPECT_EQ(choiceSuffix(panel, 2, 1), " - B");
    EXPECT_EQ(host.count(PanelReqGetChoices), 2);
}

TEST_F(ReadChoicesText, The999thByteStillCounts) {
    // 998 bytes of filler and a last item named "Z": the name sits at byte
    // 999 and must be found; one byte more and it would be cut.
    std::u16string list(996, u'x');
    list += u",Z"; // 998 units
    host.choices[2] = list + u"Q";
    EXPECT_EQ(choiceSuffix(panel, 2, 1), " - ZQ");
    host.answer = [](const test::Request& r) -> std::optional<HostWord> {
        if (r.op != PanelReqGetChoices) return std::nullopt;
        auto* out = static_cast<char16_t*>(r.ptr);
        std::fill(out, out + 996, u'x');
        out[996] = u',';
        std::fill(out + 997, out + 1000, u'Z'); // unterminated: "ZZZ", of which "ZZ" fits
        return 1000;
    };
    EXPECT_EQ(choiceSuffix(panel, 2, 1), " - ZZ");
}

// --- a conversion that does not fit ----------------------------------------

// A double-byte code page as a stand-in: units below 0x80 are one byte,
// everything else two. Like WideCharToMultiByte, when the result does not fit
// it fails with 0 and leaves the buffer full and unterminated.
int doubleByteConvert(const char16_t* wide, int length, char* out, int capacity) {
    int need = 0;
    for (int i = 0; i < length; ++i) need += wide[i] < 0x80 ? 1 : 2;
    if (need > capacity) {
        std::memset(out, '#', static_cast<std::size_t>(capacity));
        return 0;
    }
    int n = 0;
    for (int i = 0; i < length; ++i) {
        if (wide[i] < 0x80) {
            out[n++] = static_cast<char>(wide[i]);
        } else {
            out[n++] = '\x81';
            out[n++] = static_cast<char>(0x40 + (wide[i] & 0x3F));
        }
    }
    return n;
}

int alwaysFails(const char16_t*, int, char* out, int capacity) {
    std::memset(out, '#', static_cast<std::size_t>(capacity));
    return 0;
}

TEST(ChoicesTextFromWide, AConversionThatDoesNotFitKeepsTheLongestPartThatDoes) {
    char16_t wide[kChoicesCapacity] = {};
    // "A=1," then 600 two-byte units: 4 + 1200 bytes, far past 999.
    const char16_t head[] = u"A=1,";
    std::copy(head, head + 4, wide);
    std::fill(wide + 4, wide + 604, u'\u4e2d');
    std::string text = choicesTextFromWide(wide, &doubleByteConvert);
    // 4 single bytes and 497 double-byte characters fill 998 bytes; a 498th
    // would need 1000.
    EXPECT_EQ(text.size(), 998u);
    EXPECT_EQ(text.substr(0, 4), "A=1,");
    EXPECT_EQ(text.find('#'), std::string::npos);
    EXPECT_EQ(choiceSuffixOf(text, 1), " - A");
    EXPECT_EQ(choiceSuffixOf(text, 2).size(), 3u + 994u);
}

TEST(ChoicesTextFromWide, NeverCutsASurrogatePairInHalf) {
    char16_t wide[kChoicesCapacity] = {};
    // 997 one-byte units, then a pair: the high half would fit (two bytes
    // make 999), the whole pair would not.
    std::fill(wide, wide + 997, u'a');
    wide[997] = 0xD83D;
    wide[998] = 0xDE00;
    std::string text = choicesTextFromWide(wide, &doubleByteConvert);
    EXPECT_EQ(text, std::string(997, 'a'));
}

TEST(ChoicesTextFromWide, AConversionThatAlwaysFailsGivesTheEmptyText) {
    char16_t wide[kChoicesCapacity] = {};
    std::fill(wide, wide + 10, u'a');
    EXPECT_EQ(choicesTextFromWide(wide, &alwaysFails), "");
}

TEST(ChoicesTextFromWide, AnUnterminatedBufferConvertsNoMoreThan999Units) {
    char16_t wide[kChoicesCapacity];
    std::fill(wide, wide + kChoicesCapacity, u'b');
    int longest = 0;
    static int* seen = nullptr;
    seen = &longest;
    auto spy = [](const char16_t* w, int length, char* out, int capacity) {
        *seen = std::max(*seen, length);
        return doubleByteConvert(w, length, out, capacity);
    };
    EXPECT_EQ(choicesTextFromWide(wide, spy), std::string(999, 'b'));
    EXPECT_EQ(longest, 999);
}

} // namespace
} // namespace qem
