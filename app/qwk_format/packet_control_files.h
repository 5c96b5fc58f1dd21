// CONTROL.DAT and DOOR.ID: the two small files offline readers look for
// beside MESSAGES.DAT before they accept a packet.
#pragma once

#include "core/newsgroup_table.h"

#include <cstddef>
#include <ctime>
#include <string>

namespace qwk {

struct PacketDescription {
    std::string ServerName;
    std::string QwkId;
    std::string UserName; // as configured; written in upper case
    std::size_t MessageCount = 0;
    std::tm PacketTime{}; // local time the packet was made
};

// The text of CONTROL.DAT, lines ended by CR LF. The conferences are the
// table's queued groups (Conference 0 or more), in table order.
std::string ControlDatText(const PacketDescription& packet, const NewsGroupTable& table);

// The text of DOOR.ID, lines ended by CR LF.
std::string DoorIdText();

// Writes CONTROL.DAT and DOOR.ID into the directory. Throws
// std::runtime_error naming the file when one cannot be written.
void WritePacketControlFiles(const std::string& directory, const PacketDescription& packet,
                             const NewsGroupTable& table);

} // namespace qwk
