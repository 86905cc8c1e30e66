#pragma once
// The state of the keyboard's lock keys, for the status bar's indicators.

struct KeyLockState {
    bool capsLock = false;
    bool numLock = false;
    bool scrollLock = false;
};

// Reads the lock keys from the window system; all off where it cannot be read
// (a window system other than X11, or none).
KeyLockState QueryKeyLocks();
