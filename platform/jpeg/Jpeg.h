#pragma once
// JPEG pictures: decoding (scaled to the size shown) and encoding.
//
// Decoding scales in the decoder by 1/1, 1/2, 1/4 or 1/8: the smallest
// scale whose picture still covers the size asked for (after orientation),
// so a preview of a large photograph never decodes it at full size. The
// picture comes out upright (EXIF orientation applied); grey, CMYK and
// progressive files are read.
//
// Errors: a damaged or truncated file raises EJpegError naming what is
// wrong; nothing is allocated beyond the picture's own (bounded) size.
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include "engine/core/Errors.h"

class EJpegError : public EEngineError {
public:
    using EEngineError::EEngineError;
};

struct TJpegInfo {
    int Width = 0, Height = 0;  // as stored, before orientation
    int Components = 0;         // 1 grey, 3 colour, 4 CMYK
    bool Progressive = false;
    int Orientation = 1;        // EXIF orientation, 1..8
};

// True when the bytes begin as a JPEG file does.
bool IsJpeg(const QByteArray& head);
// The header of a JPEG file in memory; raises EJpegError.
TJpegInfo ReadJpegInfo(const QByteArray& data);

// Decodes a JPEG file in memory or on disk. fitInto: the size the caller
// will show (invalid: full size). Raises EJpegError (EFileError when the
// file cannot be read).
QImage DecodeJpeg(const QByteArray& data, QSize fitInto = QSize());
QImage DecodeJpegFile(const QString& file, QSize fitInto = QSize());

// Encodes at a quality of 1..100. SaveJpeg writes beside the file and
// renames over it, so a failed write leaves no partial file; raises
// EJpegError or EFileError.
QByteArray EncodeJpeg(const QImage& image, int quality);
void SaveJpeg(const QImage& image, const QString& file, int quality);
