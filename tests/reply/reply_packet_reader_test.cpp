#include "reply/reply_packet_reader.h"

#include "archive/unzip_file.h"
#include "support/recording_views.h"
#include "support/reply_packet_builder.h"
#include "support/temp_directory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <utility>
#include <vector>

namespace {

std::string TextBlock(const std::string& text) {
    return text + std::string(qwk::BlockSize - text.size() % qwk::BlockSize, ' ');
}

const std::string E3(1, qwk::LineEnd);

// A zip of stored entries written byte by byte, in order and under exactly
// the names given: no packer writes a name twice, but a crafted packet can.
// A name ending in '/' is a directory entry.
std::string StoredZip(const std::vector<std::pair<std::string, std::string>>& entries) {
    const auto crc32 = [](const std::string& bytes) {
        std::uint32_t crc = 0xFFFFFFFFu;
        for (unsigned char byte : bytes) {
            crc ^= byte;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        return ~crc;
    };
    const auto put = [](std::string& out, std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    std::string local, central;
    for (const auto& [name, bytes] : entries) {
        const auto offset = static_cast<std::uint32_t>(local.size());
        const std::uint32_t crc = crc32(bytes);
        const auto size = static_cast<std::uint32_t>(bytes.size());
        const auto nameLength = static_cast<std::uint32_t>(name.size());
        put(local, 0x04034B50, 4);
        put(local, 20, 2);   // version needed
        put(local, 0, 4);    // flags, stored
        put(local, 0, 2);    // time
        put(local, 0x21, 2); // 1 January 1980
        put(local, crc, 4);
        put(local, size, 4);
        put(local, size, 4);
        put(local, nameLength, 2);
        put(local, 0, 2);
        local += name + bytes;
        put(central, 0x02014B50, 4);
        put(central, 20, 2); // made by MS-DOS
        put(central, 20, 2);
        put(central, 0, 4);
        put(central, 0, 2);
        put(central, 0x21, 2);
        put(central, crc, 4);
        put(central, size, 4);
        put(central, size, 4);
        put(central, nameLength, 2);
        put(central, 0, 8); // extra, comment, disk, internal attributes
        put(central, name.back() == '/' ? 0x10 : 0x20, 4);
        put(central, offset, 4);
        central += name;
    }
    std::string zip = local + central;
    put(zip, 0x06054B50, 4);
    put(zip, 0, 4);
    put(zip, static_cast<std::uint32_t>(entries.size()), 2);
    put(zip, static_cast<std::uint32_t>(entries.size()), 2);
    put(zip, static_cast<std::uint32_t>(central.size()), 4);
    put(zip, static_cast<std::uint32_t>(local.size()), 4);
    put(zip, 0, 2);
    return zip;
}

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

TEST(OpenReplyPacket, RefusesAnArchiveItCannotTrustSayingWhyAndLeavesItAsItWas) {
    const std::string good =
        ReplyPacketBuilder("MYBBS").Add({1, "A", "Hi", "All", "Hello", ""}).MessageFile();
    const std::string doorId = "DOOR = SomeReader\r\n";
    const std::string whole = StoredZip({{"MYBBS.MSG", good}, {"DOOR.ID", doorId}});
    const struct {
        const char* what;
        std::string archive;
        std::string failure; // empty: the packet opens
    } cases[] = {
        {"good", whole, ""},
        {"directory entry", StoredZip({{"MYBBS.MSG", good}, {"DOCS/", ""}}),
         "MYBBS.REP cannot be read: it holds a directory (DOCS/)"},
        {"file below the message file's name", StoredZip({{"MYBBS.MSG/x", good}}),
         "MYBBS.REP cannot be read: it holds a directory (MYBBS.MSG/)"},
        {"same name twice",
         StoredZip({{"MYBBS.MSG", good}, {"DOOR.ID", doorId}, {"MYBBS.MSG", good + good}}),
         "MYBBS.REP cannot be read: it holds MYBBS.MSG twice"},
        {"names differing in case", StoredZip({{"mybbs.msg", good + good}, {"MYBBS.MSG", good}}),
         "MYBBS.REP cannot be read: it holds MYBBS.MSG twice"},
        {"another file twice",
         StoredZip({{"DOOR.ID", doorId}, {"MYBBS.MSG", good}, {"DOOR.ID", "other"}}),
         "MYBBS.REP cannot be read: it holds DOOR.ID twice"},
        {"not a zip", "This is a reply, honest.", "MYBBS.REP cannot be unpacked"},
        {"truncated", whole.substr(0, whole.size() / 2), "MYBBS.REP cannot be unpacked"},
        {"no message file", StoredZip({{"OTHER.MSG", good}}), "MYBBS.REP holds no MYBBS.MSG"},
        {"short message file", StoredZip({{"MYBBS.MSG", good.substr(0, qwk::BlockSize - 1)}}),
         "MYBBS.MSG in MYBBS.REP is shorter than one block"},
    };

    TempWorkDirectory dir(false);
    std::filesystem::create_directories(dir.File("TEMP"));
    Settings settings;
    settings.QwkId = "MYBBS";
    const std::string archive = dir.File("MYBBS.REP");
    TUnzipFile unzip;
    RecordingProgress progress;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempWorkDirectory::Write(archive, c.archive);
        ReplyPacketReader reader(settings, archive, dir.File("TEMP"));

        EXPECT_EQ(reader.OpenReplyPacket(unzip, progress), c.failure.empty());
        EXPECT_EQ(reader.OpenFailure(), c.failure);
        EXPECT_EQ(TempWorkDirectory::Read(archive), c.archive);
        if (c.failure.empty()) {
            ReplyMessage reply;
            ASSERT_EQ(reader.ReadReplyMessage(reply), ReplyRead::Reply);
            EXPECT_EQ(reply.Body, "Hello\r\n");
        }
    }
}

} // namespace
