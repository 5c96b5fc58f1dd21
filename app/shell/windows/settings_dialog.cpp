#include "shell/windows/settings_dialog.h"

#include "shell/windows/message_boxes.h"
#include "vxutil.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
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
    SecurityBox = new QComboBox;
    SecurityBox->setObjectName("SecurityBox");
    for (const auto security : {NntpSecurity::None, NntpSecurity::Tls, NntpSecurity::StartTls})
        SecurityBox->addItem(QString::fromLatin1(NntpSecurityName(security)),
                             static_cast<int>(security));
    form->addRow(QStringLiteral("NNTP Security"), SecurityBox);
    // TLS from the first byte has a port of its own; the plain one would
    // only meet a server waiting for clear text.
    connect(SecurityBox, &QComboBox::activated, this, [this] {
        if (static_cast<NntpSecurity>(SecurityBox->currentData().toInt()) == NntpSecurity::Tls &&
            Edit2->text().trimmed() == QString::number(DefaultNntpPort))
            Edit2->setText(QString::number(DefaultNntpTlsPort));
    });
    NewPage(PageControl1, "Identity", form);
    Edit6 = AddRow(form, "Domain", "Edit6");
    Edit7 = AddRow(form, "Organization", "Edit7");
    NewPage(PageControl1, "Qwk Settings", form);
    Edit8 = AddRow(form, "Qwk ID", "Edit8");
    Edit9 = AddRow(form, "Maximum Lines Per Message", "Edit9");
    Edit10 = AddRow(form, "Work Directory", "Edit10");
    CharacterSetBox = new QComboBox;
    CharacterSetBox->setObjectName("CharacterSetBox");
    for (const auto charset :
         {mime::PacketCharset::Cp437, mime::PacketCharset::Latin1, mime::PacketCharset::Utf8})
        CharacterSetBox->addItem(QString::fromLatin1(CharacterSetName(charset)),
                                 static_cast<int>(charset));
    form->addRow(QStringLiteral("Character Set"), CharacterSetBox);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1);
    AddButtons(layout);
}

void TForm2::LoadFrom(const Settings& settings) {
    PageControl1->setCurrentIndex(0);
    // A value the file held but could not be read is shown as the file has it.
    auto shown = [&settings](const char* key, const QString& value) {
        const auto unread = settings.UnreadTexts.find(key);
        return unread == settings.UnreadTexts.end() ? value : Text(unread->second);
    };
    Edit1->setText(Text(settings.NntpServer));
    Edit2->setText(shown(SettingsKeyNntpPort, QString::number(settings.NntpPort)));
    Edit3->setText(Text(settings.NntpUserId));
    Edit4->setText(Text(settings.NntpPassword));
    SecurityBox->setCurrentIndex(SecurityBox->findData(static_cast<int>(settings.Security)));
    Edit6->setText(Text(settings.Domain));
    Edit7->setText(Text(settings.Organization));
    Edit8->setText(shown(SettingsKeyQwkId, Text(settings.QwkId)));
    Edit9->setText(shown(SettingsKeyLinesPerMessage, QString::number(settings.LinesPerMessage)));
    Edit10->setText(Text(settings.WorkDirectory));
    CharacterSetBox->setCurrentIndex(
        CharacterSetBox->findData(static_cast<int>(settings.CharacterSet)));
}

void TForm2::StoreInto(Settings& settings) const {
    // A box that still shows the unreadable text of its key leaves the key as
    // it is (its line in the file stays); one the user changed sets it.
    auto changed = [&settings](const char* key, const QLineEdit* edit) {
        const auto unread = settings.UnreadTexts.find(key);
        if (unread == settings.UnreadTexts.end())
            return true;
        if (Text(edit) == unread->second)
            return false;
        settings.UnreadTexts.erase(unread);
        return true;
    };
    settings.NntpServer = Text(Edit1);
    if (changed(SettingsKeyNntpPort, Edit2))
        settings.NntpPort = VxStrToInt(Text(Edit2), DefaultNntpPort);
    settings.NntpUserId = Text(Edit3);
    settings.NntpPassword = Text(Edit4);
    // An unreadable security shows as None; choosing one sets it.
    const auto security = static_cast<NntpSecurity>(SecurityBox->currentData().toInt());
    if (security != settings.Security)
        settings.UnreadTexts.erase(SettingsKeyNntpSecurity);
    settings.Security = security;
    settings.Domain = Text(Edit6);
    settings.Organization = Text(Edit7);
    if (changed(SettingsKeyQwkId, Edit8))
        settings.QwkId = Text(Edit8);
    if (changed(SettingsKeyLinesPerMessage, Edit9))
        settings.LinesPerMessage = VxStrToInt(Text(Edit9), DefaultLinesPerMessage);
    settings.WorkDirectory = Text(Edit10);
    // An unreadable set shows as the default; choosing another one sets it.
    const auto charset = static_cast<mime::PacketCharset>(CharacterSetBox->currentData().toInt());
    if (charset != settings.CharacterSet)
        settings.UnreadTexts.erase(SettingsKeyCharacterSet);
    settings.CharacterSet = charset;
}

std::string TForm2::Problem() const {
    return QwkIdProblem(Text(Edit8));
}

void TForm2::accept() {
    // The Qwk ID names the packet's files: the dialog stays open until it can.
    const std::string problem = Problem();
    if (!problem.empty()) {
        PageControl1->setCurrentIndex(2);
        Edit8->setFocus();
        QMessageBox::warning(this, QString::fromLatin1(ApplicationTitle),
                             QString::fromLocal8Bit(problem + "."));
        return;
    }
    OkCancelDialog::accept();
}

bool EditSettings(TForm2& dialog, Settings& settings, const std::string& iniPath) {
    dialog.LoadFrom(settings);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    dialog.StoreInto(settings);
    WriteSettings(settings, iniPath);
    return true;
}
