#include "shell/windows/small_dialogs.h"

#include "core/newsgroup_table.h"
#include "shell/windows/message_boxes.h"

#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {
constexpr const char* NoticeLine = "Usenet news for your offline reader.";

void CentreOnScreen(QWidget* w) {
    if (QScreen* screen = QGuiApplication::primaryScreen())
        w->move(screen->availableGeometry().center() - w->rect().center());
}
} // namespace

QIcon ProgramIcon() {
    static const QIcon icon = [] {
        // The resources live in a static library: nothing would pull them in.
        Q_INIT_RESOURCE(program_icon);
        QIcon sizes;
        for (const int size : {16, 32, 48, 64, 128, 256})
            sizes.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
        return sizes;
    }();
    return icon;
}

namespace {
// A dialog has no use for minimising or maximising.
constexpr Qt::WindowFlags PlainDialog =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
} // namespace

OkCancelDialog::OkCancelDialog(QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags ? flags : PlainDialog) {
    OkButton = new QPushButton("&Ok", this);
    OkButton->setObjectName("OkButton");
    OkButton->setDefault(true);
    CancelButton = new QPushButton("&Cancel", this);
    CancelButton->setObjectName("CancelButton");
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void OkCancelDialog::AddButtons(QBoxLayout* layout) {
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    layout->addLayout(buttons);
}

TForm4::TForm4(QWidget* parent) : OkCancelDialog(parent) {
    setObjectName("Form4");
    setWindowTitle("Find");
    resize(310, 114);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName("Edit1");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("String to Find:", this));
    layout->addWidget(Edit1);
    AddButtons(layout);
}

TForm5::TForm5(QWidget* parent)
    : OkCancelDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("Form5");
    setWindowTitle("Newsgroup Settings");
    resize(435, 171);
    GroupName = new QLabel(this);
    GroupName->setObjectName("GroupName");
    ConferenceEdit = new QLineEdit(this);
    ConferenceEdit->setObjectName("ConferenceEdit");
    LastReadEdit = new QLineEdit(this);
    LastReadEdit->setObjectName("LastReadEdit");
    auto* form = new QFormLayout;
    form->addRow("Newsgroup:", GroupName);
    form->addRow("Qwk Conference:", ConferenceEdit);
    form->addRow("Last Message Read:", LastReadEdit);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    AddButtons(layout);
}

void TForm5::accept() {
    const GroupSettingsTexts texts{ConferenceEdit->text().toLocal8Bit().toStdString(),
                                   LastReadEdit->text().toLocal8Bit().toStdString()};
    const std::string problem =
        Table ? GroupSettingsProblem(*Table, Index, texts) : GroupSettingsProblem(texts);
    if (!problem.empty()) {
        const bool conferenceWrong =
            !(Table ? GroupSettingsProblem(*Table, Index, {texts.Conference, ""})
                    : GroupSettingsProblem({texts.Conference, ""}))
                 .empty();
        (conferenceWrong ? ConferenceEdit : LastReadEdit)->setFocus();
        QMessageBox::warning(this, QString::fromLatin1(ApplicationTitle),
                             QString::fromLocal8Bit(problem));
        return;
    }
    OkCancelDialog::accept();
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent, PlainDialog) {
    setObjectName("AboutBox");
    setWindowTitle("About Zandrel");
    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(64, 64));
    auto* product = new QLabel("Zandrel", this);
    QFont font = product->font();
    font.setBold(true);
    font.setPointSize(font.pointSize() + 4);
    product->setFont(font);
    OkButton = new QPushButton("&Ok", this);
    OkButton->setDefault(true);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* text = new QVBoxLayout;
    text->addWidget(product);
    text->addWidget(new QLabel("Version 1.0", this));
    text->addWidget(new QLabel(NoticeLine, this));
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(text);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(OkButton, 0, Qt::AlignHCenter);
}

TSplashScreen::TSplashScreen(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName("SplashScreen");
    auto* picture = new QLabel(this);
    picture->setPixmap(ProgramIcon().pixmap(96, 96));
    auto* title = new QLabel("Zandrel 1.0", this);
    QFont font = title->font();
    font.setBold(true);
    font.setPointSize(28);
    title->setFont(font);
    title->setStyleSheet("color: red;");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->addWidget(picture, 0, Qt::AlignHCenter);
    layout->addWidget(title, 0, Qt::AlignHCenter);
    layout->addWidget(new QLabel(NoticeLine, this), 0, Qt::AlignHCenter);
    setStyleSheet("TSplashScreen { background: white; border: 1px solid gray; }");
    adjustSize();
    CentreOnScreen(this);
}
