// Test hook of the real-input GUI test (tests/app/RealInputTest.cpp), off
// unless the environment sets KADRIMEX_TEST_PROBE. The editor then prints on
// standard output, one line each: "window ID" (the main window's X window)
// and "geometry NAME X Y WIDTH HEIGHT" (screen rectangle of each visible
// named widget of the main window) whenever the window is shown, moved or
// resized, "status TEXT" for every status text it sets, "picture CLASS WIDTH
// HEIGHT HASH" (a hash of the displayed picture's bytes) whenever the
// picture changes, and "undo on|off redo on|off" whenever the two items'
// state is set; the view adds "zoom TEXT WIDTH HEIGHT" (the box's text and
// the shown size in device pixels) at every zoom, "readout TEXT" when the
// pixel readout changes, "copy on|off paste on|off" and "histogram levels
// R G B mean R G B" (see MainForm_View.cpp). It changes nothing else.
#pragma once

#include <QString>

class QWidget;
namespace kadrimex {
class TPicture;
}

// True when KADRIMEX_TEST_PROBE is set (read once).
bool TestProbeOn();

// Prints `line` on standard output when the probe is on, nothing otherwise.
void TestProbe(const QString& line);

// "picture CLASS WIDTH HEIGHT HASH" of `picture` when the probe is on; the
// hash is not computed otherwise.
void ProbePicture(const kadrimex::TPicture& picture);

// When the probe is on, reports "window ID" and the "geometry" lines of
// `window` after each show, move and resize (once the event is handled, so
// the rectangles are the new ones). Does nothing when it is off.
void WatchGeometry(QWidget* window);
