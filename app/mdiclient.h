// The main frame's client area: creates and tracks the one configuration
// window and the one terminal window, holds the password lock and the
// communications-started state, and checks and forwards the PTT
// Communications and Terminal commands.
#pragma once

#include "app/commandtarget.h"

#include <QMdiArea>
#include <QStringList>

#include <string>
#include <vector>

class TNimbrelWindow;
class TNimbrelMDIChild;
class TermWin;
class QMimeData;

class TNimbrelMDIClient : public QMdiArea, public nimbrel::CommandTarget {
    Q_OBJECT
public:
    explicit TNimbrelMDIClient(QWidget* parent = nullptr);
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

    // Terminal window management.
    void TermOpen(bool minimised);
    bool TermWindowOpen() const { return terminalOpen_; }
    void CloseTerminalWindow();
    TermWin* TerminalWindow() const { return terminal_; }

    // Configuration window management.
    void CloseConfigWindow();
    TNimbrelWindow* ConfigWindow() const { return config_; }
    TNimbrelMDIChild* ConfigFrame() const { return configFrame_; }
    int ConfigCount() const { return configCount_; }

    bool GetPassword() const { return password_; }
    void SetPassword(bool given) { password_ = given; }
    void ComStart(bool started) { started_ = started; }
    bool GetUserMode() const { return started_; }

    // User command list support, forwarded to the configuration window.
    void FillCommandList(std::vector<std::string>& names) const;
    void GetCommand(std::string& text) const;

    // Window menu: minimised children in a row along the bottom.
    void ArrangeIcons();

signals:
    // A path was opened; the application adds it to the recent-file list.
    void FileOpened(const QString& path);
    // Files were dropped on the client area, in drop order.
    void FilesDropped(const QStringList& paths);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateConfigWindow(const std::string& path, const QString& title);
    // Runs a PTT Communications or Terminal command whose precondition holds.
    void Forward(int id);
    // Runs a Terminal command while a terminal window is open.
    void ForwardTerminal(int id);

    TNimbrelWindow* config_ = nullptr;
    TNimbrelMDIChild* configFrame_ = nullptr;
    int configCount_ = 0;
    TNimbrelMDIChild* terminalFrame_ = nullptr;
    TermWin* terminal_ = nullptr;
    bool terminalOpen_ = false;
    bool password_ = false;
    bool started_ = false;
};

// Local paths of dropped files, in drop order.
QStringList DroppedFiles(const QMimeData* data);
