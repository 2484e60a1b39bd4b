#include "platform/jpeg/Picture.h"

#include <algorithm>

#include <QFile>
#include <QImageReader>

#include "core/Errors.h"
#include "platform/jpeg/Jpeg.h"

namespace {

// The header of a JPEG file lies in its first segments, but an EXIF block
// with a thumbnail may push it some way in.
constexpr qint64 kJpegHeadBytes = 256 * 1024;
// Nor is any sound header longer than this.
constexpr qint64 kJpegMaxHeadBytes = 16 * 1024 * 1024;

int ScaledSide(int side, int scale) { return (side + scale - 1) / scale; }

QString TooLarge(const QString& file, QSize size) {
    return QStringLiteral("\"%1\" is too large to be shown (%2 x %3 pixels)").arg(file).arg(size.width()).arg(size.height());
}

void OpenFile(QFile& f) {
    if (!f.open(QIODevice::ReadOnly)) throw EFileError(QStringLiteral("Cannot open file \"%1\"").arg(f.fileName()));
}

// Qt's reader over the file, upright, held to the pixel bound.
void Prepare(QImageReader& reader) {
    reader.setAutoTransform(true);
    reader.setAllocationLimit(int(kMaxPicturePixels * 4 / (1024 * 1024)) + 1);
}

bool Transposed(QImageReader& reader) { return reader.transformation() & QImageIOHandler::TransformationRotate90; }

QString NotAPicture(const QString& file, const QImageReader& reader) {
    return QStringLiteral("\"%1\" is not a picture: %2").arg(file, reader.errorString());
}

}  // namespace

int TPictureInfo::ScaleFor(QSize fitInto) const {
    if (!fitInto.isValid()) return 1;
    for (int scale : {8, 4, 2})
        if (ScaledSide(Size.width(), scale) >= fitInto.width() && ScaledSide(Size.height(), scale) >= fitInto.height())
            return scale;
    return 1;
}

long long TPictureInfo::DecodePixels(int scale) const {
    const long long full = 1LL * Size.width() * Size.height();
    return ScalesInDecoder ? 1LL * ScaledSide(Size.width(), scale) * ScaledSide(Size.height(), scale) : full;
}

TPictureInfo ReadPictureInfo(const QString& file) {
    QFile f(file);
    OpenFile(f);
    TPictureInfo info;
    if (IsJpeg(f.peek(3))) {
        QByteArray head = f.read(kJpegHeadBytes);
        TJpegInfo jpeg;
        try {
            try {
                jpeg = ReadJpegInfo(head);
            } catch (const EJpegError&) {
                if (f.atEnd()) throw;
                jpeg = ReadJpegInfo(head + f.read(kJpegMaxHeadBytes));
            }
        } catch (const EJpegError& e) {
            throw EJpegError(QStringLiteral("\"%1\": %2").arg(file, e.Message()));
        }
        info.Size = jpeg.UprightSize();
        info.Jpeg = true;
        info.ScalesInDecoder = !jpeg.Progressive;
        return info;
    }
    QImageReader reader(&f);
    Prepare(reader);
    QSize size = reader.size();
    if (size.isValid()) {
        info.Size = Transposed(reader) ? size.transposed() : size;
    } else {
        // A format that tells no size before it is read.
        const QImage image = reader.read();
        if (image.isNull()) throw EFileError(NotAPicture(file, reader));
        info.Size = image.size();
    }
    return info;
}

QImage LoadPicture(const QString& file, QSize fitInto, QString* damage) {
    const TPictureInfo info = ReadPictureInfo(file);
    if (info.DecodePixels(info.ScaleFor(fitInto)) > kMaxPicturePixels) throw EFileError(TooLarge(file, info.Size));
    if (info.Jpeg) return DecodeJpegFile(file, fitInto, damage);
    if (damage) damage->clear();

    QFile f(file);
    OpenFile(f);
    QImageReader reader(&f);
    Prepare(reader);
    const QSize stored = reader.size();
    if (fitInto.isValid() && stored.isValid()) {
        const bool transposed = Transposed(reader);
        const QSize upright = transposed ? stored.transposed() : stored;
        QSize target = upright.scaled(fitInto, Qt::KeepAspectRatioByExpanding).expandedTo(QSize(1, 1));
        if (target.width() < upright.width() && target.height() < upright.height())
            reader.setScaledSize(transposed ? target.transposed() : target);
    }
    QImage image = reader.read();
    if (image.isNull()) throw EFileError(NotAPicture(file, reader));
    if (1LL * image.width() * image.height() > kMaxPicturePixels) throw EFileError(TooLarge(file, image.size()));
    return image;
}
