// Shared set-up of the configuration window tests: a temporary folder, a
// recording Ui that serves Qt events, and an MDI client for the window.
#pragma once

#include "app/mdiclient.h"
#include "config/displayline.h"
#include "configwin/nimbrelwindow.h"
#include "tests/support/recordingui.h"
#include "tests/support/tempdir.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace nimbrel::test {

// The worked example: a new configuration holding only the transmitter sensor.
inline const std::string kTransmitterFile =
    "4 1\r\n"
    "9,0,11111,ARGOS transmitter,PTT ID number,1,0,0,99999,0,4,0,0\r\n"
    "4,0,90,,Fast transmission rep rate (seconds),1,1,1,{90,200},0,4,1,0\r\n"
    "4,0,7200,,Transmission on time (seconds),1,2,0,86400,1,4,0,0\r\n"
    "4,0,14400,,Transmission off time (seconds),1,3,0,86400,1,4,0,0\r\n";

class WindowTest : public ::testing::Test {
protected:
    WindowTest() {
        ui.onServe = [](int ms) { QCoreApplication::processEvents(QEventLoop::AllEvents, ms); };
    }

    // A window as the MDI client makes it: constructed, shown, set up.
    std::unique_ptr<TNimbrelWindow> Make(const std::string& path = {}, int w = 800, int h = 400) {
        auto window = std::make_unique<TNimbrelWindow>(nullptr, &client, path);
        window->resize(w, h);
        window->show();
        window->SetupWindow();
        return window;
    }

    // A file of `count` long items in one sensor (number 1), values 0, 10, 20, ...
    std::string ItemsFile(const std::string& name, int count) {
        std::string text = std::to_string(count) + " 1\r\n";
        for (int i = 0; i < count; ++i) {
            text += "4,0," + std::to_string(10 * i) + "," + (i == 0 ? "Probe" : "") + ",Item " +
                    std::to_string(i) + ",1," + std::to_string(i) + ",0,1000,0,4,0," +
                    std::to_string(16 * i) + "\r\n";
        }
        return dir.Write(name, text);
    }

    TempDir dir;
    RecordingUi ui;
    TNimbrelMDIClient client;
};

} // namespace nimbrel::test
