// The main window: menu, toolbar, newsgroup grid and status line. Every user
// command is one of its slots, and it holds the connection and the table.
#pragma once

#include "core/newsgroup_table.h"
#include "core/run_views.h"
#include "core/settings.h"
#include "help.h"
#include "nntp/news_connection.h"
#include "qwk/retrieval_run.h"
#include "reply/posting_run.h"

#include <QMainWindow>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QFrame;
class QLabel;
class QTableView;
class QToolButton;
class NewsGroupTableModel;
class TZipFile;
class TUnzipFile;
class TForm2;
class TAboutBox;
class TForm4;
class TForm5;
class TForm6;
class TProgressForm;
class TSplashScreen;

// The secondary windows, created after the main window in this order.
struct SecondaryWindows {
    TForm2* Form2 = nullptr;
    TAboutBox* AboutBox = nullptr;
    TForm4* Form4 = nullptr;
    TForm5* Form5 = nullptr;
    TForm6* Form6 = nullptr;
    TProgressForm* ProgressForm = nullptr;
};

// What a batch run came to, as its exit status; the README lists them. The
// first failure decides.
enum class BatchStatus {
    Done = 0,
    CouldNotStart = 1,    // settings or files at start-up, a zip library missing
    CouldNotConnect = 2,  // connecting or logging in failed
    ServerFailed = 3,     // the server failed or went away during the run
    PacketNotWritten = 4, // the packet, or GROUPS.DAT after it, could not be written
    RepliesLeft = 5,      // replies were not posted (they stay in the reply packet)
    // 128 + the signal's number (143 for SIGTERM, 130 for SIGINT): a stop
    // signal ended the run early, at a point where nothing is half done.
    StoppedBySignal = 128,
};

// The status line's note when Find Next went on from the top.
inline constexpr const char* FindWrappedNote =
    "Passed the end of the list; continued from the top.";

// True for exactly one argument that reads BATCH in any letter case.
bool IsBatchRun(const QStringList& argumentsAfterProgram);

// The main window: menu, toolbar, newsgroup grid and status line.
class TForm1 : public QMainWindow, public ConnectionView, public GroupRowView {
    Q_OBJECT
public:
    // Creates the window's components (the connection, then the zip and the
    // unzip component, which end the program when their library is missing)
    // and runs FormCreate.
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Also routes both archive components' progress to the progress window.
    void SetSecondaryWindows(const SecondaryWindows& windows);
    void SetSplash(TSplashScreen* splash) { splash_ = splash; }

    // The unattended run: connect, get articles, post articles, disconnect,
    // close. Returns the program's exit status: 0 when a connection was made.
    int RunBatch();

    // ConnectionView
    void SetStatusText(const std::string& text) override;
    void ApplyEnablingSet(bool connected) override;
    void RepaintStatus() override;
    // GroupRowView
    void GroupRowChanged(std::size_t index) override;

    // State of the shell.
    std::string StartDirectory;
    std::string TempDirectory;
    std::string IniPath() const;
    Settings settings;
    NewsGroupTable Groups;
    std::string FindText;
    std::unique_ptr<NewsConnection> Connection;
    std::unique_ptr<TZipFile> ZipFile1;
    std::unique_ptr<TUnzipFile> UnzipFile1;
    HelpFile Help;

    // Components, by the names the rest of the program knows them.
    QTableView* StringGrid1 = nullptr;
    NewsGroupTableModel* GridModel = nullptr;
    QFrame* Panel1 = nullptr;
    QAction *Connect1, *Disconnect1, *GetArticles1, *PostArticles1, *GetAllNewsgroups1,
        *GetNewNewsgroups1, *SortListofNewsgroups1, *ExportListofQueuedNewsgroups1,
        *ImportListofQueuedNewsgroups1, *Settings1, *Exit1, *Find1, *FindNext1, *HelpTopics1,
        *AboutZandrel1, *ViewLog1;
    QToolButton* SpeedButtons[9] = {};
    // The status line: the connection's texts on the left, and whether the
    // program is connected on the right, where menu tips do not cover it.
    QLabel* StatusText = nullptr;
    QLabel* ConnectionIndicator = nullptr;
    // One line over an empty grid saying how to fill it, with a link to Settings.
    QLabel* EmptyTableGuide = nullptr;

    // The grid's current row, counting the header as row 0.
    int CurrentGridRow() const;
    void SetCurrentGridRow(int row);
    void FillGrid();

public slots:
    void ConnectAndWait();
    void DisconnectAndWait();
    void GetArticles1Click();
    void PostArticles1Click();
    void GetAllNewsgroups1Click();
    void GetNewNewsgroups1Click();
    void SortListofNewsgroups1Click();
    void ExportListofQueuedNewsgroups1Click();
    void ImportListofQueuedNewsgroups1Click();
    void Settings1Click();
    void Find1Click();
    void FindNextMatch();
    void HelpTopics1Click();
    void AboutZandrel1Click();
    void EditGroupSettings();
    // A click on a column title: the table sorted by that column, saved and
    // shown, as the sort command does by name.
    void SortByColumn(int column);
    void ViewLog1Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateMenus();
    void CreateToolbar();
    void CreateGrid();
    void FormCreate();
    void FormClose();
    qwk::RetrievalSummary RetrievalRun();
    PostingSummary PostingRun();
    void ShowHelp(int context);
    // Runs a long command with the whole window disabled, enabling it again
    // whatever the outcome; an error it raises is shown in the error box.
    template <typename Command> void WithWindowDisabled(Command&& command);

    void RepaintChangedRows();
    void UpdateEmptyTableGuide();
    void ShowListProgress(const char* caption);
    void RestorePlacement();
    void SavePlacement();
    // After a command the keyboard is back on the grid, so Enter opens a group.
    void ReturnFocusToGrid();

    SecondaryWindows windows_;
    // Rows changed by a run, repainted together a few times a second.
    std::vector<std::size_t> changedRows_;
    class QTimer* rowRepaintTimer_ = nullptr;
    // The status text while the window is hidden, shown with the window.
    std::optional<std::string> hiddenStatusText_;
    TSplashScreen* splash_ = nullptr;
    bool closed_ = false;
    bool startedCleanly_ = false;
    int runningCommands_ = 0;
};
