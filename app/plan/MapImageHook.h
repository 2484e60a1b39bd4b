#pragma once
// The main window's map image ("Salvar Como...", Ctrl+S): its save dialog
// "Salvar Mapa como Imagem" (bitmap, enhanced and Windows metafile, JPEG,
// all files; "jpg" by default) and the save itself, which belong to the
// image-save unit. These two functions are the window's only ties to it.
#include <memory>

class QFileDialog;
class QWidget;
class TDrawing;
class TkoviFormWait;

// The dialog, owned by the caller; nullptr while the program cannot save
// images (the window then keeps the action disabled).
std::unique_ptr<QFileDialog> MakeMapImageDialog(QWidget* parent);
// Runs the dialog and saves what the view shows in the chosen format,
// with the wait box.
void SaveMainMapImage(QWidget* parent, TDrawing& view, QFileDialog& dialog, TkoviFormWait& wait);
