// What the configuration window needs from the window that hosts it (the MDI
// client): the password lock, the serial link and its terminal view, and
// being told when the configuration window goes.
#pragma once

#include <string>

namespace nimbrel {
class LinkSession;
}

class ConfigHost {
public:
    virtual ~ConfigHost() = default;

    // True once the system password has been entered.
    virtual bool GetPassword() const = 0;
    virtual void SetPassword(bool given) = 0;
    // The configuration window is gone (or about to go).
    virtual void CloseConfigWindow() = 0;

    // The program's one serial link.
    virtual nimbrel::LinkSession& Link() = 0;
    // Opens the terminal window (minimised on request) unless it is open;
    // its set-up opens the port.
    virtual void TermOpen(bool minimised) = 0;
    virtual bool TermWindowOpen() const = 0;

    // The software version last read on the link since Start ("" when none).
    virtual std::string LinkVersion() const { return {}; }
    virtual void SetLinkVersion(const std::string& /*version*/) {}
};
