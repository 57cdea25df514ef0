// State of the Caps Lock, Num Lock and Scroll Lock keys, where the display
// server lets the program read it (X11); `known` is false elsewhere.
#pragma once

namespace nimbrel {

struct LockState {
    bool known = false;
    bool caps = false;
    bool num = false;
    bool scroll = false;
};

LockState ReadLockState();

} // namespace nimbrel
