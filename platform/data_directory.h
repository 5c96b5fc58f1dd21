// Where an installed program keeps its files (ZANDREL.INI, GROUPS.DAT, TEMP,
// WORK): it starts there rather than in whatever directory it was started
// from, as scripts/run does for a build.
#pragma once

#include <string>

// ZANDREL_HOME when set, else $XDG_DATA_HOME/zandrel when that is an absolute
// path, else <home>/.local/share/zandrel. Empty when there is no home to
// build it on.
std::string DataDirectoryFor(const char* zandrelHome, const char* xdgDataHome, const char* home);
// The same from this process's environment (the password database's home
// when HOME is unset).
std::string DataDirectory();

// Creates the data directory when missing (readable by its owner only: the
// settings hold the news server's password) and makes it current. Empty on
// success, else what went wrong.
std::string EnterDataDirectory(const std::string& directory);
