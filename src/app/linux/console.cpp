#include "app/console.h"

#include <csignal>

void attachConsole() {}

void detachFromTerminal()
{
    std::signal(SIGHUP, SIG_IGN);
    // Output to a pipe whose reader is gone is dropped rather than ending the program.
    std::signal(SIGPIPE, SIG_IGN);
}
