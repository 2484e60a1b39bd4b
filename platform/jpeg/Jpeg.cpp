// Stand-in until the decoder over libjpeg-turbo is in: Qt's own reader.
#include "platform/jpeg/Jpeg.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

bool IsJpeg(const QByteArray& head) {
    return head.size() >= 3 && static_cast<unsigned char>(head[0]) == 0xFF &&
           static_cast<unsigned char>(head[1]) == 0xD8 && static_cast<unsigned char>(head[2]) == 0xFF;
}

TJpegInfo ReadJpegInfo(const QByteArray& data) {
    QBuffer buffer;
    buffer.setData(data);
    QImageReader reader(&buffer, "jpeg");
    const QSize size = reader.size();
    if (!size.isValid()) throw EJpegError(QStringLiteral("Not a JPEG picture"));
    TJpegInfo info;
    info.Width = size.width();
    info.Height = size.height();
    info.Components = 3;
    return info;
}

QImage DecodeJpeg(const QByteArray& data, QSize fitInto) {
    QBuffer buffer;
    buffer.setData(data);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoTransform(true);
    if (fitInto.isValid() && reader.size().isValid())
        reader.setScaledSize(reader.size().scaled(fitInto, Qt::KeepAspectRatioByExpanding));
    QImage image = reader.read();
    if (image.isNull()) throw EJpegError(reader.errorString());
    return image;
}

QImage DecodeJpegFile(const QString& file, QSize fitInto) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) throw EFileError(QStringLiteral("Cannot open file \"%1\"").arg(file));
    return DecodeJpeg(f.readAll(), fitInto);
}

QByteArray EncodeJpeg(const QImage& image, int quality) {
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    if (!writer.write(image)) throw EJpegError(writer.errorString());
    return out;
}

void SaveJpeg(const QImage& image, const QString& file, int quality) {
    const QByteArray bytes = EncodeJpeg(image, quality);
    QSaveFile f(file);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit())
        throw EFileError(QStringLiteral("Cannot write file \"%1\"").arg(file));
}
