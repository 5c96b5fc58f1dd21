#include "shell/windows/progress_form.h"

#include "shell/windows/message_boxes.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

TProgressForm::TProgressForm(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("ProgressForm");
    resize(360, 90);
    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setRange(0, 100);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(ProgressBar1);
}

void TProgressForm::SetCaption(const std::string& caption) {
    setWindowTitle(QString::fromLocal8Bit(caption));
}

void TProgressForm::SetItem(const std::string& item) {
    Label1->setText(QString::fromLocal8Bit(item));
}

// The zip libraries call back synchronously with no event loop running, so
// the window is painted here or not at all.
void TProgressForm::SetPercent(int percent) {
    ProgressBar1->setValue(percent);
    if (isVisible())
        repaint();
}

void TProgressForm::Show() {
    if (Unattended()) // a batch run shows no window
        return;
    show();
    raise();
}

void TProgressForm::Hide() {
    hide();
}
