#include "shell/windows/main_window.h"

#include "archive/unzip_file.h"
#include "archive/zip_file.h"
#include "core/groups_file.h"
#include "core/queue_list.h"
#include "core/window_placement.h"
#include "nntp/newsgroup_list_retrieval.h"
#include "qwk/retrieval_run.h"
#include "qwk_format/message_file.h"
#include "qwk_format/packet_packing.h"
#include "qwk_format/thread_store.h"
#include "reply/posting_run.h"
#include "run_interruption.h"
#include "shell/windows/log_window.h"
#include "shell/windows/message_boxes.h"
#include "shell/windows/newsgroup_table_model.h"
#include "shell/windows/progress_form.h"
#include "shell/windows/settings_dialog.h"
#include "shell/windows/small_dialogs.h"
#include "vxutil.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDate>
#include <QDir>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

namespace {

// Hides the log window however a command ends.
struct LogWindowHider {
    TForm6* window;
    ~LogWindowHider() {
        if (window)
            window->Hide();
    }
};
std::string Local8(const QString& s) {
    return s.toLocal8Bit().toStdString();
}
QString Text(const std::string& s) {
    return QString::fromLocal8Bit(s);
}

// The hourglass for the whole program while a step runs.
struct HourglassCursor {
    HourglassCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~HourglassCursor() { QApplication::restoreOverrideCursor(); }
};

std::string Counted(int count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// The same words for the window's box and a batch run's standard error.
std::string ConnectFailureMessage(const Settings& settings, const TransferOutcome& outcome) {
    return "Could not connect to " + settings.NntpServer + " port " +
           std::to_string(settings.NntpPort) + ": " + outcome.Text;
}

std::string RetrievalFailureMessage(const qwk::RetrievalSummary& summary) {
    return "Getting articles stopped; the rest waits for the next run: " + summary.ServerFailure;
}

std::string RetrievalResultText(const qwk::RetrievalSummary& summary) {
    std::string text;
    std::error_code error;
    if (summary.PacketWritten)
        text = Counted(summary.ArticlesAdded, "article", "articles") + " from " +
               Counted(summary.GroupsWithArticles, "group", "groups") + " added to " +
               summary.PacketPath + ".";
    else if (std::filesystem::exists(summary.PacketPath, error))
        text = "No new articles; the packet " + summary.PacketPath + " is unchanged.";
    else
        text = "No new articles; no packet was written.";
    if (summary.Stopped)
        text += "\n" + interruption::StopReason() + "; the rest waits for the next run.";
    if (summary.ServerFailed)
        text += "\n" + RetrievalFailureMessage(summary);
    return text;
}

std::string PostingResultText(const PostingSummary& summary) {
    std::string text = Counted(summary.Posted, "reply", "replies") + " posted";
    if (summary.Refused > 0)
        text += ", " + std::to_string(summary.Refused) + " refused";
    if (summary.NotPosted > summary.Refused)
        text += ", " + std::to_string(summary.NotPosted - summary.Refused) + " not sent";
    if (summary.NotPosted > 0)
        text += " (kept in " + summary.ArchiveName + ")";
    text += ".";
    if (summary.Stopped)
        text += "\n" + interruption::StopReason() + "; the rest wait for the next run.";
    if (!summary.Packet.ArchiveUpdated)
        text += "\nCould not update " + summary.ArchiveName +
                "; it stays as it was, and its replies will be sent again.";
    else if (summary.Packet.KeptUnreadRest)
        text += "\nThe unread rest of the message file is kept in " + summary.ArchiveName + ".";
    if (!summary.Failure.empty())
        text += "\n" + summary.Failure + ".";
    if (summary.NotPosted > 0)
        text += "\nView > Log shows the server's answers.";
    return text;
}

void CreateDirectoryIfMissing(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return;
    if (!std::filesystem::create_directory(path, ec))
        throw std::system_error(ec ? ec : std::make_error_code(std::errc::io_error),
                                "Unable to create directory " + path);
}
} // namespace

bool IsBatchRun(const QStringList& arguments) {
    return arguments.size() == 1 && arguments.front().toUpper() == QLatin1String("BATCH");
}

template <typename Command> void TForm1::WithWindowDisabled(Command&& command) {
    setEnabled(false);
    ++runningCommands_;
    RunGuarded(std::forward<Command>(command));
    --runningCommands_;
    setEnabled(true);
    ReturnFocusToGrid();
}

void TForm1::ReturnFocusToGrid() {
    if (isEnabled())
        StringGrid1->setFocus();
}

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    setObjectName("Form1");
    setWindowTitle("Zandrel");
    resize(640, 400);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    Connection = std::make_unique<NewsConnection>(settings, *this);
    // The zip library is tried first; either missing ends the program.
    ZipFile1 = std::make_unique<TZipFile>();
    UnzipFile1 = std::make_unique<TUnzipFile>();

    CreateMenus();
    CreateToolbar();
    CreateGrid();
    statusBar()->setObjectName("StatusBar1");
    statusBar()->setSizeGripEnabled(false);
    StatusText = new QLabel;
    StatusText->setObjectName("StatusText");
    statusBar()->addWidget(StatusText, 1);
    ConnectionIndicator = new QLabel;
    ConnectionIndicator->setObjectName("ConnectionIndicator");
    statusBar()->addPermanentWidget(ConnectionIndicator);

    FormCreate();
    if (!Unattended())
        RestorePlacement();
}

TForm1::~TForm1() = default;

void TForm1::SetSecondaryWindows(const SecondaryWindows& windows) {
    windows_ = windows;
    // F1 in a dialog opens the help at that dialog's context.
    const std::pair<QWidget*, int> dialogs[] = {{windows_.Form2, SettingsHelpContext},
                                                {windows_.Form4, GroupHelpContext},
                                                {windows_.Form5, GroupHelpContext}};
    for (const auto& [dialog, context] : dialogs)
        if (dialog)
            connect(new QShortcut(QKeySequence(Qt::Key_F1), dialog), &QShortcut::activated, this,
                    [this, context = context] { ShowHelp(context); });
    if (windows_.Form6)
        windows_.Form6->SetAnchor(this);
    if (windows_.ProgressForm) {
        BindArchiveProgress(*ZipFile1, *windows_.ProgressForm);
        BindArchiveProgress(*UnzipFile1, *windows_.ProgressForm);
    }
}

std::string TForm1::IniPath() const {
    return VxSlashIt(StartDirectory) + "ZANDREL.INI";
}

void TForm1::CreateMenus() {
    auto action = [this](const char* name, const char* caption, auto slot) {
        auto* a = new QAction(QString::fromUtf8(caption), this);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    Connect1 = action("Connect1", "&Connect", &TForm1::ConnectAndWait);
    Disconnect1 = action("Disconnect1", "&Disconnect", &TForm1::DisconnectAndWait);
    GetArticles1 = action("GetArticles1", "&Get Articles", &TForm1::GetArticles1Click);
    PostArticles1 = action("PostArticles1", "&Post Articles", &TForm1::PostArticles1Click);
    GetAllNewsgroups1 =
        action("GetAllNewsgroups1", "Get &All Newsgroups", &TForm1::GetAllNewsgroups1Click);
    GetNewNewsgroups1 =
        action("GetNewNewsgroups1", "Get &New Newsgroups", &TForm1::GetNewNewsgroups1Click);
    SortListofNewsgroups1 = action("SortListofNewsgroups1", "&Sort List of Newsgroups",
                                   &TForm1::SortListofNewsgroups1Click);
    ExportListofQueuedNewsgroups1 =
        action("ExportListofQueuedNewsgroups1", "&Export List of Queued Newsgroups",
               &TForm1::ExportListofQueuedNewsgroups1Click);
    ImportListofQueuedNewsgroups1 =
        action("ImportListofQueuedNewsgroups1", "&Import List of Queued Newsgroups",
               &TForm1::ImportListofQueuedNewsgroups1Click);
    GetArticles1->setShortcut(QKeySequence(Qt::Key_F5));
    // "&Sort List of Newsgroups" has the S.
    Settings1 = action("Settings1", "Se&ttings…", &TForm1::Settings1Click);
    Settings1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    Exit1 = action("Exit1", "E&xit", &QWidget::close);
    Exit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    Find1 = action("Find1", "&Find…", &TForm1::Find1Click);
    Find1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    FindNext1 = action("FindNext1", "Find &Next", &TForm1::FindNextMatch);
    FindNext1->setShortcut(QKeySequence(Qt::Key_F3));
    HelpTopics1 = action("HelpTopics1", "&Help Topics", &TForm1::HelpTopics1Click);
    AboutZandrel1 = action("AboutZandrel1", "&About Zandrel…", &TForm1::AboutZandrel1Click);
    ViewLog1 = action("ViewLog1", "&Log", &TForm1::ViewLog1Click);

    QMenu* file = menuBar()->addMenu("&File");
    file->setObjectName("File1");
    file->addAction(Connect1);
    file->addAction(Disconnect1);
    file->addSeparator();
    file->addAction(GetArticles1);
    file->addAction(PostArticles1);
    file->addSeparator();
    file->addAction(GetAllNewsgroups1);
    file->addAction(GetNewNewsgroups1);
    file->addAction(SortListofNewsgroups1);
    file->addSeparator();
    file->addAction(ExportListofQueuedNewsgroups1);
    file->addAction(ImportListofQueuedNewsgroups1);
    file->addSeparator();
    file->addAction(Settings1);
    file->addAction(Exit1);
    QMenu* edit = menuBar()->addMenu("&Edit");
    edit->setObjectName("Edit1");
    edit->addAction(Find1);
    edit->addAction(FindNext1);
    QMenu* view = menuBar()->addMenu("&View");
    view->setObjectName("View1");
    view->addAction(ViewLog1);
    QMenu* help = menuBar()->addMenu("&Help");
    help->setObjectName("Help1");
    help->addAction(HelpTopics1);
    help->addAction(AboutZandrel1);
}

void TForm1::CreateToolbar() {
    struct Button {
        QAction* action;
        int x;
        const char* hint;
        QStyle::StandardPixmap icon;
    };
    const Button buttons[9] = {
        {Connect1, 8, "Connect to NNTP Server", QStyle::SP_DriveNetIcon},
        {Disconnect1, 32, "Disconnect From NNTP Server", QStyle::SP_BrowserStop},
        {GetArticles1, 64, "Get Articles", QStyle::SP_ArrowDown},
        {PostArticles1, 88, "Post Articles", QStyle::SP_ArrowUp},
        {GetAllNewsgroups1, 120, "Get All Newsgroups", QStyle::SP_FileDialogListView},
        {GetNewNewsgroups1, 144, "Get New Newsgroups", QStyle::SP_FileDialogNewFolder},
        {SortListofNewsgroups1, 168, "Sort List of Newsgroups", QStyle::SP_FileDialogDetailedView},
        {ExportListofQueuedNewsgroups1, 200, "Export List of Queued Newsgroups",
         QStyle::SP_DialogSaveButton},
        {ImportListofQueuedNewsgroups1, 224, "Import List of Queued Newsgroups",
         QStyle::SP_DialogOpenButton},
    };
    Panel1 = new QFrame;
    Panel1->setObjectName("Panel1");
    Panel1->setFixedHeight(41);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    for (int i = 0; i < 9; ++i) {
        const Button& b = buttons[i];
        // QIcon draws the disabled look. A batch run shows no toolbar, and
        // loading the images would only slow its start.
        if (!Unattended())
            b.action->setIcon(style()->standardIcon(b.icon));
        b.action->setToolTip(QString::fromLatin1(b.hint));
        auto* button = new QToolButton(Panel1);
        button->setObjectName(QString("SpeedButton%1").arg(i + 1));
        button->setDefaultAction(b.action);
        button->setAutoRaise(true);
        button->setGeometry(b.x, 8, 25, 25);
        button->setIconSize(QSize(18, 18));
        SpeedButtons[i] = button;
    }
}

void TForm1::CreateGrid() {
    StringGrid1 = new QTableView;
    StringGrid1->setObjectName("StringGrid1");
    GridModel = new NewsGroupTableModel(Groups, this);
    StringGrid1->setModel(GridModel);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setShowGrid(true);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setDefaultSectionSize(StringGrid1->fontMetrics().height() + 6);
    StringGrid1->horizontalHeader()->setHighlightSections(false);
    StringGrid1->setColumnWidth(0, 371);
    StringGrid1->setColumnWidth(1, 121);
    StringGrid1->setColumnWidth(2, 117);
    StringGrid1->installEventFilter(this);
    rowRepaintTimer_ = new QTimer(this);
    rowRepaintTimer_->setSingleShot(true);
    rowRepaintTimer_->setInterval(100);
    connect(rowRepaintTimer_, &QTimer::timeout, this, &TForm1::RepaintChangedRows);
    connect(StringGrid1, &QTableView::doubleClicked, this, &TForm1::EditGroupSettings);
    StringGrid1->horizontalHeader()->setSectionsClickable(true);
    connect(StringGrid1->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &TForm1::SortByColumn);

    EmptyTableGuide = new QLabel(StringGrid1->viewport());
    EmptyTableGuide->setObjectName("EmptyTableGuide");
    EmptyTableGuide->setAlignment(Qt::AlignCenter);
    EmptyTableGuide->setWordWrap(true);
    EmptyTableGuide->setText(
        "No newsgroups yet. <a href=\"settings\">Open Settings…</a> to enter your news server, "
        "then Connect and Get All Newsgroups.");
    connect(EmptyTableGuide, &QLabel::linkActivated, this, &TForm1::Settings1Click);
    StringGrid1->viewport()->installEventFilter(this);
    connect(GridModel, &QAbstractItemModel::modelReset, this, &TForm1::UpdateEmptyTableGuide);
    connect(GridModel, &QAbstractItemModel::rowsInserted, this, &TForm1::UpdateEmptyTableGuide);
    connect(GridModel, &QAbstractItemModel::rowsRemoved, this, &TForm1::UpdateEmptyTableGuide);

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addWidget(StringGrid1);
    setCentralWidget(central);
}

void TForm1::FormCreate() {
    ProgramRandom(); // seeded from the clock now, for the message identifiers
    ApplyEnablingSet(false);
    Groups.Clear();
    // Values that could not be read and lines of GROUPS.DAT that were
    // skipped: the start goes on, and the user is told once it is done.
    std::vector<std::string> notices;
    bool settingsStopBatchRun = false;
    startedCleanly_ = RunGuarded([&] {
        StartDirectory = Local8(QDir::currentPath());
        TempDirectory = VxSlashIt(StartDirectory) + "TEMP";
        CreateDirectoryIfMissing(TempDirectory);
        const std::string workDirectory = VxSlashIt(StartDirectory) + "WORK";
        CreateDirectoryIfMissing(workDirectory);
        settings.WorkDirectory = workDirectory;
        Help.SetPath(VxSlashIt(StartDirectory) + "ZANDREL.HLP");
        for (const SettingsProblem& problem : ReadSettings(settings, IniPath())) {
            notices.push_back(problem.Message);
            settingsStopBatchRun = settingsStopBatchRun || problem.StopsBatchRun;
        }
        WriteSettings(settings, IniPath());
        std::string groupsNotice;
        if (LoadGroups(Groups, StartDirectory, &groupsNotice))
            FillGrid();
        if (!groupsNotice.empty())
            notices.push_back(groupsNotice);
    });
    if (!notices.empty()) {
        std::string text;
        for (const std::string& notice : notices)
            text += (text.empty() ? "" : "\n") + notice;
        ShowErrorBox(text);
    }
    // A batch run on such a stand-in could fetch from, or write to, the
    // wrong place (a Qwk ID that is not a file name, a port that is not one).
    if (settingsStopBatchRun)
        startedCleanly_ = false;
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (hiddenStatusText_) {
        StatusText->setText(Text(*hiddenStatusText_));
        hiddenStatusText_.reset();
    }
    if (splash_) { // FormShow
        // Closed now, not when the event loop next gets to deleting it.
        splash_->close();
        splash_->deleteLater();
        splash_ = nullptr;
    }
    UpdateEmptyTableGuide();
}

void TForm1::UpdateEmptyTableGuide() {
    EmptyTableGuide->setGeometry(StringGrid1->viewport()->rect().adjusted(16, 0, -16, 0));
    EmptyTableGuide->setVisible(GridModel->rowCount() == 0);
}

void TForm1::RestorePlacement() {
    const auto placement = ReadWindowPlacement(IniPath());
    if (!placement)
        return;
    setGeometry(placement->Left, placement->Top, placement->Width, placement->Height);
    // A screen that is gone since would leave the window out of reach.
    if (QScreen* screen = QGuiApplication::screenAt(geometry().center()); !screen)
        if (QScreen* primary = QGuiApplication::primaryScreen())
            move(primary->availableGeometry().center() - rect().center());
    if (placement->Maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
    QHeaderView* header = StringGrid1->horizontalHeader();
    for (int column = 0;
         column < header->count() && column < static_cast<int>(placement->ColumnWidths.size());
         ++column)
        if (placement->ColumnWidths[column] > 0)
            header->resizeSection(column, placement->ColumnWidths[column]);
}

void TForm1::SavePlacement() {
    WindowPlacement placement;
    const QRect normal = isMaximized() ? normalGeometry() : geometry();
    placement.Left = normal.left();
    placement.Top = normal.top();
    placement.Width = normal.width();
    placement.Height = normal.height();
    placement.Maximized = isMaximized();
    const QHeaderView* header = StringGrid1->horizontalHeader();
    for (int column = 0; column < header->count(); ++column)
        placement.ColumnWidths.push_back(header->sectionSize(column));
    // Only a convenience: a file that cannot take it loses nothing else.
    WriteWindowPlacement(placement, IniPath());
}

int TForm1::RunBatch() {
    if (!startedCleanly_) {
        // The error was shown already; a run on half-read settings could
        // fetch from, or post to, the wrong place.
        close();
        return static_cast<int>(BatchStatus::CouldNotStart);
    }
    setEnabled(false);
    ++runningCommands_;
    BatchStatus status = BatchStatus::Done;
    const auto fail = [&status](BatchStatus failure, const std::string& message) {
        ShowErrorBox(message);
        if (status == BatchStatus::Done)
            status = failure;
    };
    RunGuarded([&] {
        const TransferOutcome connected = Connection->ConnectAndWait();
        if (!connected) {
            fail(BatchStatus::CouldNotConnect, ConnectFailureMessage(settings, connected));
            return;
        }
        try {
            const qwk::RetrievalSummary retrieved = RetrievalRun();
            if (retrieved.ServerFailed)
                fail(BatchStatus::ServerFailed, RetrievalFailureMessage(retrieved));
        } catch (const qwk::MessageFileError&) {
            status = BatchStatus::PacketNotWritten;
            throw;
        } catch (const GroupsFileError&) {
            status = BatchStatus::PacketNotWritten;
            throw;
        } catch (...) {
            status = BatchStatus::ServerFailed;
            throw;
        }
        if (interruption::StopRequested())
            return; // nothing new is begun
        const PostingSummary posted = PostingRun();
        if (!posted.Ran && !posted.Failure.empty())
            fail(BatchStatus::RepliesLeft, posted.Failure + "; it is kept as it is.");
        else if (posted.Ran && (posted.NotPosted > 0 || posted.Packet.KeptUnreadRest ||
                                !posted.Packet.ArchiveUpdated))
            fail(BatchStatus::RepliesLeft,
                 std::to_string(posted.NotPosted) + " of " +
                     std::to_string(posted.Posted + posted.NotPosted) +
                     " replies were not posted; they stay in the reply packet." +
                     (posted.Failure.empty() ? std::string() : " " + posted.Failure));
        DisconnectAndWait();
    });
    if (interruption::StopRequested()) {
        // The run ended early on purpose; that, not what it left, is the news.
        ShowErrorBox("Stopped by signal " + std::to_string(interruption::StopSignal()) +
                     "; the rest waits for the next run.");
        status = static_cast<BatchStatus>(static_cast<int>(BatchStatus::StoppedBySignal) +
                                          interruption::StopSignal());
    }
    --runningCommands_;
    close();
    return static_cast<int>(status);
}

void TForm1::closeEvent(QCloseEvent* event) {
    // A long command is waiting in a nested loop; it ends first.
    if (runningCommands_ > 0 && !Unattended()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TForm1::FormClose() {
    if (closed_)
        return;
    closed_ = true;
    if (!Unattended() && startedCleanly_)
        SavePlacement();
    RunGuarded([this] {
        DisconnectAndWait();
        if (Groups.GroupsChanged)
            SaveGroups(Groups, StartDirectory);
    });
    if (windows_.Form6)
        windows_.Form6->hide();
    if (windows_.ProgressForm)
        windows_.ProgressForm->hide();
}

// ConnectionView

// The status changes several times per article; while the window is hidden
// (the batch run) only the last text is kept, for when it is shown.
void TForm1::SetStatusText(const std::string& text) {
    if (windows_.Form6)
        windows_.Form6->SetTransferText(text);
    if (!isVisible()) {
        hiddenStatusText_ = text;
        return;
    }
    StatusText->setText(Text(text));
}

void TForm1::ApplyEnablingSet(bool connected) {
    ConnectionIndicator->setText(connected ? "Connected to " + Text(Connection->NNTP1.RemoteHost())
                                           : QStringLiteral("Not connected"));
    Connect1->setEnabled(!connected);
    for (QAction* a :
         {Disconnect1, GetArticles1, PostArticles1, GetAllNewsgroups1, GetNewNewsgroups1})
        a->setEnabled(connected);
}

// The status bar repaints on the next pass of the wait loop; painting it for
// every chunk of a fast transfer would cost more than the transfer.
void TForm1::RepaintStatus() {}

void TForm1::GroupRowChanged(std::size_t index) {
    changedRows_.push_back(index);
    if (!rowRepaintTimer_->isActive())
        rowRepaintTimer_->start();
}

void TForm1::RepaintChangedRows() {
    rowRepaintTimer_->stop();
    std::sort(changedRows_.begin(), changedRows_.end());
    changedRows_.erase(std::unique(changedRows_.begin(), changedRows_.end()), changedRows_.end());
    for (std::size_t index : changedRows_)
        if (index < Groups.Count())
            GridModel->RowChanged(index);
    changedRows_.clear();
}

// Grid

int TForm1::CurrentGridRow() const {
    const QModelIndex current = StringGrid1->currentIndex();
    if (current.isValid())
        return current.row() + 1;
    return Groups.Empty() ? 0 : 1;
}

void TForm1::SetCurrentGridRow(int row) {
    if (row < 1 || row > static_cast<int>(Groups.Count()))
        return;
    const QModelIndex index = GridModel->index(row - 1, 0);
    StringGrid1->setCurrentIndex(index);
    StringGrid1->scrollTo(index);
}

void TForm1::FillGrid() {
    HourglassCursor hourglass;
    const int row = CurrentGridRow();
    GridModel->Reset();
    SetCurrentGridRow(std::min(std::max(row, 1), static_cast<int>(Groups.Count())));
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == StringGrid1->viewport() && event->type() == QEvent::Resize)
        UpdateEmptyTableGuide();
    if (watched == StringGrid1 && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            EditGroupSettings();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        ShowHelp(MainWindowHelpContext);
        return;
    }
    QMainWindow::keyPressEvent(event);
}

// Commands

void TForm1::ConnectAndWait() {
    struct FocusBack {
        TForm1* form;
        ~FocusBack() { form->ReturnFocusToGrid(); }
    } focusBack{this};
    RunGuarded([this] {
        const TransferOutcome connected = Connection->ConnectAndWait();
        if (connected)
            return;
        const std::string fingerprint = Connection->NNTP1.PeerCertificateFingerprint();
        if (connected.Code != nntpErrorCertificate || fingerprint.empty()) {
            ShowErrorBox(ConnectFailureMessage(settings, connected));
            return;
        }
        // The user may trust exactly this certificate; any other is still
        // refused.
        if (!VxYesNoDialog(connected.Text + "\n\nTrust this certificate for " +
                               settings.NntpServer + " and connect?",
                           ApplicationTitle))
            return;
        settings.AcceptedCertificate = fingerprint;
        settings.UnreadTexts.erase(SettingsKeyNntpCertificate);
        WriteSettings(settings, IniPath());
        if (const TransferOutcome again = Connection->ConnectAndWait(); !again)
            ShowErrorBox(ConnectFailureMessage(settings, again));
    });
}

void TForm1::DisconnectAndWait() {
    RunGuarded([this] { Connection->DisconnectAndWait(); });
    ReturnFocusToGrid();
}

qwk::RetrievalSummary TForm1::RetrievalRun() {
    ThreadStore threads(ThreadStore::PathIn(StartDirectory));
    threads.Load(QDate::currentDate());
    const qwk::RetrievalSummary summary =
        qwk::RetrieveArticles({*Connection, Groups, settings, TempDirectory, *windows_.Form6, *this,
                               *windows_.ProgressForm, *ZipFile1, *UnzipFile1, &threads});
    // The packet is in place: the new LastRead values go to GROUPS.DAT now,
    // not at exit, so a run killed later does not deliver them again.
    if (Groups.GroupsChanged && !SaveGroups(Groups, StartDirectory))
        throw GroupsFileError("Unable to write to " + VxSlashIt(StartDirectory) +
                              "GROUPS.DAT; the next run gets these articles again");
    interruption::DurableStep("groups-saved");
    // Without it replies only lose their threads; the run has done its work.
    if (!threads.Save(QDate::currentDate()))
        ShowErrorBox(threads.Error() + "; replies to these articles go out without References.");
    return summary;
}

PostingSummary TForm1::PostingRun() {
    ThreadStore threads(ThreadStore::PathIn(StartDirectory));
    threads.Load(QDate::currentDate());
    return ::PostingRun(*Connection, Groups, settings, TempDirectory,
                        VxSlashIt(StartDirectory) + "POSTED.DAT", *windows_.Form6,
                        *windows_.ProgressForm, *UnzipFile1, *ZipFile1, {}, &threads);
}

void TForm1::GetArticles1Click() {
    WithWindowDisabled([this] {
        interruption::ClearStopRequest();
        if (Connection->Disconnected())
            return;
        const qwk::RetrievalSummary summary = RetrievalRun();
        ShowRunSummary(RetrievalResultText(summary), summary.ServerFailed || summary.Stopped,
                       settings.WorkDirectory);
    });
}

void TForm1::PostArticles1Click() {
    WithWindowDisabled([this] {
        interruption::ClearStopRequest();
        if (Connection->Disconnected())
            return;
        const PostingSummary posted = PostingRun();
        if (!posted.Ran && !posted.Failure.empty())
            ShowErrorBox(posted.Failure + "; it is kept as it is.");
        else if (!posted.Ran && posted.ArchiveName.empty())
            ShowRunSummary("No reply packet " + settings.QwkId + ".REP in " +
                               settings.WorkDirectory + "; nothing to post.",
                           false, settings.WorkDirectory);
        else if (posted.Ran)
            ShowRunSummary(PostingResultText(posted),
                           posted.NotPosted > 0 || posted.Packet.KeptUnreadRest ||
                               !posted.Packet.ArchiveUpdated || !posted.Failure.empty(),
                           settings.WorkDirectory);
    });
}

// The newsgroup list arrives as one transfer, which cannot stop half way:
// the progress window shows it without Cancel.
void TForm1::ShowListProgress(const char* caption) {
    if (!windows_.Form6)
        return;
    TForm6& window = *windows_.Form6;
    window.Clear();
    window.SetCaption(caption);
    window.Show();
    window.SetCancellable(false);
    window.SetProgress({"Receiving the list of newsgroups from " + settings.NntpServer, "", 0, 0});
}

void TForm1::GetAllNewsgroups1Click() {
    WithWindowDisabled([this] {
        const LogWindowHider hider{windows_.Form6};
        if (Groups.Empty())
            ShowListProgress("Getting all newsgroups");
        GetAllNewsgroups(
            *Connection, Groups, settings, StartDirectory,
            [this](const std::string& q) {
                const bool yes = VxYesNoDialog(q, ApplicationTitle);
                if (yes)
                    ShowListProgress("Getting all newsgroups");
                return yes;
            },
            [this] { FillGrid(); });
    });
}

void TForm1::GetNewNewsgroups1Click() {
    WithWindowDisabled([this] {
        const LogWindowHider hider{windows_.Form6};
        ShowListProgress("Getting new newsgroups");
        GetNewNewsgroups(*Connection, Groups, settings, StartDirectory, [this] { FillGrid(); });
    });
}

void TForm1::SortListofNewsgroups1Click() {
    SortByColumn(0);
}

void TForm1::SortByColumn(int column) {
    StringGrid1->horizontalHeader()->setSortIndicatorShown(true);
    StringGrid1->horizontalHeader()->setSortIndicator(column, Qt::AscendingOrder);
    WithWindowDisabled([this, column] {
        {
            HourglassCursor hourglass;
            SortGroupsByColumn(Groups, column);
        }
        // The grid shows the new order even when the save fails.
        try {
            HourglassCursor hourglass;
            SaveGroups(Groups, StartDirectory);
        } catch (...) {
            FillGrid();
            throw;
        }
        FillGrid();
    });
}

void TForm1::ExportListofQueuedNewsgroups1Click() {
    WithWindowDisabled([this] {
        HourglassCursor hourglass;
        ExportQueuedNewsgroups(Groups, StartDirectory);
    });
}

void TForm1::ImportListofQueuedNewsgroups1Click() {
    WithWindowDisabled([this] {
        const auto changed = ImportQueuedNewsgroups(
            Groups, StartDirectory,
            [](const std::string& q) { return VxYesNoDialog(q, ApplicationTitle); },
            [](const std::string& m) { VxInfoDialog(m, ApplicationTitle); });
        for (std::size_t index : changed)
            GridModel->RowChanged(index);
    });
}

void TForm1::Settings1Click() {
    if (!windows_.Form2)
        return;
    RunGuarded([this] { EditSettings(*windows_.Form2, settings, IniPath()); });
    ReturnFocusToGrid();
}

void TForm1::Find1Click() {
    TForm4* dialog = windows_.Form4;
    if (!dialog)
        return;
    dialog->Edit1->setText(Text(FindText));
    dialog->Edit1->setFocus();
    if (dialog->exec() != QDialog::Accepted)
        return;
    FindText = Local8(dialog->Edit1->text());
    FindNextMatch();
}

void TForm1::FindNextMatch() {
    if (FindText.empty())
        return;
    std::optional<std::size_t> match;
    bool wrapped = false;
    {
        HourglassCursor hourglass;
        const auto letThrough = [] { QCoreApplication::processEvents(); };
        const std::ptrdiff_t current = CurrentGridRow() - 1;
        match = ::FindNextMatch(Groups, current, FindText, letThrough);
        // On from the top, as a text editor's search goes on.
        if (!match && current >= 0) {
            match = ::FindNextMatch(Groups, -1, FindText, letThrough);
            wrapped = match.has_value();
        }
    }
    if (match) {
        SetCurrentGridRow(static_cast<int>(*match) + 1);
        if (wrapped)
            statusBar()->showMessage(QString::fromLatin1(FindWrappedNote), 5000);
        return;
    }
    VxInfoDialog("No more matches.", ApplicationTitle);
}

void TForm1::EditGroupSettings() {
    const int row = CurrentGridRow();
    if (!windows_.Form5 || row < 1 || row > static_cast<int>(Groups.Count()))
        return;
    const auto index = static_cast<std::size_t>(row - 1);
    const GroupSettingsTexts texts = GroupSettingsTextsOf(Groups[index]);
    TForm5* dialog = windows_.Form5;
    dialog->Table = &Groups;
    dialog->Index = index;
    dialog->GroupName->setText(Text(Groups[index].Name));
    dialog->ConferenceEdit->setText(Text(texts.Conference));
    dialog->LastReadEdit->setText(Text(texts.LastRead));
    dialog->ConferenceEdit->setFocus();
    if (dialog->exec() != QDialog::Accepted)
        return;
    // The dialog closes on Ok only with texts that apply.
    if (!ApplyGroupSettings(
            Groups, index,
            {Local8(dialog->ConferenceEdit->text()), Local8(dialog->LastReadEdit->text())}))
        return;
    GridModel->RowChanged(index);
}

void TForm1::ShowHelp(int context) {
    // Nobody would read it in a batch run.
    if (Unattended())
        return;
    if (!Help.ShowContext(context))
        VxInfoDialog(Help.MissingText(), ApplicationTitle);
}

void TForm1::HelpTopics1Click() {
    if (Unattended())
        return;
    if (!Help.Command(HELP_FINDER, 0))
        VxInfoDialog(Help.MissingText(), ApplicationTitle);
}

void TForm1::ViewLog1Click() {
    if (!windows_.Form6)
        return;
    windows_.Form6->FlushPendingLines();
    windows_.Form6->show();
    windows_.Form6->raise();
    windows_.Form6->activateWindow();
}

void TForm1::AboutZandrel1Click() {
    if (windows_.AboutBox)
        windows_.AboutBox->exec();
}
