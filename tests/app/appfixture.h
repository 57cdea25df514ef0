// Shared set-up of the application shell tests: a temporary folder holding
// the settings file, a recording Ui that serves Qt events, the application
// with its main frame (no splash, no Qt dialogs), and small child windows
// whose commands and close answers a test controls.
#pragma once

#include "platform/commandtarget.h"
#include "app/mainframe.h"
#include "app/mdichild.h"
#include "app/mdiclient.h"
#include "app/nimbrelapp.h"
#include "tests/support/recordingui.h"
#include "tests/support/tempdir.h"

#include <QApplication>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace nimbrel::test {

// A configuration file holding the transmitter sensor.
inline const std::string kConfigText =
    "4 1\r\n"
    "9,0,11111,ARGOS transmitter,PTT ID number,1,0,0,99999,0,4,0,0\r\n"
    "4,0,90,,Fast transmission rep rate (seconds),1,1,1,{90,200},0,4,1,0\r\n"
    "4,0,7200,,Transmission on time (seconds),1,2,0,86400,1,4,0,0\r\n"
    "4,0,14400,,Transmission off time (seconds),1,3,0,86400,1,4,0,0\r\n";

class FakeChild : public QWidget, public ChildWindow {
public:
    explicit FakeChild(std::set<int> handled = {}) : handled_(std::move(handled)) {}
    bool HandlesCommand(int id) const override { return handled_.count(id) != 0; }
    void ExecuteCommand(int id) override { executed.push_back(id); }
    bool CanClose() override {
        ++closeAsked;
        return allowClose;
    }

    std::vector<int> executed;
    bool allowClose = true;
    int closeAsked = 0;

private:
    std::set<int> handled_;
};

// Runs posted events, deferred deletions included.
inline void Settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

class AppTest : public ::testing::Test {
protected:
    AppTest() {
        Settings::WriteString("HISTORY", "File", dir.File("history.sqlite"));
        ui.onServe = [](int ms) { QCoreApplication::processEvents(QEventLoop::AllEvents, ms); };
        TNimbrelApp::Options options;
        options.splash = false;
        options.installUi = false;
        app = std::make_unique<TNimbrelApp>(options);
        app->InitMainWindow();
    }
    ~AppTest() override {
        app.reset();
        Settle();
    }

    TNimbrelFrame* Frame() const { return app->MainWindow(); }
    TNimbrelMDIClient* Client() const { return app->Client(); }

    // A fake child in its own frame, shown and made current.
    FakeChild* AddChild(const QString& title, std::set<int> handled = {}) {
        auto* child = new FakeChild(std::move(handled));
        auto* frame = new TNimbrelMDIChild(Client(), title, child);
        frame->show();
        Client()->setActiveSubWindow(frame);
        return child;
    }

    std::string ConfigFile(const std::string& name) { return dir.Write(name, kConfigText); }

    TempDir dir;
    RecordingUi ui;
    std::unique_ptr<TNimbrelApp> app;
};

} // namespace nimbrel::test
