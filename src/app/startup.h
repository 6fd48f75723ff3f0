#pragma once

class QApplication;

// Refuses a second copy, otherwise builds the main window, loads and shows it and runs the
// program until the window is unloaded. Returns the exit status.
int Main(QApplication &app);
