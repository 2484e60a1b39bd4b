#include "platform/jpeg/Picture.h"

#include <QFile>
#include <QImageReader>

#include "engine/core/Errors.h"
#include "platform/jpeg/Jpeg.h"

QImage LoadPicture(const QString& file, QSize fitInto) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) throw EFileError(QStringLiteral("Cannot open file \"%1\"").arg(file));
    if (IsJpeg(f.peek(3))) return DecodeJpeg(f.readAll(), fitInto);
    QImageReader reader(&f);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (fitInto.isValid() && size.isValid()) reader.setScaledSize(size.scaled(fitInto, Qt::KeepAspectRatioByExpanding));
    QImage image = reader.read();
    if (image.isNull()) throw EFileError(QStringLiteral("\"%1\" is not a picture: %2").arg(file, reader.errorString()));
    return image;
}
