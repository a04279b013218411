#include "compat/devicelibrary.h"

bool loadDeviceLibrary()
{
    return true;
}
