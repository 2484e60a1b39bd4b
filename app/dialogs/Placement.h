#pragma once
// Where the viewer's own windows appear and how they answer: the record
// and text windows belong to the main window (the window manager keeps
// them above it, also after a click on the map or a search), every such
// window opens wholly on the screen, over the window it belongs to, and
// Escape closes it as it closes a dialog; hints stay as long as asked, in
// every window, also in those made later.
#include <Qt>

class QWidget;

// The flags of a window that belongs to its owner: a dialog-kind window
// (kept above the owner) with a title, the system menu, and the minimise,
// maximise and close buttons of a window of its own. Without an owner, a
// plain window.
Qt::WindowFlags OwnedWindowFlags(const QWidget* owner);

// Places the window when it is first shown: centred over its owner's
// window (else over the active window, else the screen), shifted off a
// window of the same owner already standing there, and made to fit
// wholly, frame included, in the screen's available area (smaller when it
// is larger than that area). Later showings keep where the user left it.
void PlaceOnFirstShow(QWidget& window);
// The same, now.
void PlaceOnScreen(QWidget& window);

// Escape closes the window (as it closes a dialog).
void CloseOnEscape(QWidget& window);

// Every hint of the application, in the windows made so far and in those
// made later, stays that long (milliseconds) unless its control sets its
// own time.
void SetHintHidePause(int milliseconds);
