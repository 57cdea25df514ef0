// The main frame: menu bar, toolbar and status bar around the MDI client.
// Every command goes to the first of the current child window (when it is a
// nimbrel::CommandTarget), the MDI client and the application that handles
// it; the edit commands go to the focused text edit. Items and buttons are
// enabled only while such a handler exists.
#pragma once

#include "platform/commandtarget.h"

#include <QMainWindow>
#include <QStringList>

#include <map>

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QToolBar;
class MemoryMapPanel;
class TNimbrelMDIClient;

namespace nimbrel {
class LinkSession;
}

class TNimbrelFrame : public QMainWindow {
    Q_OBJECT
public:
    // `app` handles the application's own commands (help, about, recent
    // files, exit); `link` is the program's serial link (null: the MDI client
    // makes its own).
    explicit TNimbrelFrame(nimbrel::CommandTarget* app, QWidget* parent = nullptr,
                           nimbrel::LinkSession* link = nullptr);
    ~TNimbrelFrame() override;

    TNimbrelMDIClient* Client() const { return client_; }
    QToolBar* ToolBar() const { return toolBar_; }
    QMenu* FileMenu() const { return fileMenu_; }
    QMenu* WindowMenu() const { return windowMenu_; }
    MemoryMapPanel* MapPanel() const { return mapPanel_; }

    // The action of a command id (menus, toolbar and accelerators share it).
    QAction* Action(int id) const;

    // The handler a command reaches now, or null.
    nimbrel::CommandTarget* TargetFor(int id) const;
    bool CommandEnabled(int id) const;
    // Runs a command if it is enabled.
    void ExecuteCommand(int id);
    // Re-evaluates which items and buttons are enabled. Called on the events
    // that change it (focus, the active child, menus, commands, the link).
    void UpdateCommandStates();

    // Rebuilds the recent-file items of the File menu and the window list.
    void RefreshRecentFiles();
    void RefreshWindowList();

    // Lock indicator labels ("CAPS", "NUM", "SCRL").
    QLabel* CapsIndicator() const { return caps_; }
    QLabel* NumIndicator() const { return num_; }
    QLabel* ScrollIndicator() const { return scroll_; }

signals:
    // Files dropped on the frame or the client area, in drop order.
    void FilesDropped(const QStringList& paths);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* AddCommand(QMenu* menu, const QString& text, int id, const QString& hint,
                        const QKeySequence& key = {});
    // The menu bar, one menu at a time, then the commands that have keys but
    // no menu item.
    void BuildMenus();
    void BuildFileMenu(QMenuBar* bar);
    void BuildSensorMenu(QMenuBar* bar);
    void BuildPttMenu(QMenuBar* bar);
    void BuildTerminalMenu(QMenuBar* bar);
    void BuildWindowMenu(QMenuBar* bar);
    void BuildHelpMenu(QMenuBar* bar);
    void BuildKeyOnlyCommands();
    // Refreshes the command states whenever `menu` opens; answers `menu`.
    QMenu* RefreshOnShow(QMenu* menu);
    void BuildToolBar();
    void BuildStatusBar();
    void RunEditCommand(int id);
    void UpdateLocks();

    nimbrel::CommandTarget* app_;
    TNimbrelMDIClient* client_ = nullptr;
    MemoryMapPanel* mapPanel_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QMenu* windowMenu_ = nullptr;
    QAction* exit_ = nullptr;
    QAction* windowListSeparator_ = nullptr;
    QList<QAction*> recentActions_;
    QList<QAction*> windowActions_;
    std::map<int, QAction*> actions_;
    QLabel* caps_ = nullptr;
    QLabel* num_ = nullptr;
    QLabel* scroll_ = nullptr;
    bool locksPending_ = false; // a lock-indicator refresh is queued
};

// The text edit that has the keyboard focus, or null.
QWidget* FocusedTextEdit();
