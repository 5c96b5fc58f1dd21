#include "groups_file.h"

#include "atomic_file.h"
#include "regular_file.h"

#include <cctype>
#include <string_view>
#include <unordered_set>
#include <vector>

std::string GroupsFilePath(const std::string& startDirectory) {
    return VxSlashIt(startDirectory) + "GROUPS.DAT";
}

void AppendGroupLine(std::string& out, const NewsGroupRecord& record) {
    out += record.Name;
    out += ' ';
    out += std::to_string(record.Conference);
    out += ' ';
    out += std::to_string(record.LastRead);
    out += "\r\n";
}

namespace {

// VxStrToInt hides whether the text was an integer behind its default; two
// different defaults tell: a valid text gives the same value for both.
std::optional<std::int32_t> IntegerOf(std::string_view word) {
    const std::string text(word);
    const std::int32_t low = VxStrToInt(text, 0);
    const std::int32_t high = VxStrToInt(text, 1);
    if (low != high)
        return std::nullopt;
    return low;
}

// The control hands over the list without the server's status line; should
// one slip through ("215 list of newsgroups follows"), its code must not
// become a group.
bool IsStatusLine(std::string_view line) {
    return line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
           std::isdigit(static_cast<unsigned char>(line[1])) &&
           std::isdigit(static_cast<unsigned char>(line[2])) && line[3] == ' ';
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The blank-separated words of a line, as far as a caller looks: the first
// `limit` are stored, and the count says whether there were more
// (limit + 1 then).
std::size_t SplitWords(std::string_view line, std::string_view* words, std::size_t limit) {
    std::size_t count = 0;
    std::size_t i = 0;
    while (count <= limit) {
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        if (i == line.size())
            break;
        const std::size_t start = i;
        while (i < line.size() && !IsBlank(line[i]))
            ++i;
        if (count < limit)
            words[count] = line.substr(start, i - start);
        ++count;
    }
    return count;
}

// Calls visit for each line of the text: CR LF, a bare LF and a bare CR each
// end a line, and a zero byte is an ordinary byte here, so a line holding one
// is looked at (and refused) like any other.
template <typename Visit> void ForEachLine(std::string_view text, Visit&& visit) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        visit(text.substr(start, end - start));
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
}

// One entry as a line gives it, before it goes into the table.
struct ListedGroup {
    std::string Name;
    std::int32_t Conference = -1;
    std::int32_t LastRead = 0;
};

enum class LineKind {
    Nothing, // blank, the status line or the list's end: not a group, not damage
    Group,
    Damaged, // skipped and counted
};

LineKind ReadLine(std::string_view line, bool fromServer, bool firstLine, ListedGroup& group) {
    if (line.find('\0') != std::string_view::npos)
        return LineKind::Damaged;
    std::string_view words[3];
    const std::size_t count = SplitWords(line, words, 3);
    if (count == 0)
        return LineKind::Nothing;
    if (fromServer) {
        if (firstLine && IsStatusLine(line))
            return LineKind::Nothing;
        if (count == 1 && words[0] == ".")
            return LineKind::Nothing;
        // "name high low status": the name and at least one field.
        if (count < 2)
            return LineKind::Damaged;
        group.Name = std::string(words[0]);
        group.Conference = -1;
        group.LastRead = 0;
        return LineKind::Group;
    }
    // "name conference lastread", nothing less and nothing more.
    if (count != 3)
        return LineKind::Damaged;
    const auto conference = IntegerOf(words[1]);
    const auto lastRead = IntegerOf(words[2]);
    if (!conference || !lastRead)
        return LineKind::Damaged;
    group.Name = std::string(words[0]);
    group.Conference = *conference;
    group.LastRead = *lastRead;
    return LineKind::Group;
}

// Hands on every line of the text that names a group; returns how many lines
// were damaged and skipped.
template <typename Consumer>
std::size_t ForEachListedGroup(std::string_view text, bool fromServer, Consumer&& consume) {
    std::size_t skipped = 0;
    bool firstLine = true;
    ForEachLine(text, [&](std::string_view line) {
        ListedGroup group;
        switch (ReadLine(line, fromServer, firstLine, group)) {
        case LineKind::Nothing:
            break;
        case LineKind::Group:
            consume(std::move(group));
            break;
        case LineKind::Damaged:
            ++skipped;
            break;
        }
        firstLine = false;
    });
    return skipped;
}

std::string BackupPathOf(const std::string& groupsPath) {
    return groupsPath + ".bak";
}

// Keeps the original bytes of a damaged GROUPS.DAT as GROUPS.DAT.bak. A copy
// already there with the same bytes is left alone. Empty when the copy is in
// place, else what went wrong.
std::string KeepBackup(const std::string& groupsPath, const std::string& original) {
    const std::string backupPath = BackupPathOf(groupsPath);
    const RegularFileRead existing = ReadRegularFile(backupPath);
    if (existing.outcome == RegularFileRead::Read && existing.contents == original)
        return {};
    if (existing.outcome == RegularFileRead::NotRegular)
        return existing.error;
    const AtomicWriteResult written = WriteFileAtomically(backupPath, original);
    if (!written.ok())
        return "Unable to write to " + backupPath + ": " + written.error;
    return {};
}

// Writes the copy a damaged GROUPS.DAT is owed, if it is still owed; empty
// when nothing is owed any more.
std::string KeepPendingBackup(NewsGroupTable& table, const std::string& groupsPath) {
    if (!table.UnkeptOriginal)
        return {};
    std::string error = KeepBackup(groupsPath, *table.UnkeptOriginal);
    if (error.empty())
        table.UnkeptOriginal.reset();
    return error;
}

std::string LinesSkippedText(std::size_t skipped) {
    return std::to_string(skipped) + (skipped == 1 ? " line could not be read and was skipped"
                                                   : " lines could not be read and were skipped");
}

} // namespace

std::size_t ParseGroupLines(NewsGroupTable& table, std::string_view text, bool fromServer,
                            bool replace) {
    if (replace) {
        table.Clear();
        return ForEachListedGroup(text, fromServer, [&table](ListedGroup&& group) {
            table.Append(std::move(group.Name), group.Conference, group.LastRead);
        });
    }

    // Merging: a listed name is appended only when no entry has it yet, an
    // entry appended by this same list included. The table is walked once
    // against the (short) list, so a long list against a large table stays
    // linear and the table's names need no copying.
    std::vector<ListedGroup> listed;
    const std::size_t skipped = ForEachListedGroup(
        text, fromServer, [&listed](ListedGroup&& group) { listed.push_back(std::move(group)); });
    std::unordered_set<std::string_view> notYetInTable;
    notYetInTable.reserve(listed.size());
    for (const ListedGroup& group : listed)
        notYetInTable.insert(group.Name);
    for (std::size_t i = 0; i < table.Count() && !notYetInTable.empty(); ++i)
        notYetInTable.erase(table[i].Name);
    for (ListedGroup& group : listed) {
        // Erasing first: a repeat of the name further down finds it gone.
        if (notYetInTable.erase(group.Name) != 0)
            table.Append(std::move(group.Name), group.Conference, group.LastRead);
    }
    return skipped;
}

bool LoadGroups(NewsGroupTable& table, const std::string& startDirectory, std::string* notice) {
    if (notice)
        notice->clear();
    const std::string path = GroupsFilePath(startDirectory);
    RegularFileRead file = ReadRegularFile(path);
    switch (file.outcome) {
    case RegularFileRead::Read:
        break;
    case RegularFileRead::NotRegular:
        throw GroupsFileError(file.error);
    case RegularFileRead::Missing:
    case RegularFileRead::Failed:
        return false;
    }
    const std::size_t skipped = ParseGroupLines(table, file.contents, false, true);
    table.UnkeptOriginal.reset();
    if (skipped == 0)
        return true;

    // The next save would drop those lines: their bytes are kept first.
    table.UnkeptOriginal = std::move(file.contents);
    const std::string backupError = KeepPendingBackup(table, path);
    if (notice) {
        *notice = "GROUPS.DAT: " + LinesSkippedText(skipped);
        if (backupError.empty())
            *notice += "; the original is kept as GROUPS.DAT.bak";
        else
            *notice += "; the original could not be kept as GROUPS.DAT.bak (" + backupError +
                       "), so GROUPS.DAT is not saved until it can be";
    }
    return true;
}

bool SaveGroups(NewsGroupTable& table, const std::string& startDirectory) {
    std::string contents;
    contents.reserve(table.Count() * 48);
    for (std::size_t i = 0; i < table.Count(); ++i)
        AppendGroupLine(contents, table[i]);

    const std::string path = GroupsFilePath(startDirectory);
    // A pipe or a device in the file's place is neither written to nor
    // replaced; a directory could not take the new file's name either.
    if (!SpecialFileKind(path).empty())
        return false;
    // Lines a load could not read leave the file only once a copy of it is kept.
    if (const std::string backupError = KeepPendingBackup(table, path); !backupError.empty())
        throw GroupsFileError("GROUPS.DAT is not saved: it holds lines that could not be read, "
                              "and no copy of it could be kept (" +
                              backupError + ")");
    const AtomicWriteResult result = WriteFileAtomically(path, contents);
    switch (result.outcome) {
    case AtomicWriteResult::Replaced:
        table.GroupsChanged = false;
        return true;
    case AtomicWriteResult::WriteFailed:
        throw GroupsFileError("Unable to write to " + path + ": " + result.error);
    case AtomicWriteResult::CannotCreate:
    case AtomicWriteResult::CannotReplace:
        break;
    }
    return false;
}
