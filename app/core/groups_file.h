// GROUPS.DAT, the newsgroup table on disk, and the one parser that turns lines
// of text into table entries, whether they come from that file or from the
// server's list of newsgroups.
#pragma once

#include "newsgroup_table.h"

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

// Writing GROUPS.DAT failed after the new file had been created (a full disk,
// an I/O error), or GROUPS.DAT is a special file that is not read, or the
// copy a damaged GROUPS.DAT is owed could not be written; the old file is
// still whole.
struct GroupsFileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string GroupsFilePath(const std::string& startDirectory);

// One line of GROUPS.DAT (and of QUEUE.LST): name, conference and last-read
// number separated by single spaces, ended by CR LF.
void AppendGroupLine(std::string& out, const NewsGroupRecord& record);

// Turns text lines into entries. CR LF, a bare LF and a bare CR each end a
// line. A line that cannot be read is skipped and counted, and the parse goes
// on with the next line; a line holding a zero byte is one of them. Blank
// lines are passed over without being counted.
//  - fromServer: a line gives its first blank-separated word as the name and
//    must have at least one more word (the rest is ignored); the entry is
//    unqueued and unread. A status line ("215 ...") as the first line and the
//    list's end (".") are passed over.
//  - otherwise a line is exactly "name conference lastread", the words
//    separated by blanks (spaces or tabs) and both numbers integers.
//  - replace: the table is emptied first; otherwise a name already in the
//    table (exact, case-sensitive; entries added by this call included) is
//    skipped, so the existing entry keeps its values, and new names are
//    appended in list order.
// Returns the number of lines skipped as unreadable, for the caller to report
// (a newsgroup list from the server may log it).
std::size_t ParseGroupLines(NewsGroupTable& table, std::string_view text, bool fromServer,
                            bool replace);

// Reads GROUPS.DAT from the start directory into the table (replacing it).
// A file that is missing or cannot be read leaves the table as it is; false
// then. A special file (a named pipe, a device, a directory) in its place is
// never opened: GroupsFileError naming it.
// When lines were skipped, the file's original bytes are kept as
// GROUPS.DAT.bak (a copy with the same bytes already there is left alone)
// before any save can drop them, and *notice (when given) tells the user:
// "GROUPS.DAT: 3 lines could not be read and were skipped; the original is
// kept as GROUPS.DAT.bak". If that copy cannot be written now, the table
// remembers the bytes and the next save writes the copy first. notice is
// emptied when there is nothing to tell.
bool LoadGroups(NewsGroupTable& table, const std::string& startDirectory,
                std::string* notice = nullptr);

// Writes the table to GROUPS.DAT in the start directory and clears
// GroupsChanged. The old file is replaced only once the new one has been
// written completely, so a failure never loses the table on disk. When the
// new file cannot be made or cannot take the old one's name, or a special
// file stands in its place, the save fails quietly (false, GroupsChanged
// stays set, a later save tries again); a failed write after it was made
// throws GroupsFileError, GroupsChanged set. So does a save while the copy
// a damaged GROUPS.DAT is owed (see LoadGroups) still cannot be written: the
// old file then stays as it is.
bool SaveGroups(NewsGroupTable& table, const std::string& startDirectory);
