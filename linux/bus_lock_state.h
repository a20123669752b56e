// Whether a screen locker holds the screen, as the desktop says on the session bus: GNOME
// Shell's lock screen (org.gnome.ScreenSaver) and KDE's, which KWin runs itself
// (org.freedesktop.ScreenSaver). A Wayland client cannot ask sway 1.7 or cage: their lockers
// (swaylock's input inhibitor) can only be learnt by taking the seat's input, and
// ext-session-lock-v1 tells only the client that locks.
#pragma once

// True only where one of them answers that it is active; no bus or no answer is false.
bool ScreenLockedOnBus();
