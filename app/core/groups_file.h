// GROUPS.DAT, the newsgroup table on disk, and the one parser that turns lines
// of text into table entries, whether they come from that file or from the
// server's list of newsgroups.
#pragma once

#include "newsgroup_table.h"

#include <stdexcept>
#include <string>

// Writing GROUPS.DAT failed after the new file had been created (a full disk,
// an I/O error); the old file is still whole.
struct GroupsFileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string GroupsFilePath(const std::string& startDirectory);

// One line of GROUPS.DAT (and of QUEUE.LST): name, conference and last-read
// number separated by single spaces, ended by CR LF.
void AppendGroupLine(std::string& out, const NewsGroupRecord& record);

// Turns text lines into entries, the text ending at its first zero byte.
// A line without a space is skipped; its first word is the name.
//  - fromServer: the rest of the line is ignored, the entry is unqueued and
//    unread; otherwise the rest holds the conference and last-read numbers,
//    and if either is not an integer the entry gets -1 and 0.
//  - replace: the table is emptied first; otherwise a name already in the
//    table (exact, case-sensitive; entries added by this call included) is
//    skipped, so the existing entry keeps its values, and new names are
//    appended in list order.
void ParseGroupLines(NewsGroupTable& table, const std::string& text, bool fromServer, bool replace);

// Reads GROUPS.DAT from the start directory into the table (replacing it).
// A file that is missing or unreadable leaves the table as it is; false then.
bool LoadGroups(NewsGroupTable& table, const std::string& startDirectory);

// Writes the table to GROUPS.DAT in the start directory and clears
// GroupsChanged. The old file is replaced only once the new one has been
// written completely, so a failure never loses the table on disk. When the
// new file cannot be made or cannot take the old one's name, the save fails
// quietly (false, GroupsChanged stays set, a later save tries again); a
// failed write after it was made throws GroupsFileError, GroupsChanged set.
bool SaveGroups(NewsGroupTable& table, const std::string& startDirectory);
