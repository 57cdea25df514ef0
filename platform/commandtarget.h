// A window that handles menu commands. The main frame asks the active child
// window first, then the MDI client, then the application; a menu item or
// toolbar button is enabled only while one of them handles its command.
#pragma once

namespace nimbrel {

class CommandTarget {
public:
    virtual ~CommandTarget() = default;
    virtual bool HandlesCommand(int id) const = 0;
    virtual void ExecuteCommand(int id) = 0;
};

// The client window of an MDI child frame: closing the frame asks it first.
class ChildWindow : public CommandTarget {
public:
    // True when the window agrees to close (it may ask the user, e.g. to save).
    virtual bool CanClose() { return true; }
};

} // namespace nimbrel
