#include "app/windowsystem.h"

bool ownTitleBarNeeded()
{
    return false; // the window manager draws every title bar
}

bool minimiseIsReported()
{
    return true;
}
