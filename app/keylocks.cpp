#include "app/keylocks.h"

#include <QGuiApplication>

#if defined(NIMBREL_HAVE_X11) && QT_CONFIG(xcb)
// X11's macros (None, Bool, Status, ...) clash with Qt: its headers come last.
#include <X11/XKBlib.h>
#define NIMBREL_LOCKS_X11 1
#endif

namespace nimbrel {

LockState ReadLockState() {
    LockState s;
#ifdef NIMBREL_LOCKS_X11
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    Display* display = x11 != nullptr ? x11->display() : nullptr;
    if (display == nullptr) return s;
    static const Atom caps = XInternAtom(display, "Caps Lock", False);
    static const Atom num = XInternAtom(display, "Num Lock", False);
    static const Atom scroll = XInternAtom(display, "Scroll Lock", False);
    auto on = [display](Atom name, bool& out) {
        int state = 0;
        if (XkbGetNamedIndicator(display, name, nullptr, &state, nullptr, nullptr) == 0) {
            return false;
        }
        out = state != 0;
        return true;
    };
    s.known = on(caps, s.caps) && on(num, s.num) && on(scroll, s.scroll);
#endif
    return s;
}

} // namespace nimbrel
