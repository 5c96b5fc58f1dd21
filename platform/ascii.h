// Letter case in ASCII alone. Names from the wire and from files (header and
// group names, settings keys, file names inside a reader's packet) compare
// without regard to case in ASCII; the C library's toupper follows the locale
// and would fold other bytes too under some of them.
#pragma once

#include <string>
#include <string_view>

namespace ascii {

constexpr char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string Upper(std::string text) {
    for (char& c : text)
        c = Upper(c);
    return text;
}

inline std::string Lower(std::string text) {
    for (char& c : text)
        c = Lower(c);
    return text;
}

// The text without the given blanks at either end (spaces and tabs unless
// told otherwise).
constexpr std::string_view Trimmed(std::string_view text, std::string_view blanks = " \t") {
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

constexpr bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i]))
            return false;
    }
    return true;
}

constexpr bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualIgnoringCase(text.substr(0, prefix.size()), prefix);
}

} // namespace ascii
