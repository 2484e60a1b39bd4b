#pragma once
// The engine's start-up: the class registry, the tool cursors and the
// clipboard layer. Call StartEngine once, after the QApplication exists;
// the clipboard layer and its lock go away when the application ends
// (or at StopEngine).
#include <QString>

class TLayer;

// The clipboard layer's file name.
inline constexpr const char* kClipboardLayerName = "clipbrd.sig";

// Registers the engine's classes, loads the tool cursors from the folder
// beside the program (ToolCursorFolder) and makes the clipboard layer: an
// empty layer file "clipbrd.sig" in the user's data folder (replacing an
// earlier one), opened and in the edit state, which takes its lock file.
// A second call does nothing. A clipboard file that cannot be written
// leaves the engine without a clipboard layer (ClipboardLayer() is null)
// and the reason in ClipboardError(). Returns the number of cursors loaded.
int StartEngine();
// Frees the clipboard layer, which deletes its lock file.
void StopEngine();

// The clipboard layer; nullptr before StartEngine or when it could not be
// made. Not owned by the caller.
TLayer* ClipboardLayer();
QString ClipboardError();
