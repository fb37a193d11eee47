#pragma once
// What the console shows, written by a thread of its own. A console window
// with a selection open (Windows' quick edit), a terminal stopped with Ctrl+S
// or a pipe nobody reads blocks every write to it: that thread waits then,
// never the tick, which goes on posting, logging and recording. Only the
// newest drawing of each kind waits to be written; those it replaced are
// never written, so the screen catches up at once when the console is free.
#include <functional>

namespace korvane {

enum class ScreenPart { Frame, Title, Progress };

// Hands the drawing to the console's thread, replacing one of the same part
// that has not been written yet; returns at once.
void showOnScreen(ScreenPart part, std::function<void()> draw);

// Waits until everything handed over has been written: for code that is
// about to write to the console itself (a dialogue, a closing message).
void settleScreen();

} // namespace korvane
