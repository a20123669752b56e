#include "linux/idle_cycle.h"

int RunIdleCycle(const IdleCycle& cycle, std::string* error) {
    for (;;) {
        switch (cycle.source->Next()) {
        case IdleEvent::Idle: {
            // A saver over a locker would outlast the unlock or hide the password prompt; the next
            // chance is the next stretch of idleness, after the user has unlocked.
            if (cycle.screenLocked()) {
                break;
            }
            int status = cycle.show();
            if (status != 0) {
                return status;
            }
            break;
        }
        case IdleEvent::Active:
            break;
        case IdleEvent::Gone:
            *error = std::string(cycle.source->Name()) + " went away";
            return 1;
        case IdleEvent::Signal:
            return 0;
        }
    }
}
