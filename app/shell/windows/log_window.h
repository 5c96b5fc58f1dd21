// The log window: one read-only line per step of a long run.
#pragma once

#include "core/run_views.h"

#include <QStringList>
#include <QWidget>

class QPlainTextEdit;
class QTimer;

// The log window of Get Articles and Post Articles.
class TForm6 : public QWidget, public RunLog {
    Q_OBJECT
public:
    explicit TForm6(QWidget* parent = nullptr);

    void SetCaption(const std::string& caption) override;
    void Clear() override;
    void Show() override;
    void Hide() override;
    // Lines reach the view in batches a few times a second, so a fast run is
    // not held up by laying out and painting text for every article. In a
    // batch run the window stays hidden and every line goes to standard
    // output instead, so memory does not grow with the run.
    void AppendLine(const std::string& line) override;

    // Writes the lines still waiting for the next batch.
    void FlushPendingLines();
    QString Text() const;

    QPlainTextEdit* RichEdit1;

private:
    QStringList pending_;
    QTimer* flushTimer_;
};
