// What the long runs show while they work. The windows implement these; the
// runs themselves know no widgets, and tests implement them with plain lists.
#pragma once

#include <string>

// Where a long run stands, for the window that shows its progress.
struct RunProgress {
    std::string Step;   // in words: "Retrieving articles from alt.test"
    std::string Counts; // "group 2 of 3 · article 12 of 150"; may be empty
    int Done = 0;
    int Total = 0; // 0: not known, and no bar can show how far along it is
};

// "group 2 of 3 · article 12 of 150" (the article part only with a total).
std::string GroupArticleCounts(int group, int groups, int article, int articles);

// The log window: one read-only line per step of a run.
class RunLog {
public:
    // Where the run stands; a log without a place for it ignores it.
    virtual void SetProgress(const RunProgress& progress) { (void)progress; }
    virtual ~RunLog() = default;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void Clear() = 0;
    virtual void Show() = 0; // shown non-modal and brought to the front
    virtual void Hide() = 0;
    virtual void AppendLine(const std::string& line) = 0;
};

// The progress window: a label and a bar from 0 to 100.
class ProgressView {
public:
    virtual ~ProgressView() = default;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void SetItem(const std::string& item) = 0;
    virtual void SetPercent(int percent) = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
};

// The grid's view of one table entry changed (its row is index + 1).
class GroupRowView {
public:
    virtual ~GroupRowView() = default;
    virtual void GroupRowChanged(std::size_t index) = 0;
};
