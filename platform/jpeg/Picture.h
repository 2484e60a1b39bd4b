#pragma once
// Pictures of any format the program shows (photographs, orthophotos,
// images placed on the map): JPEG through the JPEG decoder, scaled in the
// decoder; other formats through Qt's readers, scaled while read.
#include <QImage>
#include <QSize>
#include <QString>

// The largest picture (in pixels, after any scaling) the program decodes.
// A format read at full size before it is scaled (every one but baseline
// JPEG) counts at its full size.
inline constexpr long long kMaxPicturePixels = 100'000'000;

// What a picture file's header tells, read without decoding the picture.
struct TPictureInfo {
    QSize Size;                    // full size, upright
    bool Jpeg = false;
    // The decoder makes 1/2, 1/4 and 1/8 pictures without holding the
    // full one (baseline JPEG); other pictures are read whole and scaled.
    bool ScalesInDecoder = false;

    // The scale (1, 2, 4 or 8: the picture at 1/scale, sides rounded up)
    // with the fewest pixels that still covers fitInto (invalid: 1).
    int ScaleFor(QSize fitInto) const;
    // The pixels held while the picture is read at 1/scale.
    long long DecodePixels(int scale) const;
};

// The header of a picture file. Raises EFileError when the file cannot be
// read or holds no picture, EJpegError when a JPEG header is damaged.
TPictureInfo ReadPictureInfo(const QString& file);

// Reads the picture of the file, scaled down to cover fitInto when that
// is valid (keeping its aspect ratio; a JPEG by the decoder's nearest
// scale at or above it; never enlarged), else at full size. Raises
// EFileError when the file cannot be read or is no picture, EJpegError
// when a JPEG is damaged, and EFileError when the picture would exceed
// kMaxPicturePixels. With `damage` given, a damaged JPEG that can be read
// in part yields that part and *damage says what is wrong (see Jpeg.h).
QImage LoadPicture(const QString& file, QSize fitInto = QSize(), QString* damage = nullptr);
