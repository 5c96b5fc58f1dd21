#include "newsgroup_table.h"

#include "ascii.h"

#include <algorithm>
#include <memory>

NewsGroupRecord& NewsGroupTable::Append(std::string name, std::int32_t conference,
                                        std::int32_t lastRead) {
    auto record = std::make_unique<NewsGroupRecord>();
    record->Name = std::move(name);
    record->Conference = conference;
    record->LastRead = lastRead;
    NewsGroupRecord& appended = *record;
    list_.push_back(std::move(record));
    return appended;
}

std::string ConferenceCellText(std::int32_t conference) {
    return VxCondString(conference == -1, "", std::to_string(conference));
}

std::string LastReadCellText(std::int32_t lastRead) {
    return std::to_string(lastRead);
}

namespace {

bool ContainsIgnoringAsciiCase(std::string_view text, std::string_view upperNeedle) {
    const auto found = std::search(text.begin(), text.end(), upperNeedle.begin(), upperNeedle.end(),
                                   [](char t, char n) { return ascii::Upper(t) == n; });
    return found != text.end();
}

} // namespace

bool NewsgroupNameLess(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        // Only a-z change, so bytes of other alphabets keep their order.
        const auto ca = static_cast<unsigned char>(ascii::Upper(a[i]));
        const auto cb = static_cast<unsigned char>(ascii::Upper(b[i]));
        if (ca != cb)
            return ca < cb;
    }
    return a.size() < b.size();
}

void SortGroups(NewsGroupTable& table) {
    VxList& items = table.Items();
    std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
        return NewsgroupNameLess(static_cast<const NewsGroupRecord&>(*a).Name,
                                 static_cast<const NewsGroupRecord&>(*b).Name);
    });
}

void SortGroupsByColumn(NewsGroupTable& table, int column) {
    if (column != 1 && column != 2) {
        SortGroups(table);
        return;
    }
    SortGroups(table); // names order the groups a number does not
    auto key = [column](const std::unique_ptr<VxListItem>& item) {
        const auto& record = static_cast<const NewsGroupRecord&>(*item);
        if (column == 2)
            return static_cast<std::int64_t>(record.LastRead);
        // Unqueued groups after every queued one.
        return record.Conference < 0 ? std::int64_t{MaxConference} + 1
                                     : static_cast<std::int64_t>(record.Conference);
    };
    VxList& items = table.Items();
    std::stable_sort(items.begin(), items.end(),
                     [&key](const auto& a, const auto& b) { return key(a) < key(b); });
}

std::optional<std::size_t> FindNextMatch(const NewsGroupTable& table, std::ptrdiff_t current,
                                         const std::string& findText,
                                         const std::function<void()>& betweenEntries) {
    if (findText.empty())
        return std::nullopt;
    const std::string upperNeedle = ascii::Upper(findText);

    const std::size_t first = current < 0 ? 0 : static_cast<std::size_t>(current) + 1;
    for (std::size_t index = first; index < table.Count(); ++index) {
        if (betweenEntries) {
            betweenEntries();
            if (index >= table.Count())
                break;
        }
        if (ContainsIgnoringAsciiCase(table[index].Name, upperNeedle))
            return index;
    }
    return std::nullopt;
}

GroupSettingsTexts GroupSettingsTextsOf(const NewsGroupRecord& record) {
    return {ConferenceCellText(record.Conference), LastReadCellText(record.LastRead)};
}

namespace {

// A decimal whole number with an optional sign, within 32 bits.
std::optional<std::int32_t> DecimalOf(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > limit)
            return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

} // namespace

std::string GroupSettingsProblem(const GroupSettingsTexts& texts) {
    const std::string_view conference = ascii::Trimmed(texts.Conference);
    if (!conference.empty()) {
        const auto number = DecimalOf(conference);
        if (!number || *number < 0 || *number > MaxConference) {
            // Appended in place: GCC 12 misreads a literal plus a temporary.
            std::string problem = "'";
            problem += conference;
            problem += "' is not a valid Qwk Conference: enter a number from 0 to ";
            problem += std::to_string(MaxConference);
            problem += ", or nothing for a group that is not queued.";
            return problem;
        }
    }
    const std::string_view lastRead = ascii::Trimmed(texts.LastRead);
    if (!lastRead.empty() && !DecimalOf(lastRead)) {
        std::string problem = "'";
        problem += lastRead;
        problem += "' is not a valid Last Message Read: enter a whole number.";
        return problem;
    }
    return {};
}

std::string GroupSettingsProblem(const NewsGroupTable& table, std::size_t index,
                                 const GroupSettingsTexts& texts) {
    if (std::string problem = GroupSettingsProblem(texts); !problem.empty())
        return problem;
    const std::string_view conference = ascii::Trimmed(texts.Conference);
    if (conference.empty())
        return {};
    const std::int32_t number = *DecimalOf(conference);
    // Two groups under one number would mix in the reader, and replies
    // would go to the first of them. A pair that GROUPS.DAT already holds is
    // left to the user, so the group's other value can still be edited.
    if (index < table.Count() && table[index].Conference == number)
        return {};
    for (std::size_t i = 0; i < table.Count(); ++i)
        if (i != index && table[i].Conference == number)
            return "Qwk Conference " + std::to_string(number) + " is already used by " +
                   table[i].Name + ".";
    return {};
}

bool ApplyGroupSettings(NewsGroupTable& table, std::size_t index, const GroupSettingsTexts& texts) {
    if (!GroupSettingsProblem(table, index, texts).empty())
        return false;
    const std::string_view conference = ascii::Trimmed(texts.Conference);
    const std::string_view lastRead = ascii::Trimmed(texts.LastRead);
    NewsGroupRecord& record = table[index];
    record.Conference = conference.empty() ? -1 : *DecimalOf(conference);
    record.LastRead = lastRead.empty() ? 0 : *DecimalOf(lastRead);
    table.GroupsChanged = true;
    return true;
}
