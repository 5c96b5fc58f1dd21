#include "profile.h"

#include "ascii.h"
#include "atomic_file.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr std::string_view CrLf = "\r\n";
constexpr std::string_view Utf8ByteOrderMark = "\xEF\xBB\xBF";

// One line of the file: its text and the line end that followed it (empty on
// a last line without one), so that joining them gives the file back byte for
// byte.
struct ProfileLine {
    std::string text;
    std::string ending;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The whole file; nullopt when it exists but cannot be read or is not a
// regular file. A missing file reads as empty, with `exists` cleared.
std::optional<std::string> ReadWholeFile(const std::string& path, bool& exists) {
    exists = false;
    // Only a regular file is opened: a named pipe would block the read for
    // ever and a device may act on being opened. A special file counts as
    // unreadable, so it is never replaced either.
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        if (errno == ENOENT)
            return std::string();
        return std::nullopt;
    }
    if (!S_ISREG(status.st_mode)) {
        exists = true;
        return std::nullopt;
    }
    // Not blocking, in case a pipe took the file's place since the look above.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT)
            return std::string();
        return std::nullopt;
    }
    exists = true;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string contents;
    char buffer[8192];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            ::close(fd);
            return std::nullopt; // a directory, or a read error
        }
        if (count == 0)
            break;
        contents.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(fd);
    return contents;
}

std::vector<ProfileLine> SplitLines(const std::string& contents) {
    std::vector<ProfileLine> lines;
    std::size_t start = 0;
    while (start < contents.size()) {
        const std::size_t newline = contents.find('\n', start);
        if (newline == std::string::npos) {
            lines.push_back({contents.substr(start), {}});
            break;
        }
        std::size_t textEnd = newline;
        if (textEnd > start && contents[textEnd - 1] == '\r')
            --textEnd;
        lines.push_back({contents.substr(start, textEnd - start),
                         contents.substr(textEnd, newline + 1 - textEnd)});
        start = newline + 1;
    }
    return lines;
}

// The line end the file already uses; a new file gets CR LF like the
// program's other text files.
std::string LineEndOf(const std::string& contents) {
    const std::size_t newline = contents.find('\n');
    if (newline != std::string::npos && (newline == 0 || contents[newline - 1] != '\r'))
        return "\n";
    return std::string(CrLf);
}

// The text of a line as far as matching is concerned: trimmed, and without a
// byte order mark an editor may have put before the first line.
std::string_view Content(const std::vector<ProfileLine>& lines, std::size_t index) {
    std::string_view text = lines[index].text;
    if (index == 0 && text.starts_with(Utf8ByteOrderMark))
        text.remove_prefix(Utf8ByteOrderMark.size());
    return Trimmed(text);
}

std::optional<std::string_view> SectionNameOf(std::string_view content) {
    if (!content.starts_with('['))
        return std::nullopt;
    const std::size_t close = content.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return Trimmed(content.substr(1, close - 1));
}

bool IsComment(std::string_view content) {
    return content.starts_with(';') || content.starts_with('#');
}

std::optional<std::string_view> KeyOf(std::string_view content) {
    if (IsComment(content))
        return std::nullopt;
    const std::size_t equals = content.find('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    return Trimmed(content.substr(0, equals));
}

// Where a section and one of its keys sit in the file.
struct KeyPlace {
    std::optional<std::size_t> sectionLine;
    std::optional<std::size_t> keyLine;
    // The last line of the section that is neither blank nor a comment: a new
    // key goes after it, so blank lines and the next section's leading
    // comments stay where they are.
    std::size_t lastEntryLine = 0;
};

KeyPlace Find(const std::vector<ProfileLine>& lines, std::string_view section,
              std::string_view key) {
    KeyPlace place;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view content = Content(lines, i);
        if (const auto name = SectionNameOf(content)) {
            if (place.sectionLine)
                break; // the section ends where the next begins
            if (ascii::EqualIgnoringCase(*name, section)) {
                place.sectionLine = i;
                place.lastEntryLine = i;
            }
            continue;
        }
        if (!place.sectionLine)
            continue;
        if (!content.empty() && !IsComment(content))
            place.lastEntryLine = i;
        if (const auto name = KeyOf(content); name && ascii::EqualIgnoringCase(*name, key)) {
            place.keyLine = i;
            break;
        }
    }
    return place;
}

std::string Joined(const std::vector<ProfileLine>& lines) {
    std::string contents;
    for (const ProfileLine& line : lines)
        contents += line.text + line.ending;
    return contents;
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != text.npos;
}

} // namespace

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& path) {
    bool exists = false;
    const std::optional<std::string> contents = ReadWholeFile(path, exists);
    std::string value = defaultValue;
    if (contents) {
        const std::vector<ProfileLine> lines = SplitLines(*contents);
        const KeyPlace place = Find(lines, Trimmed(section), Trimmed(key));
        if (place.keyLine) {
            const std::string_view content = Content(lines, *place.keyLine);
            value = Trimmed(content.substr(content.find('=') + 1));
        }
    }
    if (value.size() > MaxProfileValueLength)
        value.resize(MaxProfileValueLength);
    return value;
}

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& path) {
    const std::string_view sectionName = Trimmed(section);
    const std::string_view keyName = Trimmed(key);
    // A line break would smuggle new keys or sections into the file.
    if (sectionName.empty() || keyName.empty() || HasLineBreak(section) || HasLineBreak(key) ||
        HasLineBreak(value) || sectionName.find(']') != sectionName.npos ||
        keyName.find('=') != keyName.npos)
        return false;

    bool exists = false;
    const std::optional<std::string> contents = ReadWholeFile(path, exists);
    if (!contents)
        return false; // never overwrite what could not be read
    const std::string lineEnd = LineEndOf(*contents);
    std::vector<ProfileLine> lines = SplitLines(*contents);
    const KeyPlace place = Find(lines, sectionName, keyName);

    if (place.keyLine) {
        // The key keeps the spelling the file gave it.
        ProfileLine& line = lines[*place.keyLine];
        line.text = std::string(*KeyOf(Content(lines, *place.keyLine))) + "=" + value;
    } else {
        std::size_t insertAt = lines.size();
        std::vector<ProfileLine> added;
        if (place.sectionLine) {
            insertAt = place.lastEntryLine + 1;
        } else {
            // A new section goes at the end, after one blank line.
            if (!lines.empty() && !Trimmed(lines.back().text).empty())
                added.push_back({{}, lineEnd});
            std::string header(1, '[');
            header.append(sectionName).append("]");
            added.push_back({std::move(header), lineEnd});
        }
        added.push_back({std::string(keyName) + "=" + value, lineEnd});
        if (insertAt > 0 && lines[insertAt - 1].ending.empty())
            lines[insertAt - 1].ending = lineEnd;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), added.begin(),
                     added.end());
    }

    const std::string updated = Joined(lines);
    if (exists && updated == *contents)
        return true; // the file already says so
    // Beside the old file and renamed over it, keeping who may read it: the
    // file may hold a password.
    return WriteFileAtomically(path, updated).ok();
}
