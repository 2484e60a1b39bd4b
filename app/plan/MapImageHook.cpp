#include "app/plan/MapImageHook.h"

#include <QFileDialog>

// Bound to the image-save unit: MakeSaveDialog(parent, SaveMapaMain()) and
// SaveMapImage(parent, view, dialog, wait).
std::unique_ptr<QFileDialog> MakeMapImageDialog(QWidget*) { return nullptr; }

void SaveMainMapImage(QWidget*, TDrawing&, QFileDialog&, TkoviFormWait&) {}
