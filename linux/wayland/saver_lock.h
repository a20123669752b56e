// One saver at a time on a Wayland display: an idle daemon that starts a second one while the
// first runs (its timeouts do not wait for the saver to end) must not stack a saver that the
// dismissing key leaves running on top or underneath.
#pragma once

enum class SaverLock {
    Taken,   // this process is the display's saver until it exits
    Held,    // another saver runs on this display
    Unknown, // no place for the lock: the saver runs without one
};

// A lock in XDG_RUNTIME_DIR named after the display, held on an open file, so that it goes
// with the process however that ends.
SaverLock TakeSaverLock(const char* runtimeDir, const char* waylandDisplay);
// Lets the saver's lock go once its show has ended, for a program that shows again later.
void ReleaseSaverLock();

// The same for the one idle start (--idle) that waits on a display: apart from the saver's own
// lock, which each show it starts takes.
SaverLock TakeIdleLock(const char* runtimeDir, const char* waylandDisplay);
