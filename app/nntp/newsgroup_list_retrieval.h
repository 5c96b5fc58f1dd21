// Get All Newsgroups and Get New Newsgroups: fetch the server's list over the
// connection, turn it into table entries, save GROUPS.DAT and remember the day
// in "NNTP Last Get Groups". The window disables itself around these calls.
#pragma once

#include "core/newsgroup_table.h"
#include "core/settings.h"
#include "news_connection.h"

#include <functional>
#include <string>

// The yes/no question (the window asks it captioned "Zandrel"); true for Yes.
using AskYesNo = std::function<bool(const std::string& question)>;
// FillGrid: the whole table is to be shown afresh.
using FillGrid = std::function<void()>;

inline constexpr const char* ReplaceGroupsQuestion =
    "This will delete your current newsgroups configuration!\r\nAre you sure?";

// Replaces the table with the server's whole list, unqueued and sorted by
// name. Asks first when the table holds any entry. Does nothing when the
// connection is closed or busy, when the answer is No, or when the transfer
// fails. Returns true when the table was replaced.
bool GetAllNewsgroups(NewsConnection& connection, NewsGroupTable& table, Settings& settings,
                      const std::string& startDirectory, const AskYesNo& askYesNo,
                      const FillGrid& fillGrid);

// Appends the groups the server reports as created since LastGetGroups, in
// the server's order; names already in the table (exact case) keep their
// entries. Does nothing when the connection is closed or busy or the transfer
// fails. Returns true when the list was merged.
bool GetNewNewsgroups(NewsConnection& connection, NewsGroupTable& table, Settings& settings,
                      const std::string& startDirectory, const FillGrid& fillGrid);

// A day as the control's date argument: days since 30 December 1899.
double AutomationDate(const QDate& day);
