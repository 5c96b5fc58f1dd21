#include "shell/windows/settings_dialog.h"

#include "shell/windows/message_boxes.h"
#include "vxutil.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
QLineEdit* AddRow(QFormLayout* form, const char* label, const char* name) {
    auto* edit = new QLineEdit;
    edit->setObjectName(name);
    form->addRow(QString::fromLatin1(label), edit);
    return edit;
}

// A field some command cannot do without: its label in bold, and what needs
// it in the empty box and its tip.
void MarkNeeded(QFormLayout* form, QLineEdit* edit, const char* neededFor) {
    if (auto* label = qobject_cast<QLabel*>(form->labelForField(edit))) {
        QFont bold = label->font();
        bold.setBold(true);
        label->setFont(bold);
    }
    edit->setPlaceholderText(QString::fromLatin1(neededFor));
    edit->setToolTip(QString::fromLatin1(neededFor));
}

// Only what the pattern allows can be typed; the range is checked as a whole.
void AllowOnly(QLineEdit* edit, const char* pattern) {
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QString::fromLatin1(pattern)), edit));
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
    Edit4->setEchoMode(QLineEdit::Password);
    MarkNeeded(form, Edit1, "Needed to connect");
    AllowOnly(Edit2, "[0-9]{0,5}");
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
    MarkNeeded(form, Edit6, "Needed to post replies: the part of your address after the @");
    NewPage(PageControl1, "Qwk Settings", form);
    Edit8 = AddRow(form, "Qwk ID", "Edit8");
    MarkNeeded(form, Edit8, "Needed: names the packet files, 1 to 8 letters or digits");
    AllowOnly(Edit8, "[A-Za-z0-9]{0,8}");
    Edit9 = AddRow(form, "Maximum Lines Per Message", "Edit9");
    AllowOnly(Edit9, "[0-9]{0,6}");
    // The folder is chosen rather than typed, though it may be typed too.
    Edit10 = new QLineEdit;
    Edit10->setObjectName("Edit10");
    BrowseButton = new QToolButton;
    BrowseButton->setObjectName("BrowseButton");
    BrowseButton->setText(QStringLiteral("&Browse…"));
    BrowseButton->setAccessibleName(QStringLiteral("Choose the Work Directory"));
    connect(BrowseButton, &QToolButton::clicked, this, &TForm2::ChooseWorkDirectory);
    auto* workRow = new QHBoxLayout;
    workRow->addWidget(Edit10);
    workRow->addWidget(BrowseButton);
    form->addRow(QStringLiteral("Work Directory"), workRow);
    if (auto* label = qobject_cast<QLabel*>(form->labelForField(workRow)))
        label->setBuddy(Edit10);
    MarkNeeded(form, Edit10, "Needed: the packets are written here");
    CharacterSetBox = new QComboBox;
    CharacterSetBox->setObjectName("CharacterSetBox");
    for (const auto charset :
         {mime::PacketCharset::Cp437, mime::PacketCharset::Latin1, mime::PacketCharset::Utf8})
        CharacterSetBox->addItem(QString::fromLatin1(CharacterSetName(charset)),
                                 static_cast<int>(charset));
    form->addRow(QStringLiteral("Character Set"), CharacterSetBox);

    ProblemLabel = new QLabel(this);
    ProblemLabel->setObjectName("ProblemLabel");
    ProblemLabel->setWordWrap(true);
    ProblemLabel->setStyleSheet(QStringLiteral("color: #b00000;"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1);
    layout->addWidget(ProblemLabel);
    AddButtons(layout);
    for (QLineEdit* edit : {Edit1, Edit2, Edit8, Edit9, Edit10})
        connect(edit, &QLineEdit::textChanged, this, &TForm2::CheckFields);
    CheckFields();
}

void TForm2::ChooseWorkDirectory() {
    const QString chosen = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Work Directory"), Edit10->text(), QFileDialog::ShowDirsOnly);
    if (!chosen.isEmpty())
        Edit10->setText(chosen);
}

void TForm2::CheckFields() {
    const std::string problem = Problem();
    ProblemLabel->setText(QString::fromLocal8Bit(problem.empty() ? problem : problem + "."));
    ProblemLabel->setVisible(!problem.empty());
    OkButton->setEnabled(problem.empty());
}

void TForm2::LoadFrom(const Settings& settings) {
    PageControl1->setCurrentIndex(0);
    unreadTexts_ = settings.UnreadTexts;
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
    CheckFields();
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
    // A number the file held but that could not be read, still untouched,
    // keeps its line in the file as it is and is not checked here; the user
    // was told at start-up.
    auto unchangedUnread = [this](const char* key, const QLineEdit* edit) {
        const auto unread = unreadTexts_.find(key);
        return unread != unreadTexts_.end() && unread->second == Text(edit);
    };
    std::string problem = NntpServerProblem(Text(Edit1));
    if (problem.empty() && !unchangedUnread(SettingsKeyNntpPort, Edit2))
        problem = NntpPortProblem(Text(Edit2));
    if (problem.empty())
        problem = QwkIdProblem(Text(Edit8));
    if (problem.empty() && !unchangedUnread(SettingsKeyLinesPerMessage, Edit9))
        problem = LinesPerMessageProblem(Text(Edit9));
    if (problem.empty())
        problem = WorkDirectoryProblem(Text(Edit10));
    return problem;
}

void TForm2::accept() {
    // Ok is disabled while a field is wrong; Enter in a box must not get past that.
    if (!Problem().empty())
        return;
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
