// The terminal window: shows everything the transmitter sends, owns the
// serial link and carries out the Terminal menu's commands (logging, free
// command strings, raw files, program downloads, memory reads, user
// commands).
//
// The link is the Transport base class, so its operations (EnableCommPort,
// ClosePort, WriteComm, TransmitCommChar, GetBytesInQue, ReadComm,
// FlushComm, GetCommError, SendPttData, WaitForWake, QueryVersion,
// ReadMemoryByte, ...) are members of the terminal window; the configuration
// window reaches them through TNimbrelMDIClient::TerminalWindow().
//
// Threads: the receive task hands each chunk's display text to the window
// through a queued call, so the display is only touched on the UI thread.
#pragma once

#include "app/commandtarget.h"
#include "link/transport.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <string>

class QPlainTextEdit;
class TNimbrelMDIClient;

class TermWin : public QWidget, public nimbrel::ChildWindow, public nimbrel::Transport {
    Q_OBJECT
public:
    // Creates the empty read-only display; the port stays closed until
    // SetupWindow. `client` may be null (no password, never started).
    TermWin(QWidget* parent, TNimbrelMDIClient* client, const char* title);
    // Stops the receive task, closes the log, clears the
    // communications-started state, closes the port and tells the client.
    ~TermWin() override;

    // Called once the window is in its frame and shown: opens the port (a
    // failure shows its message and leaves the window open without a link)
    // and starts the receive task.
    void SetupWindow();

    // Send File (5035) is served here while this is the active child; the
    // other Terminal commands arrive through the MDI client.
    bool HandlesCommand(int id) const override;
    void ExecuteCommand(int id) override;
    // Agrees, and tells the MDI client at once that the terminal is closed,
    // unless a transfer holds the link.
    bool CanClose() override;

    // Held by a transfer for as long as it waits on the link: a frame closed
    // during such a wait would be deleted within it, so closing is refused.
    bool Held() const { return holds_ > 0; }
    class Hold {
    public:
        explicit Hold(TermWin* term) : term_(term) {
            if (term_ != nullptr) ++term_->holds_;
        }
        ~Hold() {
            if (term_ != nullptr) --term_->holds_;
        }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        TermWin* term_;
    };

    // Terminal commands.
    void CmLog();
    void CmLogclose();
    void CmTermclose();
    void CmSendstring();
    void CmTerminalfile();
    void CmSendprog();
    void CmReadmemory();
    void CmUsercommand(); // in link/usercommands.cpp

    // True once the system password has been entered.
    bool GetPassword() const;
    // True while PTT communications are started.
    bool GetUserMode() const;
    TNimbrelMDIClient* MDIClient() const;

    QPlainTextEdit* Display() const { return display_; }
    // Characters put into the display since it was last trimmed.
    std::int32_t DisplayLength() const { return displayLength_; }

private:
    // UI thread: appends one received chunk's display text at the end.
    void ShowReceived(const std::string& text, std::int32_t rawCount);
    // Shows "This function requires the system password" unless given.
    bool RequirePassword() const;

    QPointer<TNimbrelMDIClient> client_;
    QPlainTextEdit* display_ = nullptr; // child widget
    std::int32_t displayLength_ = 0;
    bool endedWithCr_ = false; // the last chunk shown ended with CR
    std::int32_t holds_ = 0;   // transfers waiting on the link
};
