#include "linux/wayland/saver_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

namespace {

int saverLockFd = -1;

SaverLock TakeDisplayLock(const char* runtimeDir, const char* waylandDisplay, const char* suffix, int* held) {
    if (runtimeDir == nullptr || runtimeDir[0] != '/') {
        return SaverLock::Unknown;
    }
    // libwayland's own default when the variable is unset; a path's slashes cannot be in a name.
    std::string display = waylandDisplay != nullptr && waylandDisplay[0] != '\0' ? waylandDisplay : "wayland-0";
    for (char& c : display) {
        c = c == '/' ? '_' : c;
    }
    std::string path = std::string(runtimeDir) + "/rolvanta-" + display + suffix;
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return SaverLock::Unknown;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        bool held = errno == EWOULDBLOCK;
        close(fd);
        return held ? SaverLock::Held : SaverLock::Unknown;
    }
    // Left open on purpose: the lock lasts as long as the process, or until it is let go.
    *held = fd;
    return SaverLock::Taken;
}

}  // namespace

SaverLock TakeSaverLock(const char* runtimeDir, const char* waylandDisplay) {
    return TakeDisplayLock(runtimeDir, waylandDisplay, ".lock", &saverLockFd);
}

void ReleaseSaverLock() {
    if (saverLockFd >= 0) {
        close(saverLockFd);
        saverLockFd = -1;
    }
}

SaverLock TakeIdleLock(const char* runtimeDir, const char* waylandDisplay) {
    int fd = -1;
    return TakeDisplayLock(runtimeDir, waylandDisplay, ".idle.lock", &fd);
}
