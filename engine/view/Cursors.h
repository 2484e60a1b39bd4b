#pragma once
// The engine's tool cursors: a table of screen cursors by number (1 to 11
// for the commands, 201 to 210 for the drawing entities), loaded from the
// cursor files that ship beside the program.
#include <QCursor>
#include <QString>
#include <optional>

// The cursor file of a number ("SELECT.cur" for 1...); empty for a number
// that has no file (204 and any other).
QString ToolCursorFileName(int number);
// Every number with a cursor file, in table order.
const std::vector<int>& ToolCursorNumbers();

// The folder the cursor files are looked up in: "cursors" beside the
// program, else "cursors" in the current directory.
QString ToolCursorFolder();

// Loads every cursor file of the table from the folder into the cursor
// table; a missing or unreadable file leaves its number without an image.
// Returns how many were loaded. Needs a QGuiApplication.
int LoadToolCursors(const QString& folder);

// The cursor loaded for a number; none when it has no image (the caller
// then shows the arrow).
std::optional<QCursor> ToolCursor(int number);
