// The language runtime starts a windowed program at WinMain.
#include "host/host.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandText, int showState) {
    return HostEntry(instance, previousInstance, commandText, showState);
}
