#include "delete_file_question.h"
#include "unattended.h"
#include "vxutil.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;

TEST(DeleteFileQuestion, NamesTheFileUpperCased) {
    EXPECT_EQ(DeleteFileQuestion("/home/joe/PACKETS/reply.rep"), "Delete REPLY.REP?");
    EXPECT_EQ(DeleteFileQuestion("name"), "Delete NAME?");
    EXPECT_EQ(DeleteFileQuestion("dir/"), "Delete ?");
    // Only a to z change; other letters stay as they are.
    EXPECT_EQ(DeleteFileQuestion("/tmp/caf\xC3\xA9_1.txt"), "Delete CAF\xC3\xA9_1.TXT?");
}

namespace {

// What a box looked like when it came up, and which button answered it.
struct SeenBox {
    bool seen = false;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QString title;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    bool hadParent = true;
};

// Waits for the next message box, notes what it shows and answers it with
// `answer` (or Escape when answer is NoButton).
SeenBox Answer(QMessageBox::StandardButton answer, const std::function<void()>& openBox) {
    SeenBox seen;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box == nullptr || !box->isVisible())
                continue;
            poll.stop();
            seen = {
                true,        box->icon(),       box->standardButtons(),        box->windowTitle(),
                box->text(), box->textFormat(), box->parentWidget() != nullptr};
            if (answer == QMessageBox::NoButton)
                box->reject();
            else
                box->button(answer)->click();
            return;
        }
    });
    poll.start();
    openBox();
    return seen;
}

class UnattendedBoxes : public ::testing::Test {
protected:
    void SetUp() override { SetUnattended(true); }
    void TearDown() override { SetUnattended(false); }
};

} // namespace

TEST(MessageDialogs, YesNoBoxAnswersTrueOnlyForYes) {
    bool result = false;
    const SeenBox box = Answer(QMessageBox::Yes, [&] {
        result = VxYesNoDialog("Use Last Message Read Pointers?", "Zandrel");
    });
    ASSERT_TRUE(box.seen);
    EXPECT_TRUE(result);
    EXPECT_EQ(box.icon, QMessageBox::Question);
    EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.title, "Zandrel");
    EXPECT_EQ(box.text, "Use Last Message Read Pointers?");
    EXPECT_FALSE(box.hadParent);

    Answer(QMessageBox::No, [&] { result = VxYesNoDialog("Again?", "Zandrel"); });
    EXPECT_FALSE(result);
    result = true;
    Answer(QMessageBox::NoButton, [&] { result = VxYesNoDialog("Again?", "Zandrel"); });
    EXPECT_FALSE(result);
}

TEST(MessageDialogs, InfoBoxShowsPlainTextUpToTheFirstZero) {
    const SeenBox box = Answer(QMessageBox::Ok, [] {
        VxInfoDialog(std::string("<b>alt.test</b>\0hidden", 22), "Zandrel");
    });
    ASSERT_TRUE(box.seen);
    EXPECT_EQ(box.icon, QMessageBox::Information);
    EXPECT_EQ(box.buttons, QMessageBox::Ok);
    EXPECT_EQ(box.text, "<b>alt.test</b>");
    EXPECT_EQ(box.format, Qt::PlainText);
}

TEST(MessageDialogs, DeleteFileDialogDeletesOnlyOnYes) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const fs::path file = fs::path(temp.path().toStdString()) / "reply.rep";
    std::ofstream(file) << "x";

    const SeenBox refused =
        Answer(QMessageBox::No, [&] { VxDeleteFileDialog(file.string(), "Zandrel"); });
    EXPECT_EQ(refused.text, "Delete REPLY.REP?");
    EXPECT_TRUE(fs::exists(file));

    Answer(QMessageBox::Yes, [&] { VxDeleteFileDialog(file.string(), "Zandrel"); });
    EXPECT_FALSE(fs::exists(file));

    // A file that is already gone is no error.
    Answer(QMessageBox::Yes, [&] { VxDeleteFileDialog(file.string(), "Zandrel"); });
}

TEST_F(UnattendedBoxes, WriteOneLineToStandardErrorAndAnswerNo) {
    ::testing::internal::CaptureStderr();
    VxInfoDialog("No more matches.", "Zandrel");
    const bool answer = VxYesNoDialog(std::string("Replace the table?\0junk", 23), "Zandrel");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Zandrel: No more matches.\nZandrel: Replace the table?\n");
    EXPECT_FALSE(answer);
}

TEST_F(UnattendedBoxes, DeleteFileDialogKeepsTheFile) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const fs::path file = fs::path(temp.path().toStdString()) / "notes.txt";
    std::ofstream(file) << "x";

    ::testing::internal::CaptureStderr();
    VxDeleteFileDialog(file.string(), "Zandrel");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Zandrel: Delete NOTES.TXT?\n");
    EXPECT_TRUE(fs::exists(file));
}
