#ifndef BRELO_DEVICELIBRARY_H
#define BRELO_DEVICELIBRARY_H

// Called once the application object exists, before any window. Loads the device library and checks
// that it can be used; where it cannot, tells the user why in a box titled "提示", writes the same
// text to the debug output and returns false, and the program must then end without calling it.
// On Windows the library is a delayed import, loaded here; elsewhere the dynamic loader has already
// loaded it, or named it when it could not, so there this does nothing.
bool loadDeviceLibrary();

#endif // BRELO_DEVICELIBRARY_H
