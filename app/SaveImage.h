#pragma once
// Saving what a map view shows, or what one layer draws, as a picture: a
// Windows bitmap (24-bit BMP), an enhanced or Windows metafile (EMF, WMF)
// or a JPEG image, always at the view's size. The map image is the view's
// own off-screen picture (nothing laid over the view gets in); the layer
// image is the active layer drawn alone through the view's transform, on a
// white bitmap or, in a metafile, as vector drawing that scales.
//
// The save dialogs of the map windows come from here too, so that every
// window offers the formats alike. Which format is written: the one a
// known extension typed by the user names, else the chosen entry's, whose
// extension is then added to the name.
//
// Files are written beside their name and renamed over it: a write that
// fails says so and leaves no partial file.
#include <memory>

#include <QString>
#include <QStringList>

class QFileDialog;
class QImage;
class QWidget;
class TDrawing;
class TLayer;
class TkoviFormWait;

enum class TImageFormat { None, Bmp, Emf, Wmf, Jpeg, Dxf, Shape };

// A save dialog's set-up: title, filter entries in order, default
// extension, initial file name and initial entry (from 1).
struct TSaveDialogSetup {
    QString Title;
    QStringList Filters;
    QString DefaultSuffix;
    QString FileName;
    int Entry = 1;
};
// The generic window's map and layer dialogs, the plan's main window's map
// dialog.
const TSaveDialogSetup& SaveMapaGeneric();
const TSaveDialogSetup& SaveCamadaGeneric();
const TSaveDialogSetup& SaveMapaMain();

// A save dialog (asks before overwriting, wants an existing folder) set up
// as its window's save dialogs are; its default extension follows the
// chosen entry. Owned by the caller (and parented to parent).
std::unique_ptr<QFileDialog> MakeSaveDialog(QWidget* parent, const TSaveDialogSetup& setup);

// What a chosen name and entry come to: the format and the file to write.
// Format None: the entry is "Todos os Arquivos (*.*)" and the name has no
// extension the dialog offers.
struct TSaveChoice {
    TImageFormat Format = TImageFormat::None;
    QString File;
};
TSaveChoice ResolveSaveChoice(const QString& file, const QString& filter, const QStringList& filters);

// The creator text a metafile carries, and its description: the view's
// Author, ", ", Organization.
extern const char* const kMetafileCreator;
QString MetafileDescription(const TDrawing& view);

// Writes a picture in the format (Bmp, Jpeg, or a metafile holding the
// picture whole). Raises EEngineError.
void WritePicture(const QImage& picture, TImageFormat format, const QString& file, const QString& description);
// Writes the layer drawn alone at the view's size. Raises EEngineError.
void WriteLayerImage(TDrawing& view, TLayer& layer, TImageFormat format, const QString& file);

// The windows' operations: run the dialog, then save as chosen, with the
// wait box, the refusals and the messages. The map image presets the
// dialog's folder and name from the view's drawing file.
void SaveMapImage(QWidget* parent, TDrawing& view, QFileDialog& dialog, TkoviFormWait& wait);
void SaveLayerImage(QWidget* parent, TDrawing& view, QFileDialog& dialog, TkoviFormWait& wait);
