#pragma once

// Defined once per OS in app/<os>/.

// Makes what the program prints reach the terminal it was started from. A Windows program
// with windows has no console of its own; it borrows its parent's, unless its output already
// goes somewhere (a file, a pipe).
void attachConsole();

// The copy that runs the window outlives the terminal it was started from: closing that
// terminal (SIGHUP, or a borrowed console's close) must not end it and its task.
void detachFromTerminal();
