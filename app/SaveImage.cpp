#include "app/SaveImage.h"

#include <optional>

#include <QBuffer>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QRegularExpression>

#include "app/dialogs/Modal.h"
#include "app/dialogs/SaveDialog.h"
#include "app/dialogs/WaitBox.h"
#include "core/Paths.h"
#include "core/Stream.h"
#include "engine/layers/Layer.h"
#include "engine/view/Drawing.h"
#include "platform/jpeg/Jpeg.h"
#include "platform/metafile/Metafile.h"

const char* const kMetafileCreator = "Metafile criado por GELK";

namespace {

// The JPEG image's own default quality, which the program keeps.
constexpr int kJpegQuality = 90;

const QString kBmp = QStringLiteral("Arquivos Bitmap (*.bmp)");
const QString kEmf = QStringLiteral("Arquivos Enhanced Metafile (*.emf)");
const QString kWmf = QStringLiteral("Arquivos Windows Metafile (*.wmf)");
const QString kJpg = QStringLiteral("Arquivos JPEG (*.jpg)");
const QString kDxf = QStringLiteral("Arquivos DXF (*.dxf)");
const QString kShp = QStringLiteral("Arquivos Shape (ArcView GIS) (*.shp)");
const QString kAll = QStringLiteral("Todos os Arquivos (*.*)");

// The extension in an entry's caption: "bmp" for "... (*.bmp)", "*" for
// "(*.*)".
QString FilterExtension(const QString& filter) {
    static const QRegularExpression pattern(QStringLiteral("\\(\\*\\.([^()]+)\\)\\s*$"));
    const auto m = pattern.match(filter);
    return m.hasMatch() ? m.captured(1).toLower() : QString();
}

TImageFormat FormatOfExtension(const QString& ext) {
    if (ext == QStringLiteral("bmp")) return TImageFormat::Bmp;
    if (ext == QStringLiteral("emf")) return TImageFormat::Emf;
    if (ext == QStringLiteral("wmf")) return TImageFormat::Wmf;
    if (ext == QStringLiteral("jpg") || ext == QStringLiteral("jpeg")) return TImageFormat::Jpeg;
    if (ext == QStringLiteral("dxf")) return TImageFormat::Dxf;
    if (ext == QStringLiteral("shp")) return TImageFormat::Shape;
    return TImageFormat::None;
}

// The picture extensions the entries offer, as ".bmp, .emf, ...".
QString OfferedExtensions(const QStringList& filters) {
    QStringList out;
    for (const QString& f : filters) {
        const QString ext = FilterExtension(f);
        switch (FormatOfExtension(ext)) {
        case TImageFormat::Bmp:
        case TImageFormat::Emf:
        case TImageFormat::Wmf:
        case TImageFormat::Jpeg: out << u'.' + ext; break;
        default: break;
        }
    }
    return out.join(QStringLiteral(", "));
}

QString ActiveCaption(const TDrawing& view) {
    return view.ActiveLayer() ? view.ActiveLayer()->Caption() : QString();
}

void WriteBytes(const QByteArray& bytes, const QString& file) {
    TAtomicFile out(file);
    out.Stream().Write(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    out.Commit();
}

void SaveBitmap(const QImage& picture, const QString& file) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    // 24 bits a pixel: what the BMP writer makes of an opaque RGB picture.
    QImageWriter writer(&buffer, "bmp");
    if (!writer.write(picture.convertToFormat(QImage::Format_RGB32)))
        throw EFileError(QStringLiteral("Não foi possível gravar o arquivo \"%1\". %2").arg(file, writer.errorString()));
    WriteBytes(bytes, file);
}

// Runs the write with the wait box shown; a failure closes the box and
// then says so.
template <class Write>
void WriteShown(QWidget* parent, std::optional<TWaitShown>& box, const QString& file, Write write) {
    QString failure;
    try {
        write();
        return;
    } catch (const EEngineError& e) {
        failure = e.Message();
    } catch (const std::exception& e) {
        failure = QString::fromLocal8Bit(e.what());
    }
    box.reset();
    ShowMessage(parent, QStringLiteral("Não foi possível salvar o arquivo %1.\n%2").arg(file, failure));
}

void RefuseUnknownFormat(QWidget* parent, const QString& file, const QStringList& filters) {
    ShowMessage(parent, QStringLiteral("O formato do arquivo %1 não é conhecido. Use uma das extensões %2.")
                            .arg(QFileInfo(file).fileName(), OfferedExtensions(filters)));
}

}  // namespace

const TSaveDialogSetup& SaveMapaGeneric() {
    static const TSaveDialogSetup setup{QStringLiteral("Salvar Mapa"), {kDxf, kBmp, kEmf, kWmf, kJpg, kAll},
                                      QStringLiteral("bmp"), QStringLiteral("*.bmp"), 2};
    return setup;
}

const TSaveDialogSetup& SaveCamadaGeneric() {
    static const TSaveDialogSetup setup{QStringLiteral("Salvar Camada Como..."), {kBmp, kEmf, kWmf, kShp, kDxf, kJpg, kAll},
                                      QStringLiteral("bmp"), QStringLiteral("*.bmp"), 1};
    return setup;
}

const TSaveDialogSetup& SaveMapaMain() {
    static const TSaveDialogSetup setup{QStringLiteral("Salvar Mapa como Imagem"), {kBmp, kEmf, kWmf, kJpg, kAll},
                                      QStringLiteral("jpg"), QStringLiteral("*.jpg"), 4};
    return setup;
}

std::unique_ptr<QFileDialog> MakeSaveDialog(QWidget* parent, const TSaveDialogSetup& setup) {
    auto dialog = std::make_unique<TSaveFileDialog>(parent, setup.Title);
    dialog->setNameFilters(setup.Filters);
    dialog->selectNameFilter(setup.Filters.value(setup.Entry - 1));
    dialog->setDefaultSuffix(setup.DefaultSuffix);
    dialog->selectFile(setup.FileName);
    QFileDialog* d = dialog.get();
    QObject::connect(d, &QFileDialog::filterSelected, d, [d](const QString& filter) {
        const QString ext = FilterExtension(filter);
        d->setDefaultSuffix(ext == QStringLiteral("*") ? QString() : ext);
    });
    return dialog;
}

TSaveChoice ResolveSaveChoice(const QString& file, const QString& filter, const QStringList& filters) {
    TSaveChoice choice;
    choice.File = file;
    // A known extension that the dialog offers decides.
    const TImageFormat typed = FormatOfExtension(QFileInfo(file).suffix().toLower());
    if (typed != TImageFormat::None)
        for (const QString& f : filters)
            if (FormatOfExtension(FilterExtension(f)) == typed) {
                choice.Format = typed;
                return choice;
            }
    // Else the chosen entry's format, its extension added.
    const QString ext = FilterExtension(filter);
    choice.Format = FormatOfExtension(ext);
    if (choice.Format != TImageFormat::None) choice.File = file + u'.' + ext;
    return choice;
}

QString MetafileDescription(const TDrawing& view) { return view.Author() + QStringLiteral(", ") + view.Organization(); }

void WritePicture(const QImage& picture, TImageFormat format, const QString& file, const QString& description) {
    switch (format) {
    case TImageFormat::Bmp: SaveBitmap(picture, file); break;
    case TImageFormat::Jpeg: SaveJpeg(picture, file, kJpegQuality); break;
    case TImageFormat::Emf:
    case TImageFormat::Wmf: {
        // The map as one picture.
        TMetafile metafile(picture.size(), format == TImageFormat::Emf, QString::fromUtf8(kMetafileCreator), description);
        {
            QPainter p(&metafile);
            p.drawImage(0, 0, picture);
        }
        metafile.SaveToFile(file);
        break;
    }
    default: break;
    }
}

void WriteLayerImage(TDrawing& view, TLayer& layer, TImageFormat format, const QString& file) {
    const QSize size(std::max(view.DrawWidth(), 1), std::max(view.DrawHeight(), 1));
    if (format == TImageFormat::Emf || format == TImageFormat::Wmf) {
        TMetafile metafile(size, format == TImageFormat::Emf, QString::fromUtf8(kMetafileCreator),
                           MetafileDescription(view));
        {
            QPainter p(&metafile);
            view.DrawLayerTo(p, layer);
        }
        metafile.SaveToFile(file);
        return;
    }
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(Qt::white);
    {
        QPainter p(&picture);
        view.DrawLayerTo(p, layer);
    }
    WritePicture(picture, format, file, QString());
}

void SaveMapImage(QWidget* parent, TDrawing& view, QFileDialog& dialog, TkoviFormWait& wait) {
    if (!view.DatabaseName().isEmpty()) dialog.setDirectory(view.DatabaseName());
    if (!view.DrawingName().isEmpty())
        dialog.selectFile(ChangeFileExt(view.DrawingName(), u'.' + dialog.defaultSuffix()));
    const QString chosen = RunFileDialog(dialog);
    if (chosen.isEmpty()) return;
    const TSaveChoice choice = ResolveSaveChoice(chosen, dialog.selectedNameFilter(), dialog.nameFilters());
    if (choice.Format == TImageFormat::None || choice.Format == TImageFormat::Shape) {
        RefuseUnknownFormat(parent, chosen, dialog.nameFilters());
        return;
    }
    // The view's own picture, drawn afresh: what the view shows, without
    // anything laid over it.
    view.Redraw();
    const QImage picture = view.Image().copy();
    std::optional<TWaitShown> box(std::in_place, wait, ActiveCaption(view), view.DrawingPath(), 6);
    if (choice.Format == TImageFormat::Dxf) {
        ShowMessage(parent, QStringLiteral("Esta versão não permite salvar mapas como DXF."));
        return;
    }
    WriteShown(parent, box, choice.File,
               [&] { WritePicture(picture, choice.Format, choice.File, MetafileDescription(view)); });
}

void SaveLayerImage(QWidget* parent, TDrawing& view, QFileDialog& dialog, TkoviFormWait& wait) {
    const QString chosen = RunFileDialog(dialog);
    TLayer* layer = view.ActiveLayer();
    if (chosen.isEmpty() || layer == nullptr) return;
    const TSaveChoice choice = ResolveSaveChoice(chosen, dialog.selectedNameFilter(), dialog.nameFilters());
    if (choice.Format == TImageFormat::None) {
        RefuseUnknownFormat(parent, chosen, dialog.nameFilters());
        return;
    }
    std::optional<TWaitShown> box(std::in_place, wait, layer->Caption(), choice.File, 9);
    if (choice.Format == TImageFormat::Shape) {
        ShowMessage(parent, QStringLiteral("Esta versão não permite salvar camadas como Shapefile."));
        return;
    }
    if (choice.Format == TImageFormat::Dxf) {
        ShowMessage(parent, QStringLiteral("Esta versão não permite salvar camadas como DXF."));
        return;
    }
    WriteShown(parent, box, choice.File, [&] { WriteLayerImage(view, *layer, choice.Format, choice.File); });
}
