#include "qwk_format/packet_control_files.h"

#include "support/temp_directory.h"

#include <gtest/gtest.h>

namespace {

qwk::PacketDescription Packet() {
    qwk::PacketDescription packet;
    packet.ServerName = "news.example.com";
    packet.QwkId = "MYBBS";
    packet.UserName = "jdoe";
    packet.MessageCount = 17;
    packet.PacketTime.tm_year = 2026 - 1900;
    packet.PacketTime.tm_mon = 2; // March
    packet.PacketTime.tm_mday = 4;
    packet.PacketTime.tm_hour = 5;
    packet.PacketTime.tm_min = 6;
    packet.PacketTime.tm_sec = 7;
    return packet;
}

TEST(PacketControlFiles, ControlDatListsQueuedGroupsInTableOrder) {
    NewsGroupTable table;
    table.Append("alt.test", 7, 0);
    table.Append("comp.lang.c", -1, 0);
    table.Append("alt.folklore", 3, 12);

    EXPECT_EQ(qwk::ControlDatText(Packet(), table), "news.example.com\r\n"
                                                    "Usenet\r\n"
                                                    "000-000-0000\r\n"
                                                    "Sysop\r\n"
                                                    "0,MYBBS\r\n"
                                                    "03-04-2026,05:06:07\r\n"
                                                    "JDOE\r\n"
                                                    "\r\n"
                                                    "0\r\n"
                                                    "17\r\n"
                                                    "1\r\n"
                                                    "7\r\nalt.test\r\n"
                                                    "3\r\nalt.folklore\r\n"
                                                    "\r\n\r\n\r\n");
}

// The conference lines of CONTROL.DAT: everything after the highest index.
std::string ConferenceLines(const std::string& controlDat, std::string* highestIndex = nullptr) {
    std::size_t at = 0;
    for (int line = 0; line < 10; ++line)
        at = controlDat.find("\r\n", at) + 2;
    const std::size_t end = controlDat.find("\r\n", at);
    if (highestIndex)
        *highestIndex = controlDat.substr(at, end - at);
    return controlDat.substr(end + 2);
}

TEST(PacketControlFiles, ControlDatListsEachConferenceNumberOnceFirstGroupWins) {
    struct Case {
        std::vector<std::pair<const char*, std::int32_t>> groups;
        std::string highestIndex;
        std::string conferences;
    };
    const Case cases[] = {
        {{{"first.five", 5}, {"second.five", 5}}, "0", "5\r\nfirst.five\r\n"},
        {{{"a", 1}, {"b", 2}, {"c", 1}, {"d", -1}, {"e", 2}, {"f", 3}},
         "2",
         "1\r\na\r\n2\r\nb\r\n3\r\nf\r\n"},
        {{{"zero.one", 0}, {"zero.two", 0}, {"zero.three", 0}}, "0", "0\r\nzero.one\r\n"},
        {{{"x", 65535}, {"y", 65535}, {"z", 7}}, "1", "65535\r\nx\r\n7\r\nz\r\n"},
        {{}, "-1", ""},
    };
    for (const Case& c : cases) {
        NewsGroupTable table;
        for (const auto& [name, conference] : c.groups)
            table.Append(name, conference, 0);
        std::string highestIndex;
        const std::string lines =
            ConferenceLines(qwk::ControlDatText(Packet(), table), &highestIndex);
        EXPECT_EQ(highestIndex, c.highestIndex) << c.conferences;
        EXPECT_EQ(lines, c.conferences + "\r\n\r\n\r\n");
    }
}

TEST(PacketControlFiles, DoorIdNamesTheDoorAndAllowsMixedCase) {
    const std::string text = qwk::DoorIdText();
    EXPECT_EQ(text.rfind("DOOR = Zandrel\r\nVERSION = 1.0\r\n", 0), 0u);
    EXPECT_NE(text.find("\r\nMIXEDCASE = YES\r\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST(PacketControlFiles, BothFilesAreWrittenIntoTheDirectory) {
    TempWorkDirectory dir(false);
    NewsGroupTable table;
    table.Append("alt.test", 0, 0);
    qwk::WritePacketControlFiles(dir.Path(), Packet(), table);
    EXPECT_EQ(TempWorkDirectory::Read(dir.File("CONTROL.DAT")),
              qwk::ControlDatText(Packet(), table));
    EXPECT_EQ(TempWorkDirectory::Read(dir.File("DOOR.ID")), qwk::DoorIdText());

    EXPECT_THROW(qwk::WritePacketControlFiles(dir.File("missing/dir"), Packet(), table),
                 std::runtime_error);
}

} // namespace
