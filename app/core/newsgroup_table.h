// The newsgroup table: every group known from the server, whether it is
// queued as a QWK conference, and how far it has been read.
#pragma once

#include "vxutil.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

struct NewsGroupRecord : VxListItem {
    std::string Name;
    std::int32_t Conference = -1; // -1: not queued
    std::int32_t LastRead = 0;    // -n: the next run takes the newest n articles
};

// The ordered, owning list of records: the order of GROUPS.DAT and of the grid.
class NewsGroupTable {
public:
    std::size_t Count() const { return list_.size(); }
    bool Empty() const { return list_.empty(); }
    NewsGroupRecord& operator[](std::size_t i) { return static_cast<NewsGroupRecord&>(*list_[i]); }
    const NewsGroupRecord& operator[](std::size_t i) const {
        return static_cast<const NewsGroupRecord&>(*list_[i]);
    }
    NewsGroupRecord& Append(std::string name, std::int32_t conference, std::int32_t lastRead);
    void Clear() { VxClearList(list_); }
    VxList& Items() { return list_; }

    // The table differs from GROUPS.DAT.
    bool GroupsChanged = false;
    // The bytes of a GROUPS.DAT whose load skipped lines it could not read,
    // while no copy of them is kept as GROUPS.DAT.bak yet: the next save
    // writes that copy before it replaces the file. Clear() leaves it alone.
    std::optional<std::string> UnkeptOriginal;

private:
    VxList list_;
};

// The grid's header texts, column 0 to 2.
inline constexpr const char* NewsgroupColumnTitles[3] = {"Newsgroup", "Qwk Conference",
                                                         "Last Message Read"};

// The texts of the grid's two number columns: an unqueued group (-1) shows an
// empty conference cell.
std::string ConferenceCellText(std::int32_t conference);
std::string LastReadCellText(std::int32_t lastRead);

// Name order of the sort command: the letters a-z count as A-Z, every other
// byte by its value, and a name sorts before any longer name it begins.
bool NewsgroupNameLess(std::string_view a, std::string_view b);
// Sorts the table in place by NewsgroupNameLess; names that differ only in
// the case of letters end in no particular order. Saving and refilling the
// grid are the caller's next steps.
void SortGroups(NewsGroupTable& table);
// A click on a grid column's title: column 0 sorts as SortGroups, column 1
// by conference (unqueued groups last), column 2 by last message read; equal
// numbers keep name order.
void SortGroupsByColumn(NewsGroupTable& table, int column);

// Find Next: the first entry after `current` (-1: before the first entry)
// whose name contains findText, with only a-z folded to upper case. Nothing
// when findText is empty or no later entry matches; the search never wraps.
// betweenEntries, when given, runs before each entry is looked at (the window
// lets pending messages through there); the table may change inside it, so
// the count is read afresh on every step.
std::optional<std::size_t> FindNextMatch(const NewsGroupTable& table, std::ptrdiff_t current,
                                         const std::string& findText,
                                         const std::function<void()>& betweenEntries = {});

// The Newsgroup Settings dialog's two edit texts for an entry.
struct GroupSettingsTexts {
    std::string Conference; // empty when not queued
    std::string LastRead;
};
GroupSettingsTexts GroupSettingsTextsOf(const NewsGroupRecord& record);
// The highest conference number a QWK packet can carry (16 bits).
inline constexpr std::int32_t MaxConference = 65535;
// Why the Newsgroup Settings dialog's texts cannot be applied; empty when they
// can. The conference text is empty (not queued) or a decimal whole number
// from 0 to MaxConference; the last-read text is empty (0) or a decimal
// 32-bit whole number. Blanks around either are ignored.
std::string GroupSettingsProblem(const GroupSettingsTexts& texts);
// The same for the entry at `index`, and a conference number that another
// entry is queued under is refused with that entry's name (unless the entry
// holds that number already).
std::string GroupSettingsProblem(const NewsGroupTable& table, std::size_t index,
                                 const GroupSettingsTexts& texts);
// "Ok" in the Newsgroup Settings dialog: an empty conference text unqueues
// the group, an empty last-read text gives 0. Marks the table changed; the
// caller refreshes the row. Texts that GroupSettingsProblem (with the table) refuses change
// nothing: false then.
bool ApplyGroupSettings(NewsGroupTable& table, std::size_t index, const GroupSettingsTexts& texts);
