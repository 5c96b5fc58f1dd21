#include "reply/reply_packet_reader.h"

#include "support/reply_packet_builder.h"
#include "support/temp_directory.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

std::string TextBlock(const std::string& text) {
    return text + std::string(qwk::BlockSize - text.size() % qwk::BlockSize, ' ');
}

const std::string E3(1, qwk::LineEnd);

class MessageFileTest : public ::testing::Test {
protected:
    // Writes the message file and opens it at its first reply.
    void Open(const std::string& bytes) {
        const std::string path = dir.File("MYBBS.MSG");
        TempWorkDirectory::Write(path, bytes);
        ASSERT_TRUE(reader.OpenMessageFile(path));
    }

    TempWorkDirectory dir{false};
    Settings settings;
    ReplyPacketReader reader{settings, dir.File("MYBBS.REP"), dir.File("TEMP")};
    ReplyMessage reply;
};

TEST(DecodeReplyText, TurnsLineEndsIntoCrLfAndDropsOnlyTheTrailingSpaces) {
    EXPECT_EQ(DecodeReplyText(TextBlock("Hello" + E3 + "World" + E3)), "Hello\r\nWorld\r\n");
    EXPECT_EQ(DecodeReplyText(TextBlock("a   b" + E3 + "  c")), "a   b\r\n  c");
    EXPECT_EQ(DecodeReplyText(std::string("x\0y  ", 5)), std::string("x\0y", 3));
    EXPECT_EQ(DecodeReplyText(std::string(256, ' ')), "");
}

TEST_F(MessageFileTest, ReadsEachReplyWithItsHeaderBodyAndStoredRecords) {
    ReplyPacketBuilder packet("MYBBS");
    const ReplyDraft first{300, "John Doe", "First", "All", "Hello\nWorld", ""};
    const ReplyDraft second{7, "Jane Roe", "Second", "All", std::string(300, 'x'), ""};
    packet.Add(first).Add(second);
    Open(packet.MessageFile());

    ASSERT_EQ(reader.ReadReplyMessage(reply), ReplyRead::Reply);
    EXPECT_EQ(reply.Body, "Hello\r\nWorld\r\n");
    EXPECT_EQ(qwk::HeaderConference(reply.Header), 300);
    EXPECT_EQ(static_cast<unsigned char>(reply.Header[123]), 0x2C);
    EXPECT_EQ(static_cast<unsigned char>(reply.Header[124]), 0x01);
    EXPECT_EQ(qwk::HeaderText(reply.Header, qwk::header::From), "John Doe");
    EXPECT_EQ(reply.Records, ReplyPacketBuilder::ReplyRecords(first));

    ASSERT_EQ(reader.ReadReplyMessage(reply), ReplyRead::Reply);
    EXPECT_EQ(reply.Body, std::string(300, 'x') + "\r\n");
    EXPECT_EQ(reply.Records.size(), 4 * qwk::BlockSize);

    EXPECT_EQ(reader.ReadReplyMessage(reply), ReplyRead::End);
    EXPECT_EQ(reader.ReadReplyMessage(reply), ReplyRead::End);
}

TEST_F(MessageFileTest, AnEmptyReplyIsSkippedAndReadingGoesOn) {
    ReplyPacketBuilder packet("MYBBS");
    packet.Add({1, "A", "header only", "All", "", ""})
        .Add({1, "B", "spaces only", "All", "", "2"})
        .AddRaw(std::string(qwk::BlockSize, ' '))
        .Add({1, "C", "text", "All", "after", ""});
    Open(packet.MessageFile());

    EXPECT_EQ(reader.ReadReplyMessage(reply), ReplyRead::Empty);
    EXPECT_EQ(reader.ReadReplyMessage(reply), ReplyRead::Empty);
    ASSERT_EQ(reader.ReadReplyMessage(reply), ReplyRead::Reply);
    EXPECT_EQ(reply.Body, "after\r\n");
    EXPECT_EQ(reader.ReadReplyMessage(reply), ReplyRead::End);
}

TEST_F(MessageFileTest, ADamagedReplyEndsTheReading) {
    const ReplyDraft good{1, "A", "good", "All", "fine", ""};
    for (const char* count : {"abc", "-2", "2x"}) {
        SCOPED_TRACE(count);
        ReplyPacketReader fresh(settings, dir.File("MYBBS.REP"), dir.File("TEMP"));
        ReplyPacketBuilder packet("MYBBS");
        packet.Add(good).Add({1, "B", "bad", "All", "text", count}).Add(good);
        TempWorkDirectory::Write(dir.File("MYBBS.MSG"), packet.MessageFile());
        ASSERT_TRUE(fresh.OpenMessageFile(dir.File("MYBBS.MSG")));
        EXPECT_EQ(fresh.ReadReplyMessage(reply), ReplyRead::Reply);
        EXPECT_EQ(fresh.ReadReplyMessage(reply), ReplyRead::Damaged);
        EXPECT_EQ(fresh.ReadReplyMessage(reply), ReplyRead::End);
    }
}

TEST_F(MessageFileTest, ABlockCountBeyondTheFileOrAShortRecordIsDamage) {
    ReplyPacketBuilder packet("MYBBS");
    packet.Add({1, "A", "claims more", "All", "text", "999999"});
    Open(packet.MessageFile());
    EXPECT_EQ(reader.ReadReplyMessage(reply), ReplyRead::Damaged);

    ReplyPacketReader shortFile(settings, dir.File("MYBBS.REP"), dir.File("TEMP"));
    TempWorkDirectory::Write(
        dir.File("SHORT.MSG"),
        ReplyPacketBuilder("MYBBS").AddRaw(std::string(60, 'z')).MessageFile());
    ASSERT_TRUE(shortFile.OpenMessageFile(dir.File("SHORT.MSG")));
    EXPECT_EQ(shortFile.ReadReplyMessage(reply), ReplyRead::Damaged);
}

TEST_F(MessageFileTest, AFileWithoutItsFirstBlockDoesNotOpen) {
    TempWorkDirectory::Write(dir.File("TINY.MSG"), std::string(100, ' '));
    EXPECT_FALSE(reader.OpenMessageFile(dir.File("TINY.MSG")));
    EXPECT_FALSE(reader.OpenMessageFile(dir.File("MISSING.MSG")));
}

TEST(FindConferenceGroup, TheFirstQueuedGroupOfThatConferenceInTableOrder) {
    NewsGroupTable table;
    table.Append("not.queued", -1, 0);
    table.Append("too.big", 65536 + 300, 0);
    table.Append("first.of.300", 300, 0);
    table.Append("second.of.300", 300, 0);
    table.Append("zero", 0, 0);

    ASSERT_NE(FindConferenceGroup(table, 300), nullptr);
    EXPECT_EQ(FindConferenceGroup(table, 300)->Name, "first.of.300");
    EXPECT_EQ(FindConferenceGroup(table, 0)->Name, "zero");
    EXPECT_EQ(FindConferenceGroup(table, 65535), nullptr);
    EXPECT_EQ(FindConferenceGroup(table, 12), nullptr);
}

TEST(FindFileIgnoringCase, FindsNamesWrittenInAnyCasePreferringTheExactOne) {
    TempWorkDirectory dir(false);
    TempWorkDirectory::Write(dir.File("mybbs.rep"), "lower");
    EXPECT_EQ(FindFileIgnoringCase(dir.Path(), "MYBBS.REP"), dir.File("mybbs.rep"));
    EXPECT_EQ(FindFileIgnoringCase(dir.Path(), "OTHER.REP"), std::nullopt);

    TempWorkDirectory::Write(dir.File("MYBBS.REP"), "upper");
    EXPECT_EQ(FindFileIgnoringCase(dir.Path(), "MYBBS.REP"), dir.File("MYBBS.REP"));

    std::filesystem::create_directory(dir.File("sub.rep"));
    EXPECT_EQ(FindFileIgnoringCase(dir.Path(), "SUB.REP"), std::nullopt);
}

} // namespace
