// What the long runs show while they work. The windows implement these; the
// runs themselves know no widgets, and tests implement them with plain lists.
#pragma once

#include <string>

// The log window: one read-only line per step of a run.
class RunLog {
public:
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
