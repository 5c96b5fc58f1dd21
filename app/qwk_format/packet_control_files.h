// CONTROL.DAT and DOOR.ID: the two small files offline readers look for
// beside MESSAGES.DAT before they accept a packet.
#pragma once

#include "core/newsgroup_table.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace qwk {

struct PacketDescription {
    std::string ServerName;
    std::string QwkId;
    std::string UserName; // as configured; written in upper case
    std::size_t MessageCount = 0;
    std::tm PacketTime{}; // local time the packet was made
};

// The text of CONTROL.DAT, lines ended by CR LF. The conferences are the
// table's queued groups (Conference 0 or more), in table order, each number
// once: of groups queued under the same number the first in the table wins.
std::string ControlDatText(const PacketDescription& packet, const NewsGroupTable& table);

// The text of DOOR.ID, lines ended by CR LF.
std::string DoorIdText();

// Writes CONTROL.DAT and DOOR.ID into the directory. Throws
// std::runtime_error naming the file when one cannot be written.
void WritePacketControlFiles(const std::string& directory, const PacketDescription& packet,
                             const NewsGroupTable& table);

// The read pointers the runs that filled a packet moved, carried inside the
// packet itself. A run killed after the packet is in place but before
// GROUPS.DAT took the new values would otherwise deliver the same articles
// again; the next run finds here that they were delivered. Readers ignore
// the file.
inline constexpr const char* ReadPointerFileName = "LASTREAD.DAT";

struct ReadPointerMove {
    std::string Group;
    std::int32_t From = 0; // LastRead before the run
    std::int32_t To = 0;   // LastRead the packet's articles bring it to

    bool operator==(const ReadPointerMove&) const = default;
};

// One "group from to" line per move, ended by CR LF.
std::string ReadPointerFileText(const std::vector<ReadPointerMove>& moves);

// The moves of the text; lines that are not three fields are skipped.
std::vector<ReadPointerMove> ParseReadPointerFile(std::string_view text);

// The moves of the directory's read pointer file; none when there is none.
std::vector<ReadPointerMove> ReadReadPointerFile(const std::string& directory);

// Writes the read pointer file into the directory; throws
// std::runtime_error naming the file when it cannot.
void WriteReadPointerFile(const std::string& directory, const std::vector<ReadPointerMove>& moves);

} // namespace qwk
