#include "window_placement.h"

#include "profile.h"

#include <charconv>
#include <sstream>

namespace {
constexpr const char* Section = "Window";
constexpr const char* KeyPosition = "Position";
constexpr const char* KeyMaximized = "Maximized";
constexpr const char* KeyColumnWidths = "Column Widths";

// Whole numbers separated by blanks; nothing when any of them is not one.
std::optional<std::vector<int>> Numbers(const std::string& text) {
    std::vector<int> numbers;
    std::istringstream in(text);
    std::string word;
    while (in >> word) {
        int value = 0;
        const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
        if (error != std::errc() || end != word.data() + word.size())
            return std::nullopt;
        numbers.push_back(value);
    }
    return numbers;
}

std::string Joined(const std::vector<int>& numbers) {
    std::string text;
    for (const int n : numbers)
        text += (text.empty() ? "" : " ") + std::to_string(n);
    return text;
}
} // namespace

std::optional<WindowPlacement> ReadWindowPlacement(const std::string& iniPath) {
    const auto position = Numbers(GetPrivateProfileString(Section, KeyPosition, "", iniPath));
    if (!position || position->size() != 4 || (*position)[2] <= 0 || (*position)[3] <= 0)
        return std::nullopt;
    WindowPlacement placement;
    placement.Left = (*position)[0];
    placement.Top = (*position)[1];
    placement.Width = (*position)[2];
    placement.Height = (*position)[3];
    placement.Maximized = GetPrivateProfileString(Section, KeyMaximized, "0", iniPath) == "1";
    if (const auto widths = Numbers(GetPrivateProfileString(Section, KeyColumnWidths, "", iniPath)))
        placement.ColumnWidths = *widths;
    return placement;
}

bool WriteWindowPlacement(const WindowPlacement& placement, const std::string& iniPath) {
    return WritePrivateProfileString(
               Section, KeyPosition,
               Joined({placement.Left, placement.Top, placement.Width, placement.Height}),
               iniPath) &&
           WritePrivateProfileString(Section, KeyMaximized, placement.Maximized ? "1" : "0",
                                     iniPath) &&
           WritePrivateProfileString(Section, KeyColumnWidths, Joined(placement.ColumnWidths),
                                     iniPath);
}
