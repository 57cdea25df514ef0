// The terminal window: a view of the program's serial link. It shows
// everything the transmitter sends and carries out the Terminal menu's
// commands (logging, free command strings, raw files, program downloads,
// memory reads, user commands) as transfers on the link session. Opening it
// opens the configured port; closing it closes the port and clears the
// communications-started state.
//
// Threads: the receive task adds its display text to an inbox and posts one
// update while none is pending; the update shows everything in the inbox in
// one go, so the display is only touched on the UI thread and a flood of
// bytes costs one display update per turn of the event loop.
#pragma once

#include "platform/commandtarget.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

class QPlainTextEdit;
class TermHost;

namespace nimbrel {
class LinkSession;
}

class TermWin : public QWidget, public nimbrel::ChildWindow {
    Q_OBJECT
public:
    // Creates the empty read-only display; the port stays closed until
    // SetupWindow. `host` may be null (no password, a link of its own).
    TermWin(QWidget* parent, TermHost* host, const char* title);
    // Tidies up as CanClose does, unless that already happened.
    ~TermWin() override;

    // Called once the window is in its frame and shown: opens the port unless
    // it is open (a failure shows its one message and leaves the window open
    // without a link) and shows what the link receives.
    void SetupWindow();

    // Send File (5035) is served here while this is the active child; the
    // other Terminal commands arrive through the MDI client.
    bool HandlesCommand(int id) const override;
    void ExecuteCommand(int id) override;
    // Agrees: closes the log and the port, clears the communications-started
    // state and tells the host at once that the terminal is closed. While a
    // transfer runs it offers to cancel it and close afterwards instead.
    bool CanClose() override;

    nimbrel::LinkSession& Link() const { return *link_; }

    // Terminal commands.
    void CmLog();
    void CmLogclose();
    void CmTermclose();
    void CmSendstring();
    void CmTerminalfile();
    void CmSendprog();
    void CmReadmemory();
    void CmUsercommand(); // in terminal/usercommands.cpp

    // True once the system password has been entered.
    bool GetPassword() const;
    // True while PTT communications are started.
    bool GetUserMode() const;
    TermHost* Host() const { return host_; }

    QPlainTextEdit* Display() const { return display_; }
    // Characters put into the display since it was last trimmed.
    std::int32_t DisplayLength() const { return displayLength_; }

private:
    struct Batch {
        std::string text;
        std::int32_t rawCount;
    };
    // Receive thread: adds a batch to the inbox, posting an update unless one
    // is pending. The inbox keeps the newest batches, up to the display's
    // trimming length in received bytes.
    void Receive(const std::string& text, std::int32_t rawCount);
    // UI thread: shows the inbox's batches in one display update.
    void ShowPending();
    // Adds one batch's text to the display's text, trimming the display first
    // when it grew too long; true when it was trimmed.
    bool AddToShown(const std::string& text, std::int32_t rawCount);
    // UI thread: a log write failed and logging is off; tells the user.
    void LogFailed(const std::string& message);
    // Shows "This function requires the system password" unless given.
    bool RequirePassword() const;
    // Says that the port is not open unless it is.
    bool RequireOpenPort() const;
    // Closes the log and the port, clears the started state, tells the host.
    void TidyUp();
    // Sends bytes as a transfer; false when it did not complete (reported).
    bool Send(const std::string& bytes, const std::string& what);

    TermHost* host_;
    std::unique_ptr<nimbrel::LinkSession> ownLink_; // without a host
    nimbrel::LinkSession* link_;
    QPlainTextEdit* display_ = nullptr; // child widget
    std::string shown_;                 // the display's text
    std::int32_t displayLength_ = 0;
    std::int32_t blockLength_ = 0; // characters in the display's last line
    bool endedWithCr_ = false;     // the last chunk shown ended with CR
    bool closed_ = false;          // tidied up when its close was agreed

    std::mutex inboxLock_;
    std::deque<Batch> inbox_;
    std::int32_t inboxRaw_ = 0;
    bool updatePosted_ = false;
    bool inboxDropped_ = false; // older batches were left out
};
