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
// QueueListError and leaves the old file as it was.
void ExportQueuedNewsgroups(const NewsGroupTable& table, const std::string& startDirectory);

// Applies QUEUE.LST to the table: each line's name picks the first entry of
// exactly that name (no entry is ever added), whose conference and last-read
// numbers are taken from the line (the last-read number only when the user
// answers Yes to "Use Last Message Read Pointers?", else 0). When QUEUE.LST
// does not exist the user is told "Unable to find QUEUE.LST." and nothing is
// asked. Returns the indexes of the entries rewritten, each once, in the order
// they were first changed; sets GroupsChanged when there is any. A file that
// exists but cannot be read throws QueueListError.
std::vector<std::size_t>
ImportQueuedNewsgroups(NewsGroupTable& table, const std::string& startDirectory,
                       const std::function<bool(const std::string& question)>& askYesNo,
                       const std::function<void(const std::string& message)>& inform);
