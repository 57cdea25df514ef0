// The transfer runner with the real Qt dialogs: when its progress dialog
// comes up, that it never covers a question of the transfer, which keys it
// takes, and the refusals it states.
#include "terminal/transferrunner.h"

#include "app/qtui.h"
#include "link/linksession.h"
#include "tests/link/ptyhelpers.h"
#include "tests/support/recordingui.h"
#include "tests/support/tempdir.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

#include <algorithm>

#include <functional>
#include <optional>
#include <tuple>
#include <utility>

namespace nimbrel::test {
namespace {

using nimbrel::Outcome;
using nimbrel::TransferEngine;

// Whether the progress dialog of the running transfer is on screen.
bool ProgressShown() {
    TransferRunner* running = TransferRunner::Current();
    return running != nullptr && running->Dialog() != nullptr && running->Dialog()->isVisible();
}

// A message box is up (whether or not another window covers it).
bool BoxShown() {
    const auto widgets = QApplication::topLevelWidgets();
    return std::any_of(widgets.begin(), widgets.end(), [](QWidget* w) {
        return qobject_cast<QMessageBox*>(w) != nullptr && w->isVisible();
    });
}

// A key as the user types it: through the window system, so a window that
// another modal window blocks does not get it. Typed from the event loop, so
// a dialog it opens does not run inside the caller (a timer's handler).
void Press(QWidget* window, Qt::Key key) {
    QTimer::singleShot(0, [target = QPointer<QWidget>(window), key] {
        if (!target.isNull()) QTest::keyClick(target->windowHandle(), key);
    });
}

class RunnerTest : public ::testing::Test {
protected:
    RunnerTest() {
        QuickTimings();
        UsePort(line.Slave());
    }

    // Runs `job` while `watch` looks at the screen every 10 ms (given the ms
    // since the start); after 5 s it cancels and closes the boxes and fails.
    Outcome Run(const TransferRunner::Job& job, const std::function<void(std::int64_t)>& watch,
                QWidget* parent = nullptr) {
        EXPECT_TRUE(nimbrel::test::OpenAsConfigured(session));
        QElapsedTimer clock;
        clock.start();
        bool stuck = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (clock.elapsed() > 5000) {
                if (!std::exchange(stuck, true)) ADD_FAILURE() << "the transfer did not end";
                if (TransferRunner* running = TransferRunner::Current()) running->RequestCancel();
                for (QWidget* w : QApplication::topLevelWidgets()) {
                    if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                        box->done(0);
                }
                return;
            }
            watch(clock.elapsed());
        });
        poll.start(10);
        const Outcome outcome = TransferRunner::Run(parent, session, "Transfer", job);
        ended = clock.elapsed();
        return outcome;
    }

    TempDir dir;
    Pty line; // a transmitter that never answers
    QtUi qt;
    ScopedUi real{qt};
    LinkSession session;
    std::int64_t ended = 0;
};

TEST_F(RunnerTest, AQuestionBeforeAnyProgressIsNeverCoveredAndTakesReturn) {
    for (const int delay : {0, 40}) {
        Settings::WriteString("TIMING", "ProgressDelayMs", std::to_string(delay));
        std::optional<std::int64_t> asked;
        bool covered = false;
        const Outcome outcome =
            Run([](TransferEngine& engine) { return engine.SendProgram("ABC", 0); }, // odd length
                [&](std::int64_t now) {
                    // Once the question is answered, the progress may come back.
                    covered = covered || (BoxShown() && ProgressShown());
                    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                    if (box == nullptr) return;
                    if (!asked) asked = now;
                    if (now - *asked > delay + 150)
                        Press(box, Qt::Key_Return); // well past the delay
                });
        EXPECT_EQ(outcome, Outcome::Refused) << delay;
        EXPECT_TRUE(asked.has_value() && !covered) << delay;
        EXPECT_LT(ended, 2000) << delay;
        session.Close();
    }
}

TEST_F(RunnerTest, ProgressComesAfterTheDelayIgnoresReturnAndEscapeCancels) {
    Settings::WriteString("TIMING", "ProgressDelayMs", "150");
    std::optional<std::int64_t> shown;
    bool returnCancelled = false;
    bool escaped = false;
    bool resultCovered = false;
    QString result;
    const Outcome outcome =
        Run([](TransferEngine& engine) { return engine.Start(20000); },
            [&](std::int64_t now) {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    resultCovered = resultCovered || ProgressShown();
                    result = box->text();
                    Press(box, Qt::Key_Return);
                } else if (!ProgressShown()) {
                } else if (!shown) {
                    shown = now;
                    Press(TransferRunner::Current()->Dialog(), Qt::Key_Return);
                } else if (!escaped && now - *shown > 150) {
                    returnCancelled = TransferRunner::Current()->CancelRequested();
                    Press(TransferRunner::Current()->Dialog(), Qt::Key_Escape);
                    escaped = true;
                }
            });
    EXPECT_EQ(outcome, Outcome::Cancelled);
    ASSERT_TRUE(shown.has_value());
    EXPECT_GE(*shown, 150);
    EXPECT_FALSE(returnCancelled) << "Return left the transfer running";
    EXPECT_EQ(result, "Starting was cancelled.\nCommunications were not started.");
    EXPECT_FALSE(resultCovered) << "the progress dialog made way for the result";
}

TEST_F(RunnerTest, ADialogDueAfterItsParentWentComesUpWithoutOne) {
    Settings::WriteString("TIMING", "ProgressDelayMs", "100");
    QPointer<QWidget> parent = new QWidget;
    bool parentless = false;
    const Outcome outcome = Run(
        [](TransferEngine& engine) { return engine.Start(20000); },
        [&](std::int64_t) {
            if (!parent.isNull()) {
                delete parent.data(); // long before the dialog is due
            } else if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                Press(box, Qt::Key_Return);
            } else if (ProgressShown() && !TransferRunner::Current()->CancelRequested()) {
                parentless = TransferRunner::Current()->Dialog()->parentWidget() == nullptr;
                TransferRunner::Current()->RequestCancel();
            }
        },
        parent);
    EXPECT_EQ(outcome, Outcome::Cancelled);
    EXPECT_TRUE(parentless);
}

TEST_F(RunnerTest, ATransferShorterThanTheDelayShowsNoDialog) {
    Settings::WriteString("TIMING", "ProgressDelayMs", "400");
    bool shown = false;
    EXPECT_EQ(Run([](TransferEngine& engine) { return engine.SendRaw("hello", "the text"); },
                  [&](std::int64_t) { shown = shown || ProgressShown(); }),
              Outcome::Done);
    EXPECT_FALSE(shown);
}

TEST(RunnerRefusalTest, AClosedPortIsRefusedWithOneMessage) {
    TempDir dir;
    RecordingUi ui;
    LinkSession closed;
    EXPECT_EQ(TransferRunner::Run(nullptr, closed, "Transfer",
                                  [](TransferEngine&) {
                                      ADD_FAILURE() << "the job ran";
                                      return Outcome::Done;
                                  }),
              Outcome::Refused);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"The serial port is not open.\r\nNothing was "
                                                   "sent to the transmitter."});
}

TEST(RunnerDetailTest, ElapsedAndLeftSecondsAddUpToTheWait) {
    const std::tuple<std::int32_t, std::int32_t, const char*> cases[] = {
        {1, 9999, "0 s elapsed, 10 s left"},
        {1500, 8500, "1 s elapsed, 9 s left"},
        {10000, 0, "10 s elapsed, 0 s left"},
        {2500, -1, "2 s elapsed, 3 of 8 bytes"},
    };
    for (const auto& [elapsed, left, text] : cases) {
        Progress p;
        p.elapsedMs = elapsed;
        p.leftMs = left;
        p.bytes = left < 0 ? 3 : 0;
        p.totalBytes = left < 0 ? 8 : 0;
        EXPECT_EQ(TransferRunner::DetailText(p).toStdString(), text);
    }
}

} // namespace
} // namespace nimbrel::test
