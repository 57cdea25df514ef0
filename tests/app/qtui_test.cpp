// The Qt Ui: message texts and filters, real dialogs answered by a test, and
// event serving that neither blocks past its limit nor spins.
#include "app/qtui.h"
#include "platform/clock.h"
#include "tests/app/whenmodal.h"
#include "tests/support/tempdir.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <ctime>
#include <functional>

namespace nimbrel {
namespace {

using test::WhenModal;

TEST(QtUiTest, LineBreakPairsBecomeOneBreak) {
    EXPECT_EQ(MessageText("a\r\nb\n\rc\nd\re"), "a\nb\nc\nd\ne");
    EXPECT_EQ(MessageText("one\r\n\r\ntwo"), "one\n\ntwo");
    EXPECT_EQ(MessageText("You may now modify the configuration.\n\rChanges to the configuration "
                          "may\n\rrender this product inopperable"),
              "You may now modify the configuration.\nChanges to the configuration may\nrender "
              "this product inopperable");
}

TEST(QtUiTest, FiltersBecomeQtFilters) {
    EXPECT_EQ(QtFilter("Configuration files (*.cfg)|*.cfg|All Files (*.*)|*.*|"),
              "Configuration files (*.cfg);;All Files (*)");
    EXPECT_EQ(QtFilter("Configuration files(cfg)|*.cfg"), "Configuration files (*.cfg)");
    EXPECT_EQ(QtFilter("Sources|*.c;*.h|"), "Sources (*.c *.h)");
    EXPECT_EQ(QtFilter(""), "");
}

TEST(QtUiTest, MessageBoxShowsTextCaptionIconAndReturnsTheButton) {
    QtUi ui;
    WhenModal([](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), "Data not correct for all entries.\nAre you sure you want to exit");
        EXPECT_EQ(box->windowTitle(), "Notice");
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        box->button(QMessageBox::Cancel)->click();
    });
    EXPECT_EQ(ui.MessageBox("Data not correct for all entries.\n\rAre you sure you want to exit",
                            "Notice", Buttons::OkCancel, Icon::Exclamation),
              Answer::Cancel);

    WhenModal([](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->button(QMessageBox::Ok), nullptr);
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(ui.MessageBox("Save?", "", Buttons::YesNo, Icon::Question), Answer::Yes);
}

TEST(QtUiTest, MessageBoxIsWideEnoughForItsCaption) {
    QtUi ui;
    for (const char* caption : {"Software version", "Overlapping items"}) {
        int width = 0;
        WhenModal([&width](QWidget* box) {
            width = box->width();
            qobject_cast<QMessageBox*>(box)->button(QMessageBox::Ok)->click();
        });
        ui.MessageBox("1.0", caption, Buttons::Ok, Icon::None);
        const QFontMetrics metrics(QApplication::font("QMdiSubWindowTitleBar"));
        EXPECT_GE(width, metrics.horizontalAdvance(caption) + 4 * metrics.height()) << caption;
    }
}

TEST(QtUiTest, InputHonoursTheLengthLimitAndShowsTheText) {
    QtUi ui;
    WhenModal([](QWidget* w) {
        auto* dlg = qobject_cast<QInputDialog*>(w);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(dlg->labelText(), "Enter system password: ");
        auto* edit = dlg->findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->maxLength(), 5);
        EXPECT_EQ(edit->echoMode(), QLineEdit::Normal);
        edit->setText("abcdefgh");
        dlg->accept();
    });
    EXPECT_EQ(ui.InputText("", "Enter system password: ", "", 5),
              std::optional<std::string>("abcde"));

    WhenModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
    EXPECT_EQ(ui.InputText("", "Prompt", "x", 10), std::nullopt);
}

TEST(QtUiTest, FileDialogsFollowTheRequest) {
    QtUi ui;
    test::TempDir dir;
    const QString folder = QString::fromStdString(dir.Path());
    FileRequest save;
    save.save = true;
    save.filter = "Configuration files(cfg)|*.cfg";
    save.defaultExt = "cfg";
    save.overwritePrompt = false;
    WhenModal([folder](QWidget* w) {
        auto* dlg = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(dlg->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dlg->nameFilters(), QStringList{"Configuration files (*.cfg)"});
        EXPECT_EQ(dlg->defaultSuffix(), "cfg");
        EXPECT_TRUE(dlg->testOption(QFileDialog::DontConfirmOverwrite));
        dlg->setDirectory(folder);
        auto* name = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText("saved");
        QMetaObject::invokeMethod(dlg, "accept");
    });
    EXPECT_EQ(ui.ChooseFile(save),
              std::optional<std::string>((folder + "/saved.cfg").toStdString()));

    FileRequest open;
    open.filter = "Configuration files (*.cfg)|*.cfg|All Files (*.*)|*.*|";
    open.mustExist = true;
    open.overwritePrompt = true;
    WhenModal([](QWidget* w) {
        auto* dlg = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(dlg->acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(dlg->fileMode(), QFileDialog::ExistingFile);
        EXPECT_EQ(dlg->nameFilters().size(), 2);
        dlg->reject();
    });
    EXPECT_EQ(ui.ChooseFile(open), std::nullopt);
}

double CpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

TEST(QtUiTest, ServeEventsWaitsQuietlyAtMostTheSlice) {
    QtUi ui;
    ScopedUi scope(ui);
    QCoreApplication::processEvents();

    // Nothing happening: about the slice passes, without burning the CPU.
    const double cpu = CpuSeconds();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 10; ++i)
        ui.ServeEvents(30);
    const qint64 idle = clock.elapsed();
    EXPECT_GE(idle, 250);
    EXPECT_LT(idle, 1500);
    EXPECT_LT(CpuSeconds() - cpu, 0.15);

    // An event posted from elsewhere ends the wait early and is served.
    bool served = false;
    QTimer::singleShot(10, [&served] { served = true; });
    clock.restart();
    const bool done = WaitUntil([&served] { return served; }, 2000, 1000);
    EXPECT_TRUE(done);
    EXPECT_LT(clock.elapsed(), 900);
}

} // namespace
} // namespace nimbrel
