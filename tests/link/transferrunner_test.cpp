// The transfer runner with the real Qt dialogs: when its progress dialog
// comes up, that it never covers a question of the transfer, which keys it
// takes, and the refusals it states.
#include "link/transferrunner.h"

#include "app/qtui.h"
#include "link/linksession.h"
#include "tests/link/ptyhelpers.h"
#include "tests/support/recordingui.h"
#include "tests/support/tempdir.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace nimbrel::test {
namespace {

using nimbrel::Outcome;
using nimbrel::TransferEngine;

// Whether the progress dialog of the running transfer is on screen.
bool ProgressShown() {
    TransferRunner* running = TransferRunner::Current();
    return running != nullptr && running->Dialog() != nullptr && running->Dialog()->isVisible();
}

// A key as the user types it: through the window system, so a window that
// another modal window blocks does not get it.
void Press(QWidget* window, Qt::Key key) {
    QTest::keyClick(window->windowHandle(), key);
}

class RunnerTest : public ::testing::Test {
protected:
    RunnerTest() {
        QuickTimings();
        UsePort(line.Slave());
    }

    // Runs `job` while `watch` looks at the screen every 10 ms (with the
    // milliseconds since the start); a transfer still running after 5 s is
    // cancelled and its boxes closed, so the test fails instead of hanging.
    Outcome Run(const TransferRunner::Job& job, const std::function<void(std::int64_t)>& watch) {
        EXPECT_TRUE(session.Open());
        QElapsedTimer clock;
        clock.start();
        bool stuck = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (clock.elapsed() > 5000) {
                if (!stuck) ADD_FAILURE() << "the transfer did not end";
                stuck = true;
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
        const Outcome outcome = TransferRunner::Run(nullptr, session, "Transfer", job);
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
        QString text;
        const Outcome outcome =
            Run([](TransferEngine& engine) { return engine.SendProgram("ABC", 0); }, // odd length
                [&](std::int64_t now) {
                    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                    covered = covered || (asked && ProgressShown());
                    if (box == nullptr) return;
                    if (!asked) asked = now;
                    // Well past the delay, the box still has the keyboard.
                    if (now - *asked < delay + 150) return;
                    text = box->text();
                    Press(box, Qt::Key_Return);
                });
        EXPECT_EQ(outcome, Outcome::Refused) << delay;
        EXPECT_TRUE(asked.has_value()) << delay;
        EXPECT_FALSE(covered) << delay;
        EXPECT_FALSE(text.isEmpty()) << delay;
        EXPECT_LT(ended, 2000) << delay;
        session.Close();
    }
}

TEST_F(RunnerTest, ProgressComesAfterTheDelayIgnoresReturnAndEscapeCancels) {
    Settings::WriteString("TIMING", "ProgressDelayMs", "150");
    std::optional<std::int64_t> shown;
    std::optional<std::int64_t> returned;
    bool early = false;
    bool returnCancelled = false;
    bool escaped = false;
    bool coveredResult = false;
    QString result;
    const Outcome outcome =
        Run([](TransferEngine& engine) { return engine.Start(20000); },
            [&](std::int64_t now) {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    coveredResult = coveredResult || ProgressShown();
                    result = box->text();
                    Press(box, Qt::Key_Return);
                    return;
                }
                if (!ProgressShown()) return;
                QWidget* dialog = TransferRunner::Current()->Dialog();
                if (!shown) {
                    shown = now;
                    early = now < 150;
                    Press(dialog, Qt::Key_Return);
                    returned = now;
                } else if (!escaped && now - *returned > 150) {
                    returnCancelled = TransferRunner::Current()->CancelRequested();
                    Press(dialog, Qt::Key_Escape);
                    escaped = true;
                }
            });
    EXPECT_EQ(outcome, Outcome::Cancelled);
    ASSERT_TRUE(shown.has_value());
    EXPECT_FALSE(early) << "shown at " << *shown << " ms";
    EXPECT_FALSE(returnCancelled) << "Return left the transfer running";
    EXPECT_TRUE(escaped);
    EXPECT_EQ(result, "Starting was cancelled.\nCommunications were not started.");
    EXPECT_FALSE(coveredResult) << "the progress dialog made way for the result";
}

TEST_F(RunnerTest, ATransferShorterThanTheDelayShowsNoDialog) {
    Settings::WriteString("TIMING", "ProgressDelayMs", "400");
    bool shown = false;
    EXPECT_EQ(Run([](TransferEngine& engine) { return engine.SendRaw("hello", "the text"); },
                  [&](std::int64_t) { shown = shown || ProgressShown(); }),
              Outcome::Done);
    EXPECT_FALSE(shown);
    EXPECT_EQ(line.Read(5), "hello");
}

TEST(RunnerRefusalTest, AClosedPortIsRefusedWithOneMessage) {
    TempDir dir;
    RecordingUi ui;
    LinkSession session;
    bool ran = false;
    const auto job = [&ran](TransferEngine&) {
        ran = true;
        return Outcome::Done;
    };
    EXPECT_EQ(TransferRunner::Run(nullptr, session, "Transfer", job), Outcome::Refused);
    EXPECT_FALSE(ran);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text,
              "The serial port is not open.\r\nNothing was sent to the transmitter.");
    EXPECT_EQ(ui.messages[0].icon, Icon::Exclamation);
}

TEST(RunnerDetailTest, ElapsedAndLeftSecondsAddUpToTheWait) {
    const struct {
        std::int32_t elapsedMs;
        std::int32_t leftMs;
        std::int64_t bytes;
        std::int64_t total;
        const char* text;
    } cases[] = {
        {0, 10000, 0, 0, "0 s elapsed, 10 s left"},  {1, 9999, 0, 0, "0 s elapsed, 10 s left"},
        {1500, 8500, 0, 0, "1 s elapsed, 9 s left"}, {9999, 1, 0, 0, "9 s elapsed, 1 s left"},
        {10000, 0, 0, 0, "10 s elapsed, 0 s left"},  {2500, -1, 3, 8, "2 s elapsed, 3 of 8 bytes"},
    };
    for (const auto& c : cases) {
        Progress p;
        p.elapsedMs = c.elapsedMs;
        p.leftMs = c.leftMs;
        p.bytes = c.bytes;
        p.totalBytes = c.total;
        EXPECT_EQ(TransferRunner::DetailText(p).toStdString(), c.text);
    }
}

} // namespace
} // namespace nimbrel::test
