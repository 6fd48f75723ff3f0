#include "app/console.h"

#include <cstdio>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace {
bool attached = false;

bool goesSomewhere(DWORD which)
{
    const HANDLE handle = ::GetStdHandle(which);
    return handle && handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
}
} // namespace

void attachConsole()
{
    const bool out = goesSomewhere(STD_OUTPUT_HANDLE);
    const bool err = goesSomewhere(STD_ERROR_HANDLE);
    if ((out && err) || !::AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    attached = true;
    if (!out)
        std::freopen("CONOUT$", "w", stdout);
    if (!err)
        std::freopen("CONOUT$", "w", stderr);
}

void detachFromTerminal()
{
    // A process attached to a console is ended when that console closes.
    if (attached && ::FreeConsole())
        attached = false;
}
