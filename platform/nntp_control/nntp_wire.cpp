#include "nntp_wire.h"

#include <QDate>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace nntp {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::int32_t Clamp32(long long value) {
    if (value > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (value < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

// Reads the next space-separated number; false when there is none.
bool NextNumber(std::string_view& rest, long long& value) {
    while (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (error != std::errc() || end == rest.data())
        return false;
    rest.remove_prefix(static_cast<std::size_t>(end - rest.data()));
    return rest.empty() || rest.front() == ' ';
}

// A folded value keeps its folds: CR LF before a space or tab that is
// followed by more text on its line. Any other CR or LF would end the header
// (or, alone on a line, the headers) for some servers, so it becomes a space.
void AppendFoldedHeaderValue(std::string& out, const std::string& value) {
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c != '\r' && c != '\n') {
            out += c;
            continue;
        }
        const bool fold = c == '\r' && i + 2 < value.size() && value[i + 1] == '\n' &&
                          (value[i + 2] == ' ' || value[i + 2] == '\t');
        if (fold) {
            const std::size_t next = value.find_first_not_of(" \t", i + 2);
            if (next != std::string::npos && value[next] != '\r' && value[next] != '\n' &&
                !out.ends_with(": ")) {
                out += "\r\n";
                ++i;
                continue;
            }
        }
        out += ' ';
    }
}

} // namespace

std::optional<int> StatusCode(std::string_view line) {
    if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2]))
        return std::nullopt;
    if (line[0] < '1' || line[0] > '5')
        return std::nullopt;
    if (line.size() > 3 && line[3] != ' ')
        return std::nullopt;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

std::optional<GroupSelection> ParseGroupReply(std::string_view line) {
    if (StatusCode(line) != 211)
        return std::nullopt;
    std::string_view rest = line.substr(3);
    long long count = 0, first = 0, last = 0;
    if (!NextNumber(rest, count) || !NextNumber(rest, first) || !NextNumber(rest, last))
        return std::nullopt;
    GroupSelection selection;
    selection.count = Clamp32(count);
    selection.first = Clamp32(first);
    selection.last = Clamp32(last);
    while (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
    selection.name = std::string(rest.substr(0, rest.find(' ')));
    return selection;
}

std::string NewGroupsArguments(double date) {
    const QDate epoch(1899, 12, 30);
    // A date beyond the years 1 to 9999 has no yyyymmdd form, and converting
    // a day count beyond 64 bits is undefined: such a date becomes the
    // nearest end.
    const double first = static_cast<double>(epoch.daysTo(QDate(1, 1, 1)));
    const double last = static_cast<double>(epoch.daysTo(QDate(9999, 12, 31)));
    const double days = std::isfinite(date) ? std::clamp(std::floor(date), first, last) : 0.0;
    const QDate day = epoch.addDays(static_cast<qint64>(days));
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02d 000000 GMT", day.year(), day.month(), day.day());
    return text;
}

void TakeHeaderLine(TDocHeaders& headers, std::string_view line) {
    if (line.empty())
        return;
    if (line.front() == ' ' || line.front() == '\t') {
        headers.AppendToLast(std::string(line));
        return;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return; // nothing to file it under
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    headers.Add(std::string(line.substr(0, colon)), std::string(value));
}

std::string PostingWireForm(const TDocHeaders& headers, std::string_view text) {
    std::string wire;
    wire.reserve(text.size() + text.size() / 32 + 256);
    for (std::size_t i = 0; i < headers.Count(); ++i) {
        const TDocHeader& header = headers.At(i);
        if (!header.Name.empty() && header.Name.front() == '.')
            wire += '.';
        // A name holds no white space or control character; one that did
        // could start a line that continues the header before it.
        for (const char c : header.Name)
            if (static_cast<unsigned char>(c) > ' ')
                wire += c;
        wire += ": ";
        AppendFoldedHeaderValue(wire, header.Value);
        wire += "\r\n";
    }
    wire += "\r\n";
    bool lineStart = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            wire += "\r\n";
            lineStart = true;
            continue;
        }
        if (lineStart && c == '.')
            wire += '.';
        wire += c;
        lineStart = false;
    }
    if (!lineStart)
        wire += "\r\n";
    wire += ".\r\n";
    return wire;
}

bool SafeArgument(std::string_view text) {
    return text.find_first_of("\r\n") == std::string_view::npos && !text.empty();
}

} // namespace nntp
