#include "queue_list.h"

#include "atomic_file.h"
#include "groups_file.h"
#include "regular_file.h"

#include <filesystem>
#include <optional>
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
    // A pipe or a device in the file's place is neither written nor replaced.
    if (const std::string kind = SpecialFileKind(path); !kind.empty())
        throw QueueListError("Unable to write to " + path + ": " +
                             NotARegularFileMessage(path, kind));
    const AtomicWriteResult result = WriteFileAtomically(path, contents);
    if (!result.ok())
        throw QueueListError("Unable to write to " + path + ": " + result.error);
}

namespace {

// The file's lines; written with CR LF, but a hand-edited copy with bare LF
// or CR line ends reads the same.
std::vector<std::string_view> LinesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
    return lines;
}

// VxStrToInt hides whether the text was an integer behind its default; two
// different defaults tell.
std::optional<std::int32_t> IntegerOf(const std::string& text) {
    const std::int32_t low = VxStrToInt(text, 0);
    const std::int32_t high = VxStrToInt(text, 1);
    if (low != high)
        return std::nullopt;
    return low;
}

struct QueuedLine {
    std::string Name;
    std::int32_t Conference = -1;
    std::int32_t LastRead = 0;
};

// "name conference lastread", blank-separated, both numbers integers; nothing
// for any other line. A line holding a zero byte is never read.
std::optional<QueuedLine> ReadQueuedLine(std::string_view line) {
    if (line.find('\0') != std::string_view::npos)
        return std::nullopt;
    std::string rest(line);
    for (char& c : rest)
        if (c == '\t')
            c = ' ';
    QueuedLine queued;
    queued.Name = VxGetNextToken(rest);
    const auto conference = IntegerOf(VxGetNextToken(rest));
    const auto lastRead = IntegerOf(VxGetNextToken(rest));
    if (queued.Name.empty() || !conference || !lastRead || !rest.empty())
        return std::nullopt;
    queued.Conference = *conference;
    queued.LastRead = *lastRead;
    return queued;
}

bool IsBlankLine(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

} // namespace

std::vector<std::size_t>
ImportQueuedNewsgroups(NewsGroupTable& table, const std::string& startDirectory,
                       const std::function<bool(const std::string& question)>& askYesNo,
                       const std::function<void(const std::string& message)>& inform) {
    const std::string path = QueueListPath(startDirectory);
    // A special file is refused before anything is asked, and never opened.
    if (const std::string kind = SpecialFileKind(path); !kind.empty())
        throw QueueListError(NotARegularFileMessage(path, kind));
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        inform("Unable to find QUEUE.LST.");
        return {};
    }
    const bool useLastRead = askYesNo("Use Last Message Read Pointers?");
    const RegularFileRead file = ReadRegularFile(path);
    switch (file.outcome) {
    case RegularFileRead::Read:
        break;
    case RegularFileRead::Missing:
        inform("Unable to find QUEUE.LST.");
        return {};
    case RegularFileRead::NotRegular:
    case RegularFileRead::Failed:
        throw QueueListError(file.error);
    }

    // The first entry of each name is the one a line applies to.
    std::unordered_map<std::string_view, std::size_t> indexOfName;
    indexOfName.reserve(table.Count());
    for (std::size_t i = 0; i < table.Count(); ++i)
        indexOfName.emplace(table[i].Name, i);

    std::vector<std::size_t> changed;
    std::vector<bool> reported(table.Count(), false);
    std::size_t skipped = 0;
    for (const std::string_view line : LinesOf(file.contents)) {
        const std::optional<QueuedLine> queued = ReadQueuedLine(line);
        if (!queued) {
            if (!IsBlankLine(line))
                ++skipped;
            continue;
        }
        const auto found = indexOfName.find(queued->Name);
        if (found == indexOfName.end())
            continue; // a group the table no longer has
        NewsGroupRecord& record = table[found->second];
        record.Conference = queued->Conference;
        record.LastRead = useLastRead ? queued->LastRead : 0;
        table.GroupsChanged = true;
        if (!reported[found->second]) {
            reported[found->second] = true;
            changed.push_back(found->second);
        }
    }
    if (skipped > 0)
        inform("QUEUE.LST: " + std::to_string(skipped) +
               (skipped == 1 ? " line could not be read and was skipped."
                             : " lines could not be read and were skipped."));
    return changed;
}
