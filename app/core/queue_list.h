// QUEUE.LST: a copy of which groups are queued, under which conference, and
// how far each was read, kept so it can be put back after the table has been
// replaced from the server.
#pragma once

#include "newsgroup_table.h"

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// QUEUE.LST could not be written or read; what() names the file.
struct QueueListError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string QueueListPath(const std::string& startDirectory);

// Writes every queued entry, in table order, as a GROUPS.DAT line. The old
// QUEUE.LST is replaced only once the new one is complete; any failure throws
// QueueListError and leaves the old file as it was. A special file in its
// place is neither written to nor replaced (QueueListError).
void ExportQueuedNewsgroups(const NewsGroupTable& table, const std::string& startDirectory);

// Applies QUEUE.LST to the table: each line's name picks the first entry of
// exactly that name (no entry is ever added), whose conference and last-read
// numbers are taken from the line (the last-read number only when the user
// answers Yes to "Use Last Message Read Pointers?", else 0). CR LF, a bare LF
// and a bare CR each end a line. A line that is not "name conference
// lastread" (blank-separated, both numbers integers), or that holds a zero
// byte, is skipped and the lines after it are still read; when any was, the
// user is told "QUEUE.LST: 2 lines could not be read and were skipped."
// Blank lines are passed over. When QUEUE.LST does not exist the user is told
// "Unable to find QUEUE.LST." and nothing is asked. Returns the indexes of
// the entries rewritten, each once, in the order they were first changed;
// sets GroupsChanged when there is any. A file that exists but cannot be
// read, or a special file (a named pipe, a device, a directory) in its place,
// throws QueueListError naming it; a special file is never opened, and is
// refused before anything is asked.
std::vector<std::size_t>
ImportQueuedNewsgroups(NewsGroupTable& table, const std::string& startDirectory,
                       const std::function<bool(const std::string& question)>& askYesNo,
                       const std::function<void(const std::string& message)>& inform);
