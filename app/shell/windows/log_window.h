// The log window: one read-only line per step of a long run.
#pragma once

#include "shell/run_views.h"

#include <QStringList>
#include <QWidget>

class QPlainTextEdit;

class TForm6 : public QWidget, public RunLog {
    Q_OBJECT
public:
    explicit TForm6(QWidget* parent = nullptr);

    void SetCaption(const std::string& caption) override;
    void Clear() override;
    void Show() override;
    void Hide() override;
    // The line appears on the next pass of the event loop, together with any
    // others that arrived meanwhile, so a fast run is not held up by painting.
    void AppendLine(const std::string& line) override;

    // In a batch run every line also goes to standard output.
    void SetEchoToStandardOutput(bool echo) { echo_ = echo; }

    // Writes lines still waiting for the next pass; tests call it to look.
    void FlushPendingLines();
    QString Text() const;

    QPlainTextEdit* RichEdit1;

private:
    QStringList pending_;
    bool flushScheduled_ = false;
    bool echo_ = false;
};
