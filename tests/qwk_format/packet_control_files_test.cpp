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
