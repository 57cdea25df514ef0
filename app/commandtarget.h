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

} // namespace nimbrel
