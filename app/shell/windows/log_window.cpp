#include "shell/windows/log_window.h"

#include <QPlainTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

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
}

void TForm6::SetCaption(const std::string& caption) {
    setWindowTitle(QString::fromLocal8Bit(caption));
}

void TForm6::Clear() {
    pending_.clear();
    RichEdit1->clear();
}

void TForm6::Show() {
    show();
    raise();
}

void TForm6::Hide() {
    FlushPendingLines();
    hide();
}

void TForm6::AppendLine(const std::string& line) {
    if (echo_) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    pending_.append(QString::fromLocal8Bit(line));
    if (!flushScheduled_) {
        flushScheduled_ = true;
        QTimer::singleShot(0, this, &TForm6::FlushPendingLines);
    }
}

void TForm6::FlushPendingLines() {
    flushScheduled_ = false;
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
