// Input on the seat: any key, button, scroll, touch or real move of the pointer ends a saver;
// a window takes no notice.
#pragma once

#include "linux/wayland/client.h"

// Listens to the client's seat, and takes and gives back its devices as it gains and loses them.
void ListenToSeat(Client& client);
// The outputs changed: the compositor's next report of where the pointer is is not a move.
void RebasePointer(Client& client);
// Gives back the devices the seat had.
void ReleaseInput(Client& client);
// The show's first frame is on screen: the keyboard the seat has should be the saver's by now.
void NoteShown(Client& client);
