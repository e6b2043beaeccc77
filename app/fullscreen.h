#pragma once

// Switches the current window to full screen. Where no window manager runs
// (a bare X server such as Xvfb), freeglut's fallback moves the window by
// minus its initial position, as though a decoration frame held it; the
// window is then put back at the screen's origin so that it covers the screen.
void enterFullScreen();
