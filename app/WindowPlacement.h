#pragma once
// Where the main window first shows on the screen.

class QWidget;

// Shows the window with its whole frame, title bar included, centred in the primary screen's
// available area. The frame's size is known only once the window manager has framed the shown
// window: it is placed by its own size first and moved again as soon as its frame is known.
void ShowCentred(QWidget* window);
