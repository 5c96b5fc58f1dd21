#include "groups_file.h"

#include "atomic_file.h"

#include <cctype>
#include <filesystem>
#include <fstream>
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
std::optional<std::int32_t> IntegerOf(const std::string& text) {
    const std::int32_t low = VxStrToInt(text, 0);
    const std::int32_t high = VxStrToInt(text, 1);
    if (low != high)
        return std::nullopt;
    return low;
}

// The conference and last-read numbers after the name of a GROUPS.DAT line;
// both fall back together when either is damaged.
void ReadStoredNumbers(const std::string& rest, std::int32_t& conferenceOut,
                       std::int32_t& lastReadOut) {
    const std::size_t space = rest.find(' ');
    const std::string conferenceText = space == std::string::npos ? rest : rest.substr(0, space);
    const std::string lastReadText = space == std::string::npos ? "" : rest.substr(space + 1);
    const auto conference = IntegerOf(conferenceText);
    const auto lastRead = IntegerOf(lastReadText);
    conferenceOut = conference && lastRead ? *conference : -1;
    lastReadOut = conference && lastRead ? *lastRead : 0;
}

// The control hands over the list without the server's status line; should
// one slip through ("215 list of newsgroups follows"), its code must not
// become a group.
bool IsStatusLine(const std::string& line) {
    return line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
           std::isdigit(static_cast<unsigned char>(line[1])) &&
           std::isdigit(static_cast<unsigned char>(line[2])) && line[3] == ' ';
}

} // namespace

namespace {

// One entry as a line gives it, before it goes into the table.
struct ListedGroup {
    std::string Name;
    std::int32_t Conference = -1;
    std::int32_t LastRead = 0;
};

// Walks the text's lines up to its first zero byte and hands on every line
// that names a group.
template <typename Consumer>
void ForEachListedGroup(const std::string& text, bool fromServer, Consumer&& consume) {
    const char* cursor = text.c_str();
    bool firstLine = true;
    while (*cursor != '\0') {
        const std::string line = VxGetNextLine(cursor);
        const bool statusLine = fromServer && firstLine && IsStatusLine(line);
        firstLine = false;
        const std::size_t space = line.find(' ');
        if (space == std::string::npos || statusLine)
            continue;
        ListedGroup group;
        group.Name = line.substr(0, space);
        if (!fromServer)
            ReadStoredNumbers(line.substr(space + 1), group.Conference, group.LastRead);
        consume(std::move(group));
    }
}

} // namespace

void ParseGroupLines(NewsGroupTable& table, const std::string& text, bool fromServer,
                     bool replace) {
    if (replace) {
        table.Clear();
        ForEachListedGroup(text, fromServer, [&table](ListedGroup&& group) {
            table.Append(std::move(group.Name), group.Conference, group.LastRead);
        });
        return;
    }

    // Merging: a listed name is appended only when no entry has it yet, an
    // entry appended by this same list included. The table is walked once
    // against the (short) list, so a long list against a large table stays
    // linear and the table's names need no copying.
    std::vector<ListedGroup> listed;
    ForEachListedGroup(text, fromServer,
                       [&listed](ListedGroup&& group) { listed.push_back(std::move(group)); });
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
}

bool LoadGroups(NewsGroupTable& table, const std::string& startDirectory) {
    const std::string path = GroupsFilePath(startDirectory);
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error)
        return false;
    // The whole file in one read.
    std::string contents(static_cast<std::size_t>(size), '\0');
    if (!file.read(contents.data(), static_cast<std::streamsize>(size)))
        return false;
    file.close();
    // c_str() supplies the terminating zero the parser stops at; a zero byte
    // inside the file ends the data there.
    ParseGroupLines(table, contents, false, true);
    return true;
}

bool SaveGroups(NewsGroupTable& table, const std::string& startDirectory) {
    std::string contents;
    contents.reserve(table.Count() * 48);
    for (std::size_t i = 0; i < table.Count(); ++i)
        AppendGroupLine(contents, table[i]);

    const std::string path = GroupsFilePath(startDirectory);
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
