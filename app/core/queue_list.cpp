#include "queue_list.h"

#include "atomic_file.h"
#include "groups_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <unordered_map>

std::string QueueListPath(const std::string& startDirectory) {
    return VxSlashIt(startDirectory) + "QUEUE.LST";
}

void ExportQueuedNewsgroups(const NewsGroupTable& table, const std::string& startDirectory) {
    std::string contents;
    for (std::size_t i = 0; i < table.Count(); ++i) {
        if (table[i].Conference != -1)
            AppendGroupLine(contents, table[i]);
    }
    const std::string path = QueueListPath(startDirectory);
    const AtomicWriteResult result = WriteFileAtomically(path, contents);
    if (!result.ok())
        throw QueueListError("Unable to write to " + path + ": " + result.error);
}

namespace {

std::string ReadQueueList(const std::string& path) {
    const auto failure = [&path](int error) {
        return QueueListError("Unable to read " + path + ": " + std::strerror(error));
    };
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored))
        throw failure(EISDIR);
    errno = 0;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw failure(errno ? errno : EACCES);
    std::string contents{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad())
        throw failure(errno ? errno : EIO);
    return contents;
}

// The file's lines; written with CR LF, but a hand-edited copy with bare LF
// or CR line ends reads the same.
std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
    return lines;
}

} // namespace

std::vector<std::size_t>
ImportQueuedNewsgroups(NewsGroupTable& table, const std::string& startDirectory,
                       const std::function<bool(const std::string& question)>& askYesNo,
                       const std::function<void(const std::string& message)>& inform) {
    const std::string path = QueueListPath(startDirectory);
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        inform("Unable to find QUEUE.LST.");
        return {};
    }
    const bool useLastRead = askYesNo("Use Last Message Read Pointers?");
    const std::string contents = ReadQueueList(path);

    // The first entry of each name is the one a line applies to.
    std::unordered_map<std::string_view, std::size_t> indexOfName;
    indexOfName.reserve(table.Count());
    for (std::size_t i = 0; i < table.Count(); ++i)
        indexOfName.emplace(table[i].Name, i);

    std::vector<std::size_t> changed;
    std::vector<bool> reported(table.Count(), false);
    for (std::string line : LinesOf(contents)) {
        const std::string name = VxGetNextToken(line);
        // An empty line names nothing, even when a damaged GROUPS.DAT line
        // gave some entry an empty name.
        const auto found = name.empty() ? indexOfName.end() : indexOfName.find(name);
        if (found == indexOfName.end())
            continue;
        NewsGroupRecord& record = table[found->second];
        record.Conference = VxStrToInt(VxGetNextToken(line), -1);
        const std::string lastReadText = VxGetNextToken(line);
        record.LastRead = useLastRead ? VxStrToInt(lastReadText, 0) : 0;
        table.GroupsChanged = true;
        if (!reported[found->second]) {
            reported[found->second] = true;
            changed.push_back(found->second);
        }
    }
    return changed;
}
