// The main frame's client area: creates and tracks the one configuration
// window and the one terminal window, holds the password lock and the
// communications-started state, and checks and forwards the PTT
// Communications and Terminal commands.
#pragma once

#include "configwin/confighost.h"
#include "terminal/termhost.h"
#include "platform/commandtarget.h"

#include <QMdiArea>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TNimbrelWindow;
class TNimbrelMDIChild;
class TermWin;
class QMimeData;

namespace nimbrel {
class LinkSession;
}

class TNimbrelMDIClient : public QMdiArea,
                          public nimbrel::CommandTarget,
                          public ConfigHost,
                          public TermHost {
    Q_OBJECT
public:
    // `link` is the program's serial link (owned by the application); without
    // one the client makes its own.
    explicit TNimbrelMDIClient(QWidget* parent = nullptr, nimbrel::LinkSession* link = nullptr);
    ~TNimbrelMDIClient() override;

    // Commands handled here (File New/Open, Preferences, terminal, password,
    // the forwarded PTT Communications and Terminal commands, and the Window
    // menu's arranging commands while a child window exists).
    bool HandlesCommand(int id) const override;
    void ExecuteCommand(int id) override;

    void CmFileNew();
    void CmFileOpen();
    void CmPref();
    void CmOpemterminal();
    void CmEnterpassword();

    // Opens a configuration file in a new configuration window (one at a time).
    void OpenFile(const std::string& path);

    // Terminal window management. Opening it while it is open brings it
    // forward, unless a minimised window is asked for.
    void TermOpen(bool minimised) override;
    bool TermWindowOpen() const override { return terminalOpen_; }
    void CloseTerminalWindow() override;
    TermWin* TerminalWindow() const { return terminal_; }

    // Configuration window management.
    void CloseConfigWindow() override;
    TNimbrelWindow* ConfigWindow() const { return config_; }
    TNimbrelMDIChild* ConfigFrame() const { return configFrame_; }
    int ConfigCount() const { return configCount_; }

    bool GetPassword() const override { return password_; }
    void SetPassword(bool given) override { password_ = given; }
    // The communications-started state lives in the link session.
    void ComStart(bool started);
    bool GetUserMode() const;
    nimbrel::LinkSession& Link() override { return *link_; }
    std::string LinkVersion() const override { return linkVersion_; }
    void SetLinkVersion(const std::string& version) override { linkVersion_ = version; }

    // PTT Communications > History and Program a fleet: their dialogs.
    void CmHistory();
    void CmProgramFleet();

    // User command list support, forwarded to the configuration window.
    void FillCommandList(std::vector<std::string>& names) const override;
    void GetCommand(std::string& text) const override;

    // Window menu: minimised children in a row along the bottom.
    void ArrangeIcons();
    // Shows a child frame that is hidden, minimised or behind others: shown,
    // restored, on top and the active child.
    void BringForward(QMdiSubWindow* frame);

signals:
    // A path was opened; the application adds it to the recent-file list.
    void FileOpened(const QString& path);
    // Files were dropped on the client area, in drop order.
    void FilesDropped(const QStringList& paths);
    // The link's state changed (port opened or closed, started, busy).
    void LinkStateChanged();

private:
    void CreateConfigWindow(const std::string& path, const QString& title);
    // Runs a PTT Communications or Terminal command whose precondition holds.
    void Forward(int id);
    // Runs a Terminal command while a terminal window is open.
    void ForwardTerminal(int id);
    // UI thread: the port went away while no transfer ran.
    void LinkLost(const std::string& reason);

    TNimbrelWindow* config_ = nullptr;
    TNimbrelMDIChild* configFrame_ = nullptr;
    int configCount_ = 0;
    TNimbrelMDIChild* terminalFrame_ = nullptr;
    TermWin* terminal_ = nullptr;
    bool terminalOpen_ = false;
    bool password_ = false;
    std::string linkVersion_;
    std::unique_ptr<nimbrel::LinkSession> ownLink_;
    nimbrel::LinkSession* link_;
};

// Local paths of dropped files, in drop order.
QStringList DroppedFiles(const QMimeData* data);

// Makes `target` take drops of local files: a drag that carries some is
// accepted, and a drop hands their paths, in drop order, to `dropped`.
void TakeFileDrops(QWidget* target, std::function<void(const QStringList&)> dropped);
