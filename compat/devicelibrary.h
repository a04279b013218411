#ifndef BRELO_DEVICELIBRARY_H
#define BRELO_DEVICELIBRARY_H

// Call once the application object exists, before any window. False when the device library cannot
// be used: the user has been told why in a box titled "提示" and in the debug output, and the program
// must end without calling it. On Windows the library is a delayed import, loaded here; elsewhere the
// dynamic loader has already loaded it, or named it when it could not.
bool loadDeviceLibrary();

#endif // BRELO_DEVICELIBRARY_H
