// Shared set-up of the transmitter communication tests: a temporary folder
// whose settings keep every wait short, a recording Ui that serves Qt events
// the way the program does, the simulated transmitter on a pseudo-terminal,
// and an MDI client that opens the configuration and terminal windows.
#pragma once

#include "app/mdichild.h"
#include "app/mdiclient.h"
#include "app/qtui.h"
#include "config/displayline.h"
#include "configwin/nimbrelwindow.h"
#include "link/linksession.h"
#include "terminal/termwin.h"
#include "platform/settings.h"
#include "tests/link/ptyhelpers.h"
#include "tests/support/recordingui.h"
#include "tests/support/tempdir.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace nimbrel::test {

// One item line of a configuration file, in one sensor.
struct ItemSpec {
    std::int32_t type;
    std::string value;
    std::string name;
    std::int32_t size;
    std::int32_t address;
};

inline std::string ConfigText(const std::vector<ItemSpec>& items) {
    std::string text = std::to_string(items.size()) + " 1\r\n";
    for (std::size_t i = 0; i < items.size(); ++i) {
        const ItemSpec& s = items[i];
        text += std::to_string(s.type) + ",0," + s.value + "," + (i == 0 ? "Probe" : "") + "," +
                s.name + ",1," + std::to_string(i) + ",0,2000000000,0," + std::to_string(s.size) +
                ",0," + std::to_string(s.address) + "\r\n";
    }
    return text;
}

class CommsTest : public ::testing::Test {
protected:
    CommsTest() {
        // As the program waits: until an event arrives or the slice is over.
        ui.onServe = &QtUi::ServeQtEvents;
        QuickTimings();
        Settings::WriteString("TIMING", "ResponseWaitMs", "2000");
        Settings::WriteString("TIMING", "ReadByteWaitMs", "2000");
        Settings::WriteString("TIMING", "VersionWaitMs", "2000");
        Settings::WriteString("FILE TRANSFER", "ReadAfterWrite", "1");
        Settings::WriteString("HISTORY", "File", HistoryPath());
    }

    // The programming history the window's sends go to.
    std::string HistoryPath() const { return dir.File("history.sqlite"); }

    static sim::SimOptions Awake() {
        sim::SimOptions o;
        o.startAwake = true;
        o.pace = false;
        return o;
    }

    // Starts the simulated transmitter and makes its line the configured port.
    sim::Transmitter& StartSim(const sim::SimOptions& options) {
        peer = std::make_unique<SimThread>(options);
        UsePort(peer->pty.Slave());
        return peer->sim;
    }

    TNimbrelWindow* Open(const std::vector<ItemSpec>& items) {
        client.OpenFile(dir.Write("test.cfg", ConfigText(items)));
        return client.ConfigWindow();
    }

    // The state a successful Start leaves: terminal open, port enabled for
    // the window, communications started.
    void Connect() {
        client.TermOpen(false);
        TermWin* term = client.TerminalWindow();
        ASSERT_NE(term, nullptr);
        ASSERT_TRUE(client.ConfigWindow()->EnableCommPort(true));
        // The stream's initial byte, out of the way of the first answer.
        ASSERT_TRUE(WaitFor([term] { return term->Link().Port().GetBytesInQue() >= 1; }));
        term->Link().Port().FlushComm(1);
        client.ComStart(true);
    }

    // Closes the terminal window's frame as the user would.
    void CloseTerminal() {
        for (QMdiSubWindow* frame : client.subWindowList()) {
            if (frame->widget() == client.TerminalWindow()) {
                frame->close();
                return;
            }
        }
    }

    // Closes the configuration window's frame as the user would; it is gone
    // on return.
    void CloseConfig() {
        if (client.ConfigFrame() != nullptr) client.ConfigFrame()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    std::string Value(int index) {
        return client.ConfigWindow()->Items[static_cast<std::size_t>(index)]->GetValueText();
    }

    // What the transmitter received, once `count` bytes are in.
    std::string Received(std::size_t count) {
        WaitFor([&] { return peer->sim.Received().size() >= count; }, 2000);
        return peer->sim.Received();
    }

    TempDir dir;
    RecordingUi ui;
    std::unique_ptr<SimThread> peer;
    TNimbrelMDIClient client;
};

} // namespace nimbrel::test
