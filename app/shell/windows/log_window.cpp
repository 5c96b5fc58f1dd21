#include "shell/windows/log_window.h"

#include "run_interruption.h"
#include "shell/windows/message_boxes.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

namespace {
constexpr int FlushIntervalMs = 100;
}

TForm6::TForm6(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName("Form6");
    resize(560, 320);
    RichEdit1 = new QPlainTextEdit(this);
    RichEdit1->setObjectName("RichEdit1");
    RichEdit1->setReadOnly(true);
    RichEdit1->setUndoRedoEnabled(false);
    RichEdit1->setLineWrapMode(QPlainTextEdit::NoWrap);
    StepLabel = new QLabel(this);
    StepLabel->setObjectName("StepLabel");
    CountsLabel = new QLabel(this);
    CountsLabel->setObjectName("CountsLabel");
    TransferLabel = new QLabel(this);
    TransferLabel->setObjectName("TransferLabel");
    RunProgressBar = new QProgressBar(this);
    RunProgressBar->setObjectName("RunProgressBar");
    RunProgressBar->setRange(0, 0);
    CancelButton = new QPushButton("&Cancel", this);
    CancelButton->setObjectName("CancelButton");
    CancelButton->setEnabled(false);
    connect(CancelButton, &QPushButton::clicked, this, &TForm6::Cancel);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &TForm6::Cancel);

    auto* bar = new QHBoxLayout;
    bar->addWidget(RunProgressBar, 1);
    bar->addWidget(CancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(StepLabel);
    layout->addWidget(CountsLabel);
    layout->addWidget(TransferLabel);
    layout->addLayout(bar);
    layout->addWidget(RichEdit1, 1);
    flushTimer_ = new QTimer(this);
    flushTimer_->setSingleShot(true);
    flushTimer_->setInterval(FlushIntervalMs);
    connect(flushTimer_, &QTimer::timeout, this, &TForm6::FlushPendingLines);
}

void TForm6::SetCaption(const std::string& caption) {
    setWindowTitle(QString::fromLocal8Bit(caption));
}

void TForm6::Clear() {
    pending_.clear();
    RichEdit1->clear();
}

void TForm6::Show() {
    if (Unattended())
        return;
    running_ = true;
    CancelButton->setEnabled(true);
    StepLabel->clear();
    CountsLabel->clear();
    TransferLabel->clear();
    RunProgressBar->setRange(0, 0);
    if (anchor_)
        move(anchor_->frameGeometry().center() - rect().center());
    show();
    raise();
}

void TForm6::Hide() {
    std::fflush(stdout);
    FlushPendingLines();
    running_ = false;
    CancelButton->setEnabled(false);
    CancelButton->setVisible(true);
    hide();
}

void TForm6::SetProgress(const RunProgress& progress) {
    if (Unattended())
        return;
    if (!interruption::StopRequested())
        StepLabel->setText(QString::fromLocal8Bit(progress.Step));
    CountsLabel->setText(QString::fromLocal8Bit(progress.Counts));
    if (progress.Total > 0) {
        RunProgressBar->setRange(0, progress.Total);
        RunProgressBar->setValue(std::min(progress.Done, progress.Total));
    } else {
        RunProgressBar->setRange(0, 0); // moving, for a total nobody knows
    }
}

void TForm6::SetCancellable(bool cancellable) {
    CancelButton->setEnabled(cancellable && running_);
    CancelButton->setVisible(cancellable);
}

void TForm6::SetTransferText(const std::string& text) {
    if (isVisible())
        TransferLabel->setText(QString::fromLocal8Bit(text));
}

void TForm6::Cancel() {
    if (!running_ || !CancelButton->isVisible() || !CancelButton->isEnabled())
        return;
    interruption::RequestStop();
    CancelButton->setEnabled(false);
    StepLabel->setText(QStringLiteral("Stopping at the next safe point…"));
}

void TForm6::closeEvent(QCloseEvent* event) {
    // Closing a run's window is the same as Cancel; it stays until the run ends.
    if (running_) {
        Cancel();
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void TForm6::AppendLine(const std::string& line) {
    if (Unattended()) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        // Each line is out before the step it announces, so the log of a
        // run that is killed ends where the run did.
        std::fflush(stdout);
        return;
    }
    pending_.append(QString::fromLocal8Bit(line));
    if (!flushTimer_->isActive())
        flushTimer_->start();
}

void TForm6::FlushPendingLines() {
    flushTimer_->stop();
    if (pending_.isEmpty())
        return;
    RichEdit1->appendPlainText(pending_.join(QLatin1Char('\n')));
    pending_.clear();
}

QString TForm6::Text() const {
    QString text = RichEdit1->toPlainText();
    for (const QString& line : pending_) {
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += line;
    }
    return text;
}
