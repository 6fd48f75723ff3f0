#pragma once

// Defined once per OS in app/<os>/: makes what the program prints reach the terminal it was
// started from. A Windows program with windows has no console of its own; it borrows its
// parent's, unless its output already goes somewhere (a file, a pipe).
void attachConsole();
