// The log window: one read-only line per step of a long run.
#pragma once

#include "core/run_views.h"

#include <QStringList>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;

// The log window of Get Articles and Post Articles, and the progress window
// of every long network command: the step in words, the counts, a bar where
// the total is known, and Cancel (Esc), which asks the run to stop at its
// next safe point, as a stop signal does. Hidden when the run ends; View >
// Log shows it again with the run's lines.
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
    void SetProgress(const RunProgress& progress) override;

    // The window it is shown centred over.
    void SetAnchor(QWidget* anchor) { anchor_ = anchor; }
    // Whether Cancel can stop the command being shown; on by default, and
    // again after every Hide.
    void SetCancellable(bool cancellable);
    // A transfer's own progress line (the status line's text).
    void SetTransferText(const std::string& text);
    // Cancel, Esc and closing the window while a run is shown.
    void Cancel();

    // Writes the lines still waiting for the next batch.
    void FlushPendingLines();
    QString Text() const;

    QPlainTextEdit* RichEdit1;
    QLabel* StepLabel;
    QLabel* CountsLabel;
    QLabel* TransferLabel;
    QProgressBar* RunProgressBar;
    QPushButton* CancelButton;

protected:
    void closeEvent(class QCloseEvent* event) override;

private:
    QWidget* anchor_ = nullptr;
    bool running_ = false;
    QStringList pending_;
    QTimer* flushTimer_;
};
