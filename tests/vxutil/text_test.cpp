#include "vxutil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// Reads every line the way the program does: while the cursor is not on the
// terminating zero.
std::vector<std::string> AllLines(const char* text) {
    std::vector<std::string> lines;
    const char* cursor = text;
    while (*cursor != '\0')
        lines.push_back(VxGetNextLine(cursor));
    return lines;
}

} // namespace

TEST(VxGetNextLine, SplitsAtCrLfAndStopsOnTheTerminator) {
    const char text[] = "ab\r\ncd";
    const char* cursor = text;
    EXPECT_EQ(VxGetNextLine(cursor), "ab");
    EXPECT_EQ(cursor, text + 4);
    EXPECT_EQ(VxGetNextLine(cursor), "cd");
    EXPECT_EQ(cursor, text + 6);
    // On the terminator the line is empty and the cursor stays put.
    EXPECT_EQ(VxGetNextLine(cursor), "");
    EXPECT_EQ(cursor, text + 6);
}

TEST(VxGetNextLine, LineEndRules) {
    EXPECT_EQ(AllLines("\r\n\r\n"), (std::vector<std::string>{"", ""}));
    // A lone LF is part of the line.
    EXPECT_EQ(AllLines("a\nb"), (std::vector<std::string>{"a\nb"}));
    // Whatever follows a CR is taken as its partner.
    EXPECT_EQ(AllLines("x\ry"), (std::vector<std::string>{"x"}));
    EXPECT_EQ(AllLines("x\ryz"), (std::vector<std::string>{"x", "z"}));
}

TEST(VxGetNextLine, TrailingLoneCrNeverPassesTheTerminator) {
    const char text[] = "last\r";
    const char* cursor = text;
    EXPECT_EQ(VxGetNextLine(cursor), "last");
    EXPECT_EQ(cursor, text + 5);
    EXPECT_EQ(*cursor, '\0');
}

TEST(VxGetNextToken, ConsumesBlankSeparatedWords) {
    std::string text = "alt.test 12 345";
    EXPECT_EQ(VxGetNextToken(text), "alt.test");
    EXPECT_EQ(text, "12 345");
    EXPECT_EQ(VxGetNextToken(text), "12");
    EXPECT_EQ(VxGetNextToken(text), "345");
    EXPECT_EQ(text, "");
    EXPECT_EQ(VxGetNextToken(text), "");
    EXPECT_EQ(text, "");
}

TEST(VxGetNextToken, RunsOfBlanksVanishAndTabsDoNotSeparate) {
    std::string padded = "  a  b  ";
    EXPECT_EQ(VxGetNextToken(padded), "a");
    EXPECT_EQ(padded, "b");

    std::string date = "Mon,  7 Dec";
    EXPECT_EQ(VxGetNextToken(date), "Mon,");
    EXPECT_EQ(date, "7 Dec");

    std::string tabbed = "one\ttwo three";
    EXPECT_EQ(VxGetNextToken(tabbed), "one\ttwo");
    EXPECT_EQ(tabbed, "three");
}

TEST(VxStrToInt, AcceptedForms) {
    EXPECT_EQ(VxStrToInt(" 42", 0), 42);
    EXPECT_EQ(VxStrToInt("+7", 0), 7);
    EXPECT_EQ(VxStrToInt("-15", 0), -15);
    EXPECT_EQ(VxStrToInt("007", 0), 7);
    EXPECT_EQ(VxStrToInt("2147483647", 0), 2147483647);
    EXPECT_EQ(VxStrToInt("-2147483648", 0), -2147483647 - 1);
    EXPECT_EQ(VxStrToInt("$1F", 0), 31);
    EXPECT_EQ(VxStrToInt("$ffffffff", 0), -1);
    EXPECT_EQ(VxStrToInt("$80000000", 0), -2147483647 - 1);
    EXPECT_EQ(VxStrToInt("  $77", 0), 119);
}

TEST(VxStrToInt, EverythingElseGivesTheDefault) {
    for (const char* text :
         {"", " ", "42 ", "4 2", "+", "-", "$", "-$1", "+$1", "$1G", "0x77", "12a", "\t42",
          "2147483648", "-2147483649", "99999999999999999999", "$100000000", "$0000000100000000"})
        EXPECT_EQ(VxStrToInt(text, -99), -99) << '"' << text << '"';
    EXPECT_EQ(VxStrToInt(std::string("1\0"
                                     "2",
                                     3),
                         5),
              5);
}

TEST(VxCharToStr, TrimsBlanksAndZerosAtTheEndsOnly) {
    char name[25];
    std::memset(name, ' ', sizeof name);
    std::memcpy(name, "Joe", 3);
    EXPECT_EQ(VxCharToStr(name, sizeof name), "Joe");

    const char inner[] = {'\0', 'a', '\0', 'b', ' ', '\0'};
    EXPECT_EQ(VxCharToStr(inner, sizeof inner), std::string("a\0b", 3));

    EXPECT_EQ(VxCharToStr(name, 0), "");
    EXPECT_EQ(VxCharToStr(name, -4), "");
}

TEST(VxCharToStr, HighBytesAreNotWhiteSpace) {
    const unsigned char field[] = {0xFF, ' ', 0xE9};
    EXPECT_EQ(VxCharToStr(field, 3), "\xFF \xE9");
}

TEST(VxStrToChar, LeftAlignsCutsAndPads) {
    char field[10];
    std::memset(field, '#', sizeof field);
    VxStrToChar(field, 8, "ABCDEFGHIJ");
    EXPECT_EQ(std::string(field, 10), "ABCDEFGH##");

    std::memset(field, '#', sizeof field);
    VxStrToChar(field, 6, "7");
    EXPECT_EQ(std::string(field, 10), "7     ####");

    std::memset(field, '#', sizeof field);
    VxStrToChar(field, 3, "");
    EXPECT_EQ(std::string(field, 10), "   #######");

    std::memset(field, '#', sizeof field);
    VxStrToChar(field, 0, "abc");
    VxStrToChar(field, -1, "abc");
    EXPECT_EQ(std::string(field, 10), "##########");
}

TEST(VxStrToChar, StoresASingleRawByte) {
    unsigned char flag = 0;
    VxStrToChar(&flag, 1, std::string(1, '\xFF'));
    EXPECT_EQ(flag, 255);
    EXPECT_EQ(VxCharToStr(&flag, 1), "\xFF");
}

namespace {
struct CountedItem : VxListItem {
    explicit CountedItem(std::vector<int>& released, int id) : released(released), id(id) {}
    ~CountedItem() override { released.push_back(id); }
    std::vector<int>& released;
    int id;
};
} // namespace

TEST(VxClearList, ReleasesEveryItemFromTheFront) {
    std::vector<int> released;
    VxList list;
    for (int id = 1; id <= 3; ++id)
        list.push_back(std::make_unique<CountedItem>(released, id));
    VxClearList(list);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(released, (std::vector<int>{1, 2, 3}));

    VxClearList(list);
    EXPECT_TRUE(list.empty());
}
