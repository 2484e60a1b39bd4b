#pragma once
// Pictures of any format the program shows (photographs, orthophotos,
// images placed on the map): JPEG through the JPEG decoder, scaled in the
// decoder; other formats through Qt's readers, scaled while read.
#include <QImage>
#include <QSize>
#include <QString>

// The largest picture (in pixels, after any scaling) the program decodes.
inline constexpr long long kMaxPicturePixels = 100'000'000;

// Reads the picture of the file, scaled to cover fitInto when that is
// valid (keeping its aspect ratio), else at full size. Raises EFileError
// when the file cannot be read or is no picture, EJpegError when a JPEG
// is damaged, and EFileError when the picture would exceed
// kMaxPicturePixels.
QImage LoadPicture(const QString& file, QSize fitInto = QSize());
