#include "app/KeyIndicators.h"

#include <QGuiApplication>

#ifdef TVX_HAVE_X11
// The X11 headers define macros that clash with Qt's names; they come last.
#include <X11/XKBlib.h>
#endif

KeyLockState QueryKeyLocks() {
    KeyLockState state;
#ifdef TVX_HAVE_X11
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    Display* display = x11 != nullptr ? x11->display() : nullptr;
    if (display == nullptr)
        return state;
    auto lit = [display](const char* name) {
        Bool on = False;
        const Atom atom = XInternAtom(display, name, True);
        return atom != 0 && XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr) &&
               on;
    };
    state.capsLock = lit("Caps Lock");
    state.numLock = lit("Num Lock");
    state.scrollLock = lit("Scroll Lock");
#endif
    return state;
}
