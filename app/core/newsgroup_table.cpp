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

void ApplyGroupSettings(NewsGroupTable& table, std::size_t index, const GroupSettingsTexts& texts) {
    NewsGroupRecord& record = table[index];
    record.Conference = VxStrToInt(texts.Conference, -1);
    record.LastRead = VxStrToInt(texts.LastRead, 0);
    table.GroupsChanged = true;
}
