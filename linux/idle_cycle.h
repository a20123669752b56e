// The idle start's cycle, apart from where idleness is learnt: wait for the seat to be idle,
// show the saver unless a screen locker holds the screen, and wait again once the show ends.
#pragma once

#include <functional>
#include <string>

// What a source of idleness says next. Idle comes once per stretch of idleness: the next one
// only after the user has been active again.
enum class IdleEvent {
    Idle,    // the seat has been idle for the time asked
    Active,  // input again after Idle
    Gone,    // the source went away (the desktop's session ended)
    Signal,  // a signal asks the program to end
};

class IdleSource {
public:
    virtual ~IdleSource() = default;
    // Waits for the next event.
    virtual IdleEvent Next() = 0;
    // The source's name, for what the program says of it.
    virtual const char* Name() const = 0;
};

struct IdleCycle {
    IdleSource* source = nullptr;
    // Whether a screen locker holds the screen now, as far as the desktop can tell.
    std::function<bool()> screenLocked;
    // Runs one show to its end; its exit status.
    std::function<int()> show;
};

// Runs until a signal (0), a show that fails (its status) or the source's end (1, with *error
// saying so).
int RunIdleCycle(const IdleCycle& cycle, std::string* error);
