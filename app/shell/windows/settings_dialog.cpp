#include "shell/windows/settings_dialog.h"

#include "vxutil.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {
QLineEdit* AddRow(QFormLayout* form, const char* label, const char* name) {
    auto* edit = new QLineEdit;
    edit->setObjectName(name);
    form->addRow(QString::fromLatin1(label), edit);
    return edit;
}

QWidget* NewPage(QTabWidget* tabs, const char* title, QFormLayout*& form) {
    auto* page = new QWidget;
    form = new QFormLayout(page);
    tabs->addTab(page, QString::fromLatin1(title));
    return page;
}

QString Text(const std::string& s) {
    return QString::fromLocal8Bit(s);
}
std::string Text(const QLineEdit* edit) {
    return edit->text().toLocal8Bit().toStdString();
}
} // namespace

TForm2::TForm2(QWidget* parent) : OkCancelDialog(parent) {
    setObjectName("Form2");
    setWindowTitle("Settings");
    resize(640, 400);
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");

    QFormLayout* form = nullptr;
    NewPage(PageControl1, "NNTP Settings", form);
    Edit1 = AddRow(form, "NNTP Server", "Edit1");
    Edit2 = AddRow(form, "NNTP Remote Port", "Edit2");
    Edit3 = AddRow(form, "NNTP User ID", "Edit3");
    Edit4 = AddRow(form, "NNTP Password", "Edit4");
    NewPage(PageControl1, "Identity", form);
    Edit6 = AddRow(form, "Domain", "Edit6");
    Edit7 = AddRow(form, "Organization", "Edit7");
    NewPage(PageControl1, "Qwk Settings", form);
    Edit8 = AddRow(form, "Qwk ID", "Edit8");
    Edit9 = AddRow(form, "Maximum Lines Per Message", "Edit9");
    Edit10 = AddRow(form, "Work Directory", "Edit10");

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1);
    AddButtons(layout);
}

void TForm2::LoadFrom(const Settings& settings) {
    PageControl1->setCurrentIndex(0);
    Edit1->setText(Text(settings.NntpServer));
    Edit2->setText(QString::number(settings.NntpPort));
    Edit3->setText(Text(settings.NntpUserId));
    Edit4->setText(Text(settings.NntpPassword));
    Edit6->setText(Text(settings.Domain));
    Edit7->setText(Text(settings.Organization));
    Edit8->setText(Text(settings.QwkId));
    Edit9->setText(QString::number(settings.LinesPerMessage));
    Edit10->setText(Text(settings.WorkDirectory));
}

void TForm2::StoreInto(Settings& settings) const {
    settings.NntpServer = Text(Edit1);
    settings.NntpPort = VxStrToInt(Text(Edit2), 119);
    settings.NntpUserId = Text(Edit3);
    settings.NntpPassword = Text(Edit4);
    settings.Domain = Text(Edit6);
    settings.Organization = Text(Edit7);
    settings.QwkId = Text(Edit8);
    settings.LinesPerMessage = VxStrToInt(Text(Edit9), 90);
    settings.WorkDirectory = Text(Edit10);
}

bool EditSettings(TForm2& dialog, Settings& settings, const std::string& iniPath) {
    dialog.LoadFrom(settings);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    dialog.StoreInto(settings);
    WriteSettings(settings, iniPath);
    return true;
}
