// The application object: the splash, the main frame, the recent-file list,
// and the commands of the application as a whole (help, about box, dropped
// files, recent files, exit).
#pragma once

#include "platform/commandtarget.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QUrl;
class THelpWindow;
class TNimbrelFrame;
class TNimbrelMDIClient;
class TSplash;

namespace nimbrel {
class LinkSession;
class QtUi;
class ScopedUi;
} // namespace nimbrel

class TNimbrelApp : public QObject, public nimbrel::CommandTarget {
    Q_OBJECT
public:
    struct Options {
        bool splash = true;    // the timed splash, started by the constructor
        bool installUi = true; // the Qt dialogs become the program's Ui
        bool startMinimised = false;
    };

    // Needs a QApplication. Starts the splash (unless turned off, or the
    // settings' splash time is 0 or less), which blinks from the event loop.
    TNimbrelApp();
    explicit TNimbrelApp(const Options& options);
    ~TNimbrelApp() override;

    // Builds the main frame and shows it (maximised unless started
    // minimised) at once, or once the splash has finished.
    void InitMainWindow();
    // InitMainWindow if not done, then the event loop; returns its exit code.
    int Run();

    TNimbrelFrame* MainWindow() const { return frame_.get(); }
    TNimbrelMDIClient* Client() const;
    nimbrel::LinkSession& Link() const { return *link_; }

    bool HandlesCommand(int id) const override;
    void ExecuteCommand(int id) override;

    void CmHelpitem1();
    void CmHelpAbout();
    // Opens dropped files in order (one configuration at a time).
    void AddFiles(const QStringList& paths);
    // A pick from the recent-file list (command 31990 + slot).
    void CmFileSelected(int id);

    // Where the help page is looked for: help/ next to the program, then
    // ../share/nimbrel/help/ from the program's folder (an installed program).
    static QStringList HelpPageCandidates();
    // The first of those that exists, else the first.
    static QString HelpPagePath();

    // Opens a URL in the desktop's viewer; false when none could be started.
    // QDesktopServices::openUrl unless a test replaces it.
    using UrlOpener = std::function<bool(const QUrl&)>;
    static UrlOpener& DesktopOpener();

    // The program's own help window, while it is open.
    THelpWindow* HelpWindow() const;

private:
    void ShowMainWindow();

    Options options_;
    std::unique_ptr<nimbrel::QtUi> ui_;
    std::unique_ptr<nimbrel::ScopedUi> uiScope_;
    // The serial link belongs to the application, not to a window; it
    // outlives the frame.
    std::unique_ptr<nimbrel::LinkSession> link_;
    std::unique_ptr<TNimbrelFrame> frame_;
    QPointer<THelpWindow> helpWindow_;
    QPointer<TSplash> splash_; // while it blinks
};
