#include "groups_file.h"

#include "atomic_file.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <unordered_set>

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
void ReadStoredNumbers(const std::string& rest, NewsGroupRecord& record) {
    const std::size_t space = rest.find(' ');
    const std::string conferenceText = space == std::string::npos ? rest : rest.substr(0, space);
    const std::string lastReadText = space == std::string::npos ? "" : rest.substr(space + 1);
    const auto conference = IntegerOf(conferenceText);
    const auto lastRead = IntegerOf(lastReadText);
    if (conference && lastRead) {
        record.Conference = *conference;
        record.LastRead = *lastRead;
    } else {
        record.Conference = -1;
        record.LastRead = 0;
    }
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

void ParseGroupLines(NewsGroupTable& table, const std::string& text, bool fromServer,
                     bool replace) {
    if (replace)
        table.Clear();

    // Merging looks each listed name up among the names already present; the
    // views stay valid because every record lives in its own allocation.
    std::unordered_set<std::string_view> known;
    if (!replace) {
        known.reserve(table.Count() + 1024);
        for (std::size_t i = 0; i < table.Count(); ++i)
            known.insert(table[i].Name);
    }

    const char* cursor = text.c_str();
    bool firstLine = true;
    while (*cursor != '\0') {
        const std::string line = VxGetNextLine(cursor);
        const bool statusLine = fromServer && firstLine && IsStatusLine(line);
        firstLine = false;
        const std::size_t space = line.find(' ');
        if (space == std::string::npos || statusLine)
            continue;
        std::string name = line.substr(0, space);
        if (!replace && known.contains(name))
            continue;

        NewsGroupRecord& record = table.Append(std::move(name), -1, 0);
        if (!fromServer)
            ReadStoredNumbers(line.substr(space + 1), record);
        if (!replace)
            known.insert(record.Name);
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
