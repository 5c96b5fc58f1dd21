// Where the main window was and how wide its grid's columns were, kept in
// ZANDREL.INI's own [Window] section. The section is written after every
// other key, so a file written before it keeps its order.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct WindowPlacement {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool Maximized = false;
    std::vector<int> ColumnWidths; // the grid's, left to right
};

// The placement the file holds; nothing when it holds none, or one that does
// not read (the window then opens where it always did).
std::optional<WindowPlacement> ReadWindowPlacement(const std::string& iniPath);
// False when the file cannot be written; the placement is then only lost.
bool WriteWindowPlacement(const WindowPlacement& placement, const std::string& iniPath);
