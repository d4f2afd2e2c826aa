// The program's table of screen cursors: numbered cursors registered once
// at window creation and looked up by number wherever a cursor is set.
#pragma once

#include <QCursor>

namespace kadrimex::ui {

// Numbers of the hand tool's cursors.
inline constexpr int crHandOpen = 5;
inline constexpr int crHandClosed = 6;

// Loads a cursor picture from the program's resources
// (":/cursors/<name>.png", or "<name>@2x.png" on a high-density screen)
// with its hot spot and registers it under `number`. Returns false (and registers nothing) when the picture is
// missing.
bool RegisterCursor(int number, const char* name, QPoint hotSpot);
// The cursor registered under `number`; the arrow for an unknown number.
QCursor ScreenCursor(int number);

}  // namespace kadrimex::ui
