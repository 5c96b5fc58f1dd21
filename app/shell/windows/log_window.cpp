#include "shell/windows/log_window.h"

#include "shell/windows/message_boxes.h"

#include <QPlainTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

namespace {
constexpr int FlushIntervalMs = 100;
}

TForm6::TForm6(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("Form6");
    resize(560, 320);
    RichEdit1 = new QPlainTextEdit(this);
    RichEdit1->setObjectName("RichEdit1");
    RichEdit1->setReadOnly(true);
    RichEdit1->setUndoRedoEnabled(false);
    RichEdit1->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(RichEdit1);
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
    show();
    raise();
}

void TForm6::Hide() {
    std::fflush(stdout);
    FlushPendingLines();
    hide();
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
