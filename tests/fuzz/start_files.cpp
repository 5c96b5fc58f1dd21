// The text files of the start directory and the server's list of newsgroups,
// the first byte choosing which one the rest of the input is:
//   '0' GROUPS.DAT: what is read and written back must read the same again;
//   '1' the LIST reply: merging adds new, distinct, unqueued names only;
//   '2' QUEUE.LST ('6' the same, answering No to the read pointers): only
//       existing entries change, each reported once;
//   '3' ZANDREL.INI: the settings read, and a write of one key changes that
//       key and no other.
#include "core/groups_file.h"
#include "core/queue_list.h"
#include "core/settings.h"
#include "fuzz_check.h"
#include "profile.h"
#include "support/temp_directory.h"

#include <array>
#include <set>
#include <tuple>
#include <vector>

namespace {

using Entry = std::tuple<std::string, std::int32_t, std::int32_t>;

std::vector<Entry> EntriesOf(const NewsGroupTable& table) {
    std::vector<Entry> entries;
    for (std::size_t i = 0; i < table.Count(); ++i)
        entries.emplace_back(table[i].Name, table[i].Conference, table[i].LastRead);
    return entries;
}

// A table as GROUPS.DAT gives it, an entry left with no name by a damaged
// line included.
void FillTable(NewsGroupTable& table) {
    table.Append("misc.test", 1, 10);
    table.Append("alt.test", -1, 0);
    table.Append("comp.lang.c", 2, -5);
    table.Append("", -1, 0);
}

void GroupsFile(const std::string& text) {
    NewsGroupTable table;
    ParseGroupLines(table, text, false, true);
    std::string saved;
    for (std::size_t i = 0; i < table.Count(); ++i) {
        FUZZ_CHECK(table[i].Name.find(' ') == std::string::npos);
        AppendGroupLine(saved, table[i]);
    }
    NewsGroupTable again;
    ParseGroupLines(again, saved, false, true);
    FUZZ_CHECK(EntriesOf(again) == EntriesOf(table));
}

void ServerList(const std::string& text) {
    NewsGroupTable table;
    FillTable(table);
    const std::vector<Entry> before = EntriesOf(table);
    ParseGroupLines(table, text, true, false);
    const std::vector<Entry> after = EntriesOf(table);
    FUZZ_CHECK(after.size() >= before.size());
    FUZZ_CHECK(std::equal(before.begin(), before.end(), after.begin()));
    std::set<std::string> names;
    for (const Entry& entry : after)
        FUZZ_CHECK(names.insert(std::get<0>(entry)).second);
    for (std::size_t i = before.size(); i < after.size(); ++i) {
        FUZZ_CHECK(std::get<0>(after[i]).find(' ') == std::string::npos);
        FUZZ_CHECK(std::get<1>(after[i]) == -1 && std::get<2>(after[i]) == 0);
    }
}

void QueueList(const TempWorkDirectory& directory, const std::string& text, bool useLastRead) {
    TempWorkDirectory::Write(QueueListPath(directory.Path()), text);
    NewsGroupTable table;
    FillTable(table);
    const std::vector<Entry> before = EntriesOf(table);
    const auto changed = ImportQueuedNewsgroups(
        table, directory.Path(), [&](const std::string&) { return useLastRead; },
        [](const std::string&) {});
    const std::vector<Entry> after = EntriesOf(table);
    FUZZ_CHECK(after.size() == before.size());
    FUZZ_CHECK(table.GroupsChanged == !changed.empty());
    std::vector<bool> reported(after.size(), false);
    for (const std::size_t index : changed) {
        FUZZ_CHECK(index < after.size() && !reported[index]);
        reported[index] = true;
        FUZZ_CHECK(!std::get<0>(after[index]).empty());
        if (!useLastRead)
            FUZZ_CHECK(std::get<2>(after[index]) == 0);
    }
    for (std::size_t i = 0; i < after.size(); ++i) {
        FUZZ_CHECK(std::get<0>(after[i]) == std::get<0>(before[i]));
        if (!reported[i])
            FUZZ_CHECK(after[i] == before[i]);
    }
}

// The keys ZANDREL.INI holds, by section.
constexpr std::array<std::pair<const char*, const char*>, 10> SettingsKeys{{
    {"NNTP", "NNTP Server"},
    {"NNTP", "NNTP User Id"},
    {"NNTP", "NNTP Password"},
    {"NNTP", "NNTP Last Get Groups"},
    {"NNTP", "NNTP Remote Port"},
    {"Identity", "Domain"},
    {"Identity", "Organization"},
    {"Qwk", "Qwk ID"},
    {"Qwk", "Lines Per Messages"},
    {"Qwk", "Work Directory"},
}};

std::vector<std::string> SettingsValues(const std::string& path) {
    std::vector<std::string> values;
    for (const auto& [section, key] : SettingsKeys) {
        values.push_back(GetPrivateProfileString(section, key, "(none)", path));
        FUZZ_CHECK(values.back().size() <= MaxProfileValueLength);
    }
    return values;
}

void SettingsFile(const TempWorkDirectory& directory, const std::string& text) {
    const std::string path = directory.File("ZANDREL.INI");
    TempWorkDirectory::Write(path, text);
    Settings settings;
    settings.WorkDirectory = directory.Path();
    try {
        ReadSettings(settings, path);
    } catch (const SettingsError&) {
        // A stored date that does not read; the program says so.
    }

    const std::vector<std::string> before = SettingsValues(path);
    const std::size_t written = text.size() % SettingsKeys.size();
    const auto [section, key] = SettingsKeys[written];
    FUZZ_CHECK(WritePrivateProfileString(section, key, "fuzz value", path));
    std::vector<std::string> expected = before;
    expected[written] = "fuzz value";
    FUZZ_CHECK(SettingsValues(path) == expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const TempWorkDirectory directory(false);
    if (size == 0)
        return 0;
    const std::string text = FuzzBytes(data + 1, size - 1);
    switch (data[0] % 4) {
    case 0:
        GroupsFile(text);
        break;
    case 1:
        ServerList(text);
        break;
    case 2:
        QueueList(directory, text, data[0] / 4 % 2 == 0);
        break;
    case 3:
        SettingsFile(directory, text);
        break;
    }
    return 0;
}
