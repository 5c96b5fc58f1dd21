#include "qwk_format/packet_control_files.h"

#include "ascii.h"
#include "qwk_format/qwk_message_writer.h"
#include "vxutil.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <unordered_set>

namespace qwk {
namespace {

constexpr const char* LineBreak = "\r\n";

std::string PacketDateTime(const std::tm& when) {
    char text[80];
    std::snprintf(text, sizeof text, "%02d-%02d-%04d,%02d:%02d:%02d", when.tm_mon + 1, when.tm_mday,
                  when.tm_year + 1900, when.tm_hour, when.tm_min, when.tm_sec);
    return text;
}

void WriteTextFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    if (!file)
        throw std::runtime_error("Unable to write " + path);
}

} // namespace

std::string ControlDatText(const PacketDescription& packet, const NewsGroupTable& table) {
    std::size_t conferenceCount = 0;
    std::string conferences;
    // A reader takes each number once; of two groups queued under one number
    // the first names it, as the first is the one replies to it go to.
    std::unordered_set<std::int32_t> listed;
    for (std::size_t i = 0; i < table.Count(); ++i) {
        const NewsGroupRecord& group = table[i];
        if (group.Conference < 0 || !listed.insert(group.Conference).second)
            continue;
        ++conferenceCount;
        conferences.append(std::to_string(group.Conference)).append(LineBreak);
        conferences.append(group.Name).append(LineBreak);
    }

    const std::string lines[] = {
        packet.ServerName,
        "Usenet",
        "000-000-0000",
        "Sysop",
        "0," + packet.QwkId,
        PacketDateTime(packet.PacketTime),
        ascii::Upper(packet.UserName),
        "", // menu name
        "0",
        std::to_string(packet.MessageCount),
        // Readers take this as the highest conference index, so an empty
        // list gives -1.
        std::to_string(static_cast<long long>(conferenceCount) - 1),
    };
    std::string text;
    for (const std::string& line : lines)
        text.append(line).append(LineBreak);
    text.append(conferences);
    // The welcome, news and goodbye file names: none.
    for (int i = 0; i < 3; ++i)
        text.append(LineBreak);
    return text;
}

std::string DoorIdText() {
    const std::string name = ProducerName;
    const std::string version = ProducerVersion;
    const std::string lines[] = {
        "DOOR = " + name,
        "VERSION = " + version,
        "SYSTEM = " + name + " " + version,
        "MIXEDCASE = YES",
    };
    std::string text;
    for (const std::string& line : lines)
        text.append(line).append(LineBreak);
    return text;
}

void WritePacketControlFiles(const std::string& directory, const PacketDescription& packet,
                             const NewsGroupTable& table) {
    const std::string base = VxSlashIt(directory);
    WriteTextFile(base + "CONTROL.DAT", ControlDatText(packet, table));
    WriteTextFile(base + "DOOR.ID", DoorIdText());
}

std::string ReadPointerFileText(const std::vector<ReadPointerMove>& moves) {
    std::string text;
    for (const ReadPointerMove& move : moves)
        text.append(move.Group)
            .append(" ")
            .append(std::to_string(move.From))
            .append(" ")
            .append(std::to_string(move.To))
            .append(LineBreak);
    return text;
}

std::vector<ReadPointerMove> ParseReadPointerFile(std::string_view text) {
    std::vector<ReadPointerMove> moves;
    std::istringstream lines{std::string(text)};
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        ReadPointerMove move;
        std::string rest;
        if (fields >> move.Group >> move.From >> move.To && !(fields >> rest))
            moves.push_back(std::move(move));
    }
    return moves;
}

std::vector<ReadPointerMove> ReadReadPointerFile(const std::string& directory) {
    std::ifstream file(VxSlashIt(directory) + ReadPointerFileName, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    return ParseReadPointerFile(text);
}

void WriteReadPointerFile(const std::string& directory, const std::vector<ReadPointerMove>& moves) {
    WriteTextFile(VxSlashIt(directory) + ReadPointerFileName, ReadPointerFileText(moves));
}

} // namespace qwk
