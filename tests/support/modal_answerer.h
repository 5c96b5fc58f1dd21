// Answers the modal boxes and dialogs a test provokes: it watches for the
// next modal window, records a message box's text and lets the test click.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <functional>
#include <utility>

class ModalAnswerer {
public:
    using Answer = std::function<void(QWidget* modal)>;

    // Every modal window that opens is answered with `answer`.
    explicit ModalAnswerer(Answer answer) : answer_(std::move(answer)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start(10);
    }

    // Clicks the message box's button of that kind, or accepts a dialog.
    static Answer Click(QMessageBox::StandardButton button) {
        return [button](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                if (QAbstractButton* b = box->button(button))
                    b->click();
                else
                    box->done(button);
            } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                dialog->accept();
            }
        };
    }

    const QStringList& Texts() const { return texts_; }
    int Count() const { return count_; }

private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == last_)
            return;
        last_ = modal;
        ++count_;
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            texts_ << box->text();
        answer_(modal);
        last_ = nullptr;
    }

    QTimer timer_;
    Answer answer_;
    QWidget* last_ = nullptr;
    QStringList texts_;
    int count_ = 0;
};
