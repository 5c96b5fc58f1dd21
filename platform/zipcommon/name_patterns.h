// Lists of file names and wildcard patterns, as both zip libraries read them.
// Header-only: each library compiles its own copy.
#pragma once

#include "ascii.h"

#include <string>
#include <string_view>
#include <vector>

namespace zipcommon {

// Blank-separated names; a name in double quotes may hold blanks. A null
// list is empty.
inline std::vector<std::string> SplitNameList(const char* list) {
    std::vector<std::string> names;
    if (list == nullptr)
        return names;
    const std::string_view text(list);
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
        if (i >= text.size())
            break;
        std::string name;
        if (text[i] == '"') {
            const std::size_t close = text.find('"', i + 1);
            const std::size_t end = close == std::string_view::npos ? text.size() : close;
            name.assign(text.substr(i + 1, end - i - 1));
            i = end + 1;
        } else {
            const std::size_t end = text.find_first_of(" \t", i);
            const std::size_t stop = end == std::string_view::npos ? text.size() : end;
            name.assign(text.substr(i, stop - i));
            i = stop;
        }
        if (!name.empty())
            names.push_back(std::move(name));
    }
    return names;
}

inline bool HasWildcard(std::string_view pattern) {
    return pattern.find_first_of("*?") != std::string_view::npos;
}

// '*' any run of characters, '?' any one; letter case is ignored, since the
// names come from a file system that did not tell cases apart.
inline bool MatchesWildcard(std::string_view name, std::string_view pattern) {
    std::size_t n = 0, p = 0;
    std::size_t starPattern = std::string_view::npos, starName = 0;
    const auto same = [](char a, char b) { return ascii::Upper(a) == ascii::Upper(b); };
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starPattern = p++;
            starName = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || same(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (starPattern != std::string_view::npos) {
            p = starPattern + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

// As MatchesWildcard, except that a pattern ending in ".*" also takes names
// without an extension: "*.*" is every file, "README.*" takes "README".
inline bool MatchesFilePattern(std::string_view name, std::string_view pattern) {
    if (MatchesWildcard(name, pattern))
        return true;
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*")
        return MatchesWildcard(name, pattern.substr(0, pattern.size() - 2));
    return false;
}

} // namespace zipcommon
