// The outputs and the screens that cover them: one full-screen surface an output for a saver,
// or the window of -window, laid out at each one's scale, the show on one of them.
#pragma once

#include <stdint.h>

#include "linux/wayland/client.h"

// Gives the next output without a screen its screen, once every screen before is configured.
void CoverNext(Client& client);
// A screen on the output, or the window when output is null.
void NewScreen(Client& client, Output* output);
void DestroyScreen(Client& client, Screen* screen);
// The show goes to the first screen there is when it has none, and waits while there is none.
void PlaceShow(Client& client);
// The canvas's new drawing into a free buffer of the show's screen, and that to the compositor.
void Present(Client& client);
// An output the registry announced, and one it withdrew (false: no output of that name).
void AddOutput(Client& client, uint32_t name, wl_output* output);
bool RemoveOutput(Client& client, uint32_t name);
