// The properties of an article's wire form that the server relies on,
// whatever the headers and text hold: one line per header, the text back
// unchanged once unstuffed, and only the terminating dot ending it.
#pragma once

#include "fuzz_check.h"
#include "nntp_control/nntp_wire.h"
#include "nntp_control/tnntp.h"

#include <string>
#include <string_view>
#include <vector>

// The text with every line end (CR LF, CR, LF) as CR LF and the last line ended.
inline std::string WireLineEnds(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            out += "\r\n";
        } else {
            out += text[i];
        }
    }
    if (!out.empty() && !out.ends_with("\r\n"))
        out += "\r\n";
    return out;
}

inline void CheckPostingWireForm(const TDocHeaders& headers, std::string_view text) {
    const std::string wire = nntp::PostingWireForm(headers, text);
    FUZZ_CHECK(wire.ends_with("\r\n.\r\n"));
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < wire.size();) {
        const std::size_t end = wire.find_first_of("\r\n", start);
        FUZZ_CHECK(end != std::string::npos);
        // No bare CR or LF: each would end a line for some server.
        FUZZ_CHECK(wire.compare(end, 2, "\r\n") == 0);
        lines.push_back(std::string_view(wire).substr(start, end - start));
        start = end + 2;
    }
    // Each header is one line and its folds: lines that begin with a space
    // or tab and carry more than white space.
    std::size_t at = 0;
    for (std::size_t i = 0; i < headers.Count(); ++i) {
        FUZZ_CHECK(at < lines.size() && !lines[at].empty() && lines[at][0] != ' ' &&
                   lines[at][0] != '\t');
        for (++at; at < lines.size() && !lines[at].empty() &&
                   (lines[at][0] == ' ' || lines[at][0] == '\t');
             ++at)
            FUZZ_CHECK(lines[at].find_first_not_of(" \t") != std::string_view::npos);
    }
    FUZZ_CHECK(at + 1 < lines.size());
    FUZZ_CHECK(lines[at].empty());
    FUZZ_CHECK(lines.back() == ".");
    std::string body;
    for (std::size_t i = at + 1; i + 1 < lines.size(); ++i) {
        std::string_view line = lines[i];
        if (line.starts_with('.')) {
            FUZZ_CHECK(line.starts_with(".."));
            line.remove_prefix(1);
        }
        body.append(line).append("\r\n");
    }
    FUZZ_CHECK(body == WireLineEnds(text));
}
