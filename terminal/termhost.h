// What the terminal window needs from the window that hosts it (the MDI
// client): the password lock, the serial link it shows, the open
// configuration's user commands, and being told when the terminal goes.
#pragma once

#include <string>
#include <vector>

namespace nimbrel {
class LinkSession;
}

class TermHost {
public:
    virtual ~TermHost() = default;

    // True once the system password has been entered.
    virtual bool GetPassword() const = 0;
    // The program's one serial link; its started state is the "user mode".
    virtual nimbrel::LinkSession& Link() = 0;
    // Names of the open configuration's user commands, in item order.
    virtual void FillCommandList(std::vector<std::string>& names) const = 0;
    // Replaces a command name by the value of the item of that name.
    virtual void GetCommand(std::string& text) const = 0;
    // The terminal window is gone (or about to go).
    virtual void CloseTerminalWindow() = 0;
};
