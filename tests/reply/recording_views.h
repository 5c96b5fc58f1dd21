// The log and progress windows as plain records, so runs are tested without
// a window.
#pragma once

#include "shell/run_views.h"

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
