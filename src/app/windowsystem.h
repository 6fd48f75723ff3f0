#pragma once

// What the window system does for the program's windows, where it differs. Defined once per
// OS in app/<os>/; both need the application object.

// Whether the windows must draw their own title bar: on a Wayland compositor that leaves
// window decorations to the programs (GNOME, weston), Qt would draw one of its own that offers
// maximising, which these fixed-size windows do not have.
bool ownTitleBarNeeded();

// Whether the program learns that its window was minimised. A Wayland compositor does not say
// so: a window it minimised (from a task bar, say) still counts as shown.
bool minimiseIsReported();
