// The text holder behind every text property of the archive components.
#include "archive/tlpstr.h"
#include "unattended.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>

namespace {

TEST(TextHolder, StartsWithoutTextAndGrowsToWhatItIsGiven) {
    TLPStr holder;
    EXPECT_EQ(holder.Text(), nullptr);
    EXPECT_FALSE(holder.Fixed());

    holder.SetText("MYBBS.QWK");
    ASSERT_NE(holder.Text(), nullptr);
    EXPECT_STREQ(holder.Text(), "MYBBS.QWK");
    EXPECT_EQ(holder.Capacity(), 10);

    holder.SetText("");
    ASSERT_NE(holder.Text(), nullptr) << "an empty text is a zero byte, not a null address";
    EXPECT_EQ(holder.Text()[0], '\0');

    holder.SetText(static_cast<const char*>(nullptr));
    EXPECT_EQ(holder.Text(), nullptr);
}

TEST(TextHolder, FixedHolderCutsLongTextsAndKeepsItsBuffer) {
    TLPStr holder(5);
    EXPECT_TRUE(holder.Fixed());
    holder.SetText("0123456789");
    EXPECT_STREQ(holder.Text(), "0123");
    EXPECT_EQ(holder.Capacity(), 5);

    char* const buffer = holder.Text();
    holder.Clear();
    EXPECT_EQ(holder.Text(), buffer);
    EXPECT_STREQ(holder.Text(), "");
}

TEST(TextHolder, SetTextFromItsOwnBufferKeepsTheText) {
    TLPStr holder;
    holder.SetText("REPLY.MSG");
    holder.SetText(holder.Text());
    EXPECT_STREQ(holder.Text(), "REPLY.MSG");
}

TEST(TextHolder, SetSizeKeepsWhatFitsAndZeroMakesItGrowableAgain) {
    TLPStr holder;
    holder.SetText("abcdefgh");
    holder.SetSize(4);
    EXPECT_TRUE(holder.Fixed());
    EXPECT_STREQ(holder.Text(), "abc");

    holder.SetSize(0);
    EXPECT_FALSE(holder.Fixed());
    holder.SetText("a longer text than four");
    EXPECT_STREQ(holder.Text(), "a longer text than four");

    TLPStr same;
    same.SetText("abc");
    char* const buffer = same.Text();
    same.SetSize(4); // already that size: only becomes fixed
    EXPECT_TRUE(same.Fixed());
    EXPECT_EQ(same.Text(), buffer);
}

TEST(TextHolder, GetTextCopiesIntoTheCallersBufferOrANewOne) {
    TLPStr holder;
    char* made = nullptr;
    holder.GetText(made);
    std::unique_ptr<char[]> release(made);
    ASSERT_NE(made, nullptr);
    EXPECT_STREQ(made, "");

    holder.SetText("MESSAGES.DAT");
    char room[32];
    char* given = room;
    EXPECT_EQ(holder.GetText(given), room);
    EXPECT_STREQ(room, "MESSAGES.DAT");

    char* copy = nullptr;
    holder.GetText(copy);
    std::unique_ptr<char[]> releaseCopy(copy);
    EXPECT_STREQ(copy, "MESSAGES.DAT");
    EXPECT_NE(copy, holder.Text());
}

TEST(TextHolder, StreamsInAndOutAndRefusesAStreamThatFillsTheLimit) {
    TLPStr holder;
    std::istringstream in("from a stream");
    holder.LoadFromStream(in);
    EXPECT_STREQ(holder.Text(), "from a stream");
    std::ostringstream out;
    holder.SaveToStream(out);
    EXPECT_EQ(out.str(), "from a stream");

    TLPStr fixed(8);
    fixed.SetText("kept");
    std::istringstream tooLong("12345678");
    EXPECT_THROW(fixed.LoadFromStream(tooLong), StreamError);
    EXPECT_STREQ(fixed.Text(), "kept");

    std::istringstream huge(std::string(32768, 'x'));
    EXPECT_THROW(holder.LoadFromStream(huge), StreamError);
    EXPECT_STREQ(holder.Text(), "from a stream");
}

TEST(TextHolder, StoredFormRoundTripsAndSurvivesALyingLength) {
    TLPStr holder;
    holder.SetText("DUNZIP");
    std::ostringstream out;
    holder.WriteStoredText(out);
    EXPECT_EQ(out.str(), std::string("\x0A\x07\x00\x00\x00"
                                     "DUNZIP\0",
                                     12));

    TLPStr back;
    std::istringstream in(out.str());
    back.ReadStoredText(in);
    EXPECT_STREQ(back.Text(), "DUNZIP");

    // A length far beyond the bytes that follow, and no terminator.
    TLPStr lied;
    std::istringstream damaged(std::string("\x0A\xFF\xFF\xFF\x7F"
                                           "abc",
                                           8));
    lied.ReadStoredText(damaged);
    EXPECT_STREQ(lied.Text(), "abc");

    TLPStr empty;
    empty.SetText("");
    std::ostringstream nothing;
    empty.WriteStoredText(nothing);
    EXPECT_TRUE(nothing.str().empty());
}

TEST(TextHolder, AssigningAWholeHolderLeavesTheTextAlone) {
    SetUnattended(true); // the notice goes to standard error
    TLPStr property;
    property.SetText("WORK/MYBBS.QWK");
    char* const buffer = property.Text();
    TLPStr other;
    other.SetText("elsewhere");
    property = other;
    EXPECT_EQ(property.Text(), buffer);
    EXPECT_STREQ(property.Text(), "WORK/MYBBS.QWK");
    SetUnattended(false);
}

} // namespace
