#pragma once
// Metafiles: a paint device that records what a QPainter draws on it as
// an enhanced metafile (EMF) or a Windows metafile (WMF, with the
// placeable header), so that a picture drawn through the engine's one
// drawing path comes out as vector drawing that scales.
//
// The device measures size().width() x size().height() pixels at 96 per
// inch; a metafile's logical units are those pixels. What it records:
// polygons (with their fill rule), polylines, paths (flattened; rings of
// one path become one poly-polygon, so holes stay holes), ellipses and
// rectangles, points, text (font face, size, weight, italic, underline,
// strike-out and the baseline's rotation), pens (colour, width, dash
// style), brushes (solid, hatched, texture) and pictures (24-bit DIBs;
// transparent pixels are laid on white). Gradients fall back to their
// first colour; opacity, antialiasing and composition modes are not kept.
// A clip is kept as its bounding rectangle.
//
// The file carries a comment: in an EMF the header's description holds
// the creator text and the description, each followed by a zero character,
// with one more at the end; in a WMF both stand in one comment record.
//
// Ownership: the device owns its paint engine.
#include <memory>

#include <QByteArray>
#include <QPaintDevice>
#include <QSize>
#include <QString>

#include "core/Errors.h"

// A record could not be made (a picture too large for the format).
class EMetafileError : public EEngineError {
public:
    using EEngineError::EEngineError;
};

class TMetafileEngine;

class TMetafile : public QPaintDevice {
public:
    // enhanced: EMF, else WMF. The size is clamped to 1..32767 pixels.
    TMetafile(QSize size, bool enhanced, const QString& creator, const QString& description);
    ~TMetafile() override;
    TMetafile(const TMetafile&) = delete;
    TMetafile& operator=(const TMetafile&) = delete;

    QSize Size() const { return size_; }
    bool Enhanced() const { return enhanced_; }
    QString Creator() const { return creator_; }
    QString Description() const { return description_; }

    // The whole file: what was recorded so far, closed with the end
    // record. Raises EMetafileError while a painter is still active.
    QByteArray Data() const;
    // Writes Data() beside the file and renames it over it, so that a
    // failed write leaves no partial file. Raises EFileError (or
    // EMetafileError).
    void SaveToFile(const QString& file) const;

    QPaintEngine* paintEngine() const override;

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    QSize size_;
    bool enhanced_;
    QString creator_, description_;
    std::unique_ptr<TMetafileEngine> engine_;
};
