// How fast a full Usenet list goes from the received document into the grid,
// back from GROUPS.DAT, and how fast a new-groups list merges into it.
// Build with -DCMAKE_BUILD_TYPE=Release to measure.
#include "core/groups_file.h"
#include "shell/windows/newsgroup_table_model.h"

#include <QApplication>
#include <QTableView>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t GroupCount = 150'000;
constexpr std::size_t NewGroupCount = 1'000;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void Report(const char* what, double seconds, double target) {
    std::printf("%-52s %8.3f s   (target < %.1f s)%s\n", what, seconds, target,
                seconds < target ? "" : "   SLOW");
}

// Names shaped like real ones: a few top-level hierarchies, a couple of
// levels below, a number to keep them unique; listed in no particular order.
std::vector<std::string> MakeGroupNames(std::size_t count, std::mt19937& random) {
    static const char* tops[] = {"alt",  "comp", "de",         "fr",    "misc",
                                 "news", "rec",  "sci",        "soc",   "talk",
                                 "uk",   "Alt",  "humanities", "fido7", "microsoft.public"};
    static const char* words[] = {"binaries", "lang",     "os",   "test",      "discussion",
                                  "answers",  "music",    "arts", "sport",     "politics",
                                  "comp",     "software", "misc", "announce",  "moderated",
                                  "linux",    "windows",  "c++",  "databases", "hardware"};
    std::uniform_int_distribution<std::size_t> top(0, std::size(tops) - 1);
    std::uniform_int_distribution<std::size_t> word(0, std::size(words) - 1);
    std::vector<std::string> names;
    names.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        names.push_back(std::string(tops[top(random)]) + "." + words[word(random)] + "." +
                        words[word(random)] + ".g" + std::to_string(i));
    }
    return names;
}

// The list as the server sends it: "name last first flag" CR LF.
std::string MakeListDocument(const std::vector<std::string>& names, std::mt19937& random) {
    std::uniform_int_distribution<int> article(1, 999'999);
    std::string document;
    document.reserve(names.size() * 56);
    char numbers[40];
    for (const std::string& name : names) {
        const int last = article(random);
        std::snprintf(numbers, sizeof numbers, " %010d %010d y\r\n", last, last / 2 + 1);
        document += name;
        document += numbers;
    }
    return document;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir directory;
    const std::string startDirectory = directory.path().toStdString();

    std::mt19937 random(20261209);
    const std::vector<std::string> names = MakeGroupNames(GroupCount, random);
    const std::string document = MakeListDocument(names, random);
    std::printf("list document: %zu groups, %.1f MB\n", GroupCount, document.size() / 1e6);

    NewsGroupTable table;
    NewsGroupTableModel model(table);
    QTableView view;
    view.setModel(&model);
    view.resize(800, 600);
    view.show();
    app.processEvents();

    // Twice: into the empty table of a first start, then over the full table
    // a second Get All Newsgroups replaces.
    for (const char* round : {"empty table", "full table"}) {
        const auto start = Clock::now();
        ParseGroupLines(table, document, true, true);
        const double parsed = SecondsSince(start);
        SortGroups(table);
        const double sorted = SecondsSince(start);
        table.GroupsChanged = true;
        SaveGroups(table, startDirectory);
        const double saved = SecondsSince(start);
        model.Reset();
        app.processEvents();
        const double shown = SecondsSince(start);
        std::printf("document to grid, %s: parse %.3f, sort %.3f, save %.3f, grid %.3f\n", round,
                    parsed, sorted - parsed, saved - sorted, shown - saved);
        Report("  document to filled grid (parse, sort, save, reset)", shown, 1.0);
    }
    view.scrollToBottom();
    app.processEvents();

    NewsGroupTable loaded;
    auto start = Clock::now();
    LoadGroups(loaded, startDirectory);
    Report("LoadGroups of GROUPS.DAT", SecondsSince(start), 0.5);
    if (loaded.Count() != GroupCount)
        std::printf("  unexpected: %zu entries loaded\n", loaded.Count());

    // Half the listed names are already in the table, half are new.
    std::vector<std::string> newNames = MakeGroupNames(NewGroupCount / 2, random);
    for (std::string& name : newNames)
        name = "new." + name;
    for (std::size_t i = 0; i < NewGroupCount / 2; ++i)
        newNames.push_back(names[(i * 7919) % GroupCount]);
    const std::string newGroups = MakeListDocument(newNames, random);
    start = Clock::now();
    ParseGroupLines(table, newGroups, true, false);
    Report("Get New Newsgroups merge of 1,000 names", SecondsSince(start), 0.1);
    std::printf("  table now holds %zu groups\n", table.Count());
    return 0;
}
