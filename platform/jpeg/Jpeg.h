#pragma once
// JPEG pictures: decoding (scaled to the size shown) and encoding, over
// libjpeg-turbo's TurboJPEG interface (libjpeg's own error manager runs
// inside it; its failures come back here as return codes, never as a
// jump through our frames).
//
// Decoding scales in the decoder by 1/1, 1/2, 1/4 or 1/8: the smallest
// scale whose picture still covers the size asked for (after orientation),
// so a preview of a large photograph never decodes it at full size. The
// picture comes out upright (EXIF orientation applied); grey pictures come
// out as Grayscale8, colour and CMYK ones (plain, or inverted as Adobe
// writes them) as RGB32; progressive files are read.
//
// Errors: a damaged or truncated file raises EJpegError naming what is
// wrong. A caller that would rather show the part that was read passes
// `damage`: a file that libjpeg can carry on through (truncated data,
// corrupt entropy codes) then yields its picture, the unread part grey,
// and *damage says what is wrong; a file it cannot read still raises.
// Nothing is allocated beyond the picture's own size, which is checked
// against kMaxPicturePixels (Picture.h) before decoding.
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include "core/Errors.h"

class EJpegError : public EEngineError {
public:
    using EEngineError::EEngineError;
};

struct TJpegInfo {
    int Width = 0, Height = 0;  // as stored, before orientation
    int Components = 0;         // 1 grey, 3 colour, 4 CMYK
    bool Progressive = false;
    int Orientation = 1;        // EXIF orientation, 1..8
    bool AdobeInverted = false; // CMYK stored inverted (an Adobe marker)

    // The size the picture is shown at: orientations 5 to 8 swap the sides.
    QSize UprightSize() const { return Orientation >= 5 ? QSize(Height, Width) : QSize(Width, Height); }
};

// True when the bytes begin as a JPEG file does.
bool IsJpeg(const QByteArray& head);
// The header of a JPEG file in memory; raises EJpegError.
TJpegInfo ReadJpegInfo(const QByteArray& data);

// The decoder's scale (1, 2, 4 or 8: the picture is decoded at 1/scale)
// for showing the picture at fitInto (upright; invalid: full size).
int JpegScaleFor(const TJpegInfo& info, QSize fitInto);
// The pixels held while decoding at 1/scale: the picture made, and for a
// progressive file the whole stored picture (its coefficients are kept
// until the last scan).
long long JpegDecodePixels(const TJpegInfo& info, int scale);

// Decodes a JPEG file in memory or on disk. fitInto: the size the caller
// will show (invalid: full size). Raises EJpegError (EFileError when the
// file cannot be read); see above for `damage`.
QImage DecodeJpeg(const QByteArray& data, QSize fitInto = QSize(), QString* damage = nullptr);
QImage DecodeJpegFile(const QString& file, QSize fitInto = QSize(), QString* damage = nullptr);

// Encodes at a quality of 1..100 (values outside are clamped), with the
// colour planes subsampled 2x2 below quality 90 and kept whole from 90 up.
// RGB32, ARGB32, RGBX8888, RGBA8888, RGB888, BGR888 and Grayscale8
// scanlines go to the encoder as they are; other formats are converted
// first. Alpha is ignored; a side may be at most 65535 pixels. A picture
// of a million pixels or more is encoded in strips on several threads,
// joined by restart markers. SaveJpeg writes beside the file and renames
// over it, so a failed write leaves no partial file; raises EJpegError or
// EFileError.
QByteArray EncodeJpeg(const QImage& image, int quality);
void SaveJpeg(const QImage& image, const QString& file, int quality);
