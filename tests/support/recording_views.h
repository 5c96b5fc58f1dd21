// The windows a run reports to, as plain records, so runs and the connection
// are tested without a window.
#pragma once

#include "core/run_views.h"
#include "nntp/news_connection.h"

#include <set>
#include <string>
#include <vector>

class RecordingLog : public RunLog {
public:
    void SetCaption(const std::string& text) override { caption = text; }
    void Clear() override { lines.clear(); }
    void Show() override {
        shown = true;
        ++showCount;
    }
    void Hide() override { shown = false; }
    void AppendLine(const std::string& line) override { lines.push_back(line); }

    std::string caption;
    std::vector<std::string> lines;
    bool shown = false;
    int showCount = 0;
};

class RecordingProgress : public ProgressView {
public:
    void SetCaption(const std::string& text) override { captions.push_back(text); }
    void SetItem(const std::string& text) override { items.push_back(text); }
    void SetPercent(int value) override { percents.push_back(value); }
    void Show() override {
        shown = true;
        ++showCount;
    }
    void Hide() override { shown = false; }

    std::vector<std::string> captions;
    std::vector<std::string> items;
    std::vector<int> percents;
    bool shown = false;
    int showCount = 0;
};

class RecordingRows : public GroupRowView {
public:
    void GroupRowChanged(std::size_t index) override { changed.insert(index); }
    std::set<std::size_t> changed;
};

// The main window's status line and enabling sets.
class RecordingConnectionView : public ConnectionView {
public:
    void SetStatusText(const std::string& text) override { texts.push_back(text); }
    void ApplyEnablingSet(bool connected) override { sets.push_back(connected); }
    void RepaintStatus() override { ++repaints; }
    std::string LastText() const { return texts.empty() ? std::string() : texts.back(); }

    std::vector<std::string> texts;
    std::vector<bool> sets;
    int repaints = 0;
};
