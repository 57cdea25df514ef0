#include "app/nimbrelapp.h"

#include "app/aboutdlg.h"
#include "app/helpwindow.h"
#include "app/mainframe.h"
#include "app/mdiclient.h"
#include "app/qtui.h"
#include "app/recentfiles.h"
#include "app/splash.h"
#include "link/linksession.h"
#include "platform/commandids.h"
#include "platform/settings.h"
#include "platform/settingskeys.h"
#include "resources/pictures.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScreen>
#include <QUrl>

namespace cmd = nimbrel::cmd;

TNimbrelApp::TNimbrelApp() : TNimbrelApp(Options{}) {}

TNimbrelApp::TNimbrelApp(const Options& options)
    : options_(options), link_(std::make_unique<nimbrel::LinkSession>()) {
    QApplication::setApplicationName(QStringLiteral("Nimbrel"));
    // Desktops match the window to its menu entry by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.nimbrel.Nimbrel"));
    QApplication::setWindowIcon(nimbrel::res::Icon(nimbrel::res::kAppIcon));
    if (options_.installUi) {
        ui_ = std::make_unique<nimbrel::QtUi>();
        uiScope_ = std::make_unique<nimbrel::ScopedUi>(*ui_);
    }
    if (options_.splash) {
        const int seconds = nimbrel::Settings::Get(nimbrel::keys::kSplashSeconds);
        if (seconds > 0) {
            splash_ = new TSplash;
            connect(splash_, &TSplash::Finished, this, [this] {
                splash_->hide();
                splash_->deleteLater();
                if (frame_ != nullptr) ShowMainWindow();
            });
            splash_->Start(seconds);
        }
    }
}

TNimbrelApp::~TNimbrelApp() {
    // Windows first: closing children may still ask the user through the Ui.
    frame_.reset();
    delete splash_;
}

TNimbrelMDIClient* TNimbrelApp::Client() const {
    return frame_ != nullptr ? frame_->Client() : nullptr;
}

void TNimbrelApp::InitMainWindow() {
    if (frame_ != nullptr) return;
    frame_ = std::make_unique<TNimbrelFrame>(this, nullptr, link_.get());
    if (ui_ != nullptr) ui_->SetMainWindow(frame_.get());
    connect(frame_.get(), &TNimbrelFrame::FilesDropped, this, &TNimbrelApp::AddFiles);
    connect(frame_->Client(), &TNimbrelMDIClient::FileOpened, this, [](const QString& path) {
        nimbrel::RecentFiles().Add(QFile::encodeName(path).toStdString());
    });
    // The frame comes up when the splash goes.
    if (splash_ == nullptr || !splash_->Running()) ShowMainWindow();
}

void TNimbrelApp::ShowMainWindow() {
    // The screen's size also where no window manager maximises.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        frame_->setGeometry(screen->availableGeometry());
    }
    if (options_.startMinimised) {
        frame_->showMinimized();
    } else {
        frame_->showMaximized();
    }
    frame_->UpdateCommandStates();
}

int TNimbrelApp::Run() {
    InitMainWindow();
    return QApplication::exec();
}

bool TNimbrelApp::HandlesCommand(int id) const {
    if (id >= cmd::kMruFirst && id < cmd::kMruFirst + nimbrel::RecentFiles::kCapacity) return true;
    return id == cmd::kHelpMain || id == cmd::kHelpAbout || id == cmd::kExit;
}

void TNimbrelApp::ExecuteCommand(int id) {
    if (id >= cmd::kMruFirst && id < cmd::kMruFirst + nimbrel::RecentFiles::kCapacity) {
        CmFileSelected(id);
    } else if (id == cmd::kHelpMain) {
        CmHelpitem1();
    } else if (id == cmd::kHelpAbout) {
        CmHelpAbout();
    } else if (id == cmd::kExit && frame_ != nullptr) {
        frame_->close();
    }
}

QStringList TNimbrelApp::HelpPageCandidates() {
    const QDir bin(QCoreApplication::applicationDirPath());
    return {
        QDir::cleanPath(bin.filePath(QStringLiteral("help/NimbrelHelp.html"))),
        QDir::cleanPath(bin.filePath(QStringLiteral("../share/nimbrel/help/NimbrelHelp.html")))};
}

QString TNimbrelApp::HelpPagePath() {
    const QStringList places = HelpPageCandidates();
    for (const QString& place : places) {
        if (QFileInfo(place).isFile()) return place;
    }
    return places.front();
}

TNimbrelApp::UrlOpener& TNimbrelApp::DesktopOpener() {
    static UrlOpener opener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    return opener;
}

THelpWindow* TNimbrelApp::HelpWindow() const {
    return helpWindow_.data();
}

void TNimbrelApp::CmHelpitem1() {
    const QString page = HelpPagePath();
    if (QFileInfo(page).isFile() && DesktopOpener()(QUrl::fromLocalFile(page))) return;
    // No viewer could be started (or the page is missing): the program's own
    // window shows the page, or says where it was looked for.
    if (helpWindow_.isNull()) helpWindow_ = new THelpWindow(frame_.get());
    helpWindow_->ShowPage(HelpPageCandidates());
    helpWindow_->showNormal();
    helpWindow_->raise();
    helpWindow_->activateWindow();
}

void TNimbrelApp::CmHelpAbout() {
    TNimbrelAboutDlg dlg(frame_.get());
    dlg.exec();
}

void TNimbrelApp::AddFiles(const QStringList& paths) {
    TNimbrelMDIClient* client = Client();
    if (client == nullptr) return;
    for (const QString& path : paths)
        client->OpenFile(QFile::encodeName(path).toStdString());
}

void TNimbrelApp::CmFileSelected(int id) {
    TNimbrelMDIClient* client = Client();
    if (client == nullptr) return;
    const std::string path = nimbrel::RecentFiles().Path(id - cmd::kMruFirst);
    if (!path.empty()) client->OpenFile(path);
}
