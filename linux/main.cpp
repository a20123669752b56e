// rolvanta: the ride show as an XScreenSaver display module, or as a Wayland client where the
// session is Wayland's and nothing names an X11 target. Reads its options and hands them to
// the backend that draws, which runs until its window goes, input ends a saver or a signal
// ends it.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "linux/idle_start.h"
#include "linux/options.h"
#include "linux/wayland/wayland_client.h"
#include "linux/x11/x11_show.h"

namespace {

int signalPipe[2] = {-1, -1};
volatile sig_atomic_t signalled = 0;

void OnSignal(int) {
    int saved = errno;
    signalled = 1;
    if (signalPipe[1] >= 0) {
        ssize_t ignored = write(signalPipe[1], "x", 1);
        (void)ignored;
    }
    errno = saved;
}

bool InstallSignals() {
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    struct sigaction action;
    memset(&action, 0, sizeof(action));
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // Calls under way go on; the pipe wakes the frame loop's wait, and the flag is read
    // before every wait.
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // First of all: the daemon may end a module the moment it has started it.
    if (!InstallSignals()) {
        perror("rolvanta: pipe");
        return 1;
    }
    LinuxOptions options;
    std::string error;
    switch (ParseOptions(argc, argv, &options, &error)) {
    case OptionsResult::Help:
        fputs(UsageText(argv[0]).c_str(), stdout);
        return 0;
    case OptionsResult::Version:
        puts("rolvanta " ROLVANTA_VERSION);
        return 0;
    case OptionsResult::Usage:
        fprintf(stderr, "rolvanta: %s (rolvanta --help lists the options)\n", error.c_str());
        return 1;
    case OptionsResult::Run:
        break;
    }
    int status;
    if (options.idleMs != 0) {
        status = RunIdleStart(options, signalPipe[0], &signalled);
    } else if (SpeaksWayland(options, getenv("WAYLAND_DISPLAY"), getenv("XSCREENSAVER_WINDOW"))) {
        if (options.target == DrawTarget::WindowId) {
            fputs("rolvanta: --window-id names an X11 window, which a Wayland client cannot draw on\n", stderr);
            status = 1;
        } else {
            status = RunWaylandShow(options, signalPipe[0], &signalled);
        }
    } else {
        status = RunX11Show(options, signalPipe[0], &signalled);
    }
    close(signalPipe[0]);
    close(signalPipe[1]);
    return status;
}
