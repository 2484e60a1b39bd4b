#include "platform/jpeg/Jpeg.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <future>
#include <memory>
#include <system_error>
#include <vector>

#include <QFile>
#include <QSaveFile>
#include <QThread>
#include <QTransform>

#include <turbojpeg.h>

#include "platform/jpeg/Picture.h"

namespace {

// The largest JPEG file read whole into memory.
constexpr qint64 kMaxJpegFileBytes = qint64(1) << 30;
// Pictures from this size up are encoded in strips on up to this many
// threads.
constexpr long long kParallelEncodePixels = 1'000'000;
constexpr int kEncodeThreads = 4;

struct THandleCloser {
    void operator()(void* h) const { tjDestroy(h); }
};
using THandle = std::unique_ptr<void, THandleCloser>;

struct TBufferFree {
    void operator()(unsigned char* p) const { tjFree(p); }
};
using TJpegBuffer = std::unique_ptr<unsigned char, TBufferFree>;

THandle NewHandle(bool decompress) {
    THandle h(decompress ? tjInitDecompress() : tjInitCompress());
    if (!h) throw EJpegError(QStringLiteral("Not enough memory for the JPEG codec"));
    return h;
}

// libjpeg's message for the last failure, without TurboJPEG's
// "function(): " prefix.
QString LastError(void* h) {
    QString text = QString::fromLocal8Bit(tjGetErrorStr2(h));
    const int call = text.indexOf(QLatin1String("(): "));
    if (call > 0 && text.startsWith(QLatin1String("tj"))) text = text.mid(call + 4);
    return text;
}

const unsigned char* Bytes(const QByteArray& data) { return reinterpret_cast<const unsigned char*>(data.constData()); }

unsigned Get16(const unsigned char* p, bool bigEndian) {
    return bigEndian ? (p[0] << 8) | p[1] : p[0] | (p[1] << 8);
}

quint32 Get32(const unsigned char* p, bool bigEndian) {
    return bigEndian ? (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | p[3]
                     : p[0] | (p[1] << 8) | (p[2] << 16) | (quint32(p[3]) << 24);
}

// The orientation tag of the first directory of an EXIF block (the TIFF
// structure after "Exif\0\0"); 1 when there is none or it makes no sense.
int ExifOrientation(const unsigned char* tiff, qsizetype size) {
    if (size < 8) return 1;
    const bool big = tiff[0] == 'M' && tiff[1] == 'M';
    if (!big && !(tiff[0] == 'I' && tiff[1] == 'I')) return 1;
    if (Get16(tiff + 2, big) != 42) return 1;
    const quint32 ifd = Get32(tiff + 4, big);
    if (ifd > quint32(size - 2)) return 1;
    const unsigned count = Get16(tiff + ifd, big);
    for (unsigned i = 0; i < count; ++i) {
        const qsizetype entry = qsizetype(ifd) + 2 + 12 * qsizetype(i);
        if (entry + 12 > size) break;
        const unsigned char* e = tiff + entry;
        if (Get16(e, big) == 0x0112) {
            const unsigned v = Get16(e + 2, big) == 3 ? Get16(e + 8, big) : 0;  // SHORT
            return v >= 1 && v <= 8 ? int(v) : 1;
        }
    }
    return 1;
}

// What the marker segments before the first scan tell beyond what the
// decoder reports: the orientation, an Adobe marker, progressive coding.
// Stops quietly at anything malformed; the decoder judges the file.
void ScanMarkers(const QByteArray& data, TJpegInfo& info) {
    const unsigned char* p = Bytes(data);
    const qsizetype n = data.size();
    bool sawExif = false;
    qsizetype pos = 2;
    while (pos + 2 <= n && p[pos] == 0xFF) {
        const unsigned char m = p[pos + 1];
        if (m == 0xFF) {  // fill byte
            ++pos;
            continue;
        }
        pos += 2;
        if (m == 0x01 || (m >= 0xD0 && m <= 0xD8)) continue;  // markers without a length
        if (m == 0xD9 || m == 0xDA || pos + 2 > n) break;
        const qsizetype length = (p[pos] << 8) | p[pos + 1];
        if (length < 2 || pos + length > n) break;
        const unsigned char* seg = p + pos + 2;
        const qsizetype segSize = length - 2;
        if (m == 0xE1 && !sawExif && segSize >= 6 && std::memcmp(seg, "Exif\0\0", 6) == 0) {
            sawExif = true;
            info.Orientation = ExifOrientation(seg + 6, segSize - 6);
        } else if (m == 0xEE && segSize >= 12 && std::memcmp(seg, "Adobe", 5) == 0) {
            info.AdobeInverted = true;
        } else if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) {
            info.Progressive = m == 0xC2 || m == 0xC6 || m == 0xCA || m == 0xCE;
        }
        pos += length;
    }
}

TJpegInfo ReadInfo(void* h, const QByteArray& data) {
    if (!IsJpeg(data.left(3))) throw EJpegError(QStringLiteral("Not a JPEG picture"));
    int width = 0, height = 0, subsamp = -2, colorspace = -1;
    if (tjDecompressHeader3(h, Bytes(data), static_cast<unsigned long>(data.size()), &width, &height, &subsamp,
                            &colorspace) != 0) {
        // A header read whole whose sampling TurboJPEG has no name for
        // (say 2x2, 1x2, 1x1) decodes all the same.
        if (subsamp != -1 || colorspace < 0 || width < 1 || height < 1) throw EJpegError(LastError(h));
    }
    // Tables without a picture (also what a file cut in its header reads as).
    if (width < 1 || height < 1) throw EJpegError(QStringLiteral("The file holds no picture"));
    TJpegInfo info;
    info.Width = width;
    info.Height = height;
    info.Components = colorspace == TJCS_GRAY ? 1 : colorspace == TJCS_CMYK || colorspace == TJCS_YCCK ? 4 : 3;
    ScanMarkers(data, info);
    if (info.Components != 4) info.AdobeInverted = false;
    return info;
}

int ScaledSide(int side, int scale) { return (side + scale - 1) / scale; }

// CMYK (inverted: as Adobe writes it) into RGB, in place: both take four
// bytes a pixel.
void CmykToRgb(QImage& image, bool inverted) {
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const auto* cmyk = reinterpret_cast<const unsigned char*>(line);
        for (int x = 0; x < image.width(); ++x, cmyk += 4) {
            unsigned c = cmyk[0], m = cmyk[1], ye = cmyk[2], k = cmyk[3];
            if (!inverted) c = 255 - c, m = 255 - m, ye = 255 - ye, k = 255 - k;
            // (255 - C)(255 - K) / 255, rounded
            auto mul = [](unsigned a, unsigned b) {
                const unsigned t = a * b + 128;
                return ((t >> 8) + t) >> 8;
            };
            line[x] = qRgb(int(mul(c, k)), int(mul(m, k)), int(mul(ye, k)));
        }
    }
}

QImage Oriented(const QImage& image, int orientation) {
    switch (orientation) {
    case 2: return image.mirrored(true, false);
    case 3: return image.mirrored(true, true);
    case 4: return image.mirrored(false, true);
    case 5: return image.transformed(QTransform().rotate(90)).mirrored(true, false);
    case 6: return image.transformed(QTransform().rotate(90));
    case 7: return image.transformed(QTransform().rotate(90)).mirrored(false, true);
    case 8: return image.transformed(QTransform().rotate(270));
    default: return image;
    }
}

QByteArray ReadJpegFile(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) throw EFileError(QStringLiteral("Não foi possível abrir o arquivo \"%1\".").arg(file));
    if (f.size() > kMaxJpegFileBytes)
        throw EJpegError(QStringLiteral("\"%1\" is too large to be read (%2 bytes)").arg(file).arg(f.size()));
    QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw EFileError(QStringLiteral("Não foi possível ler o arquivo \"%1\": %2").arg(file, f.errorString()));
    return data;
}

// Where the encoder reads the image's rows, and how; `keep` holds a
// converted copy when the image's own format does not go straight in.
struct TEncodeSource {
    QImage keep;
    const unsigned char* bits = nullptr;
    int pitch = 0;
    int pixelFormat = TJPF_BGRX;
    bool grey = false;
};

TEncodeSource EncodeSource(const QImage& image) {
    constexpr bool little = Q_BYTE_ORDER == Q_LITTLE_ENDIAN;
    TEncodeSource s;
    QImage img = image;
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied: s.pixelFormat = little ? TJPF_BGRX : TJPF_XRGB; break;
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBA8888_Premultiplied: s.pixelFormat = TJPF_RGBX; break;
    case QImage::Format_RGB888: s.pixelFormat = TJPF_RGB; break;
    case QImage::Format_BGR888: s.pixelFormat = TJPF_BGR; break;
    case QImage::Format_Grayscale8: s.grey = true; break;
    default:
        s.grey = image.format() == QImage::Format_Grayscale16 || image.allGray();
        s.keep = image.convertToFormat(s.grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
        if (s.keep.isNull()) throw EJpegError(QStringLiteral("Not enough memory to encode the picture"));
        img = s.keep;
        if (!s.grey) s.pixelFormat = little ? TJPF_BGRX : TJPF_XRGB;
        break;
    }
    if (s.grey) s.pixelFormat = TJPF_GRAY;
    s.bits = img.constBits();
    s.pitch = int(img.bytesPerLine());
    return s;
}

// Rows of the source encoded as a JPEG of their own.
QByteArray EncodeRows(const TEncodeSource& src, int width, int y0, int rows, int subsamp, int quality) {
    THandle h = NewHandle(false);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const int rc = tjCompress2(h.get(), src.bits + qsizetype(y0) * src.pitch, width, src.pitch, rows, src.pixelFormat,
                               &out, &size, subsamp, quality, TJFLAG_ACCURATEDCT);
    const TJpegBuffer buffer(out);
    if (rc != 0) throw EJpegError(QStringLiteral("Cannot encode the picture: %1").arg(LastError(h.get())));
    return QByteArray(reinterpret_cast<const char*>(buffer.get()), qsizetype(size));
}

// Where the marker `marker` begins among the header segments of our own
// encoder's output, or -1.
qsizetype HeaderMarker(const QByteArray& jpeg, unsigned char marker) {
    const unsigned char* p = Bytes(jpeg);
    for (qsizetype pos = 2; pos + 4 <= jpeg.size() && p[pos] == 0xFF; pos += 2 + ((p[pos + 2] << 8) | p[pos + 3]))
        if (p[pos + 1] == marker) return pos;
    return -1;
}

// One JPEG of the strips, each a JPEG of its own encoded with the same
// tables, whose rows are whole MCU rows (but the last strip's): strip k's
// entropy-coded data becomes restart interval k of the whole, and the
// first strip's headers, with the whole height and the interval, head it.
QByteArray JoinStrips(const std::vector<QByteArray>& strips, int height, int mcusPerStrip) {
    QByteArray first = strips.front();
    const qsizetype sof = HeaderMarker(first, 0xC0), sos = HeaderMarker(first, 0xDA);
    if (sof < 0 || sos < 0) throw EJpegError(QStringLiteral("Cannot encode the picture: unexpected encoder output"));
    first[sof + 5] = char(height >> 8);
    first[sof + 6] = char(height & 0xFF);
    QByteArray out = first.left(sos);
    out += QByteArray("\xFF\xDD\x00\x04", 4);
    out += char(mcusPerStrip >> 8);
    out += char(mcusPerStrip & 0xFF);
    qsizetype total = out.size();
    for (const QByteArray& s : strips) total += s.size();
    out.reserve(total);
    for (std::size_t k = 0; k < strips.size(); ++k) {
        const QByteArray& s = strips[k];
        const qsizetype at = k == 0 ? sos : HeaderMarker(s, 0xDA);
        if (at < 0 || !s.endsWith("\xFF\xD9"))
            throw EJpegError(QStringLiteral("Cannot encode the picture: unexpected encoder output"));
        // The scan header once, then each strip's data up to its end marker.
        const qsizetype data = at + 2 + ((uchar(s[at + 2]) << 8) | uchar(s[at + 3]));
        if (k == 0) out.append(s.constData() + at, data - at);
        else out += QByteArray::fromRawData("\xFF", 1) + char(0xD0 + (k - 1) % 8);
        out.append(s.constData() + data, s.size() - 2 - data);
    }
    out += QByteArray("\xFF\xD9", 2);
    return out;
}

QByteArray Encode(const QImage& image, int quality) {
    if (image.isNull()) throw EJpegError(QStringLiteral("No picture to encode"));
    const TEncodeSource src = EncodeSource(image);
    quality = std::clamp(quality, 1, 100);
    const int subsamp = src.grey ? TJSAMP_GRAY : quality >= 90 ? TJSAMP_444 : TJSAMP_420;
    const int width = image.width(), height = image.height();
    if (width > 65535 || height > 65535)
        throw EJpegError(QStringLiteral("A JPEG picture holds at most 65535 pixels a side, not %1 x %2").arg(width).arg(height));
    // A large picture is encoded in strips on several threads.
    const int mcuRows = (height + tjMCUHeight[subsamp] - 1) / tjMCUHeight[subsamp];
    const int mcusPerRow = (width + tjMCUWidth[subsamp] - 1) / tjMCUWidth[subsamp];
    const int threads = std::min({kEncodeThreads, QThread::idealThreadCount(), mcuRows / 8});
    if (1LL * width * height < kParallelEncodePixels || threads < 2)
        return EncodeRows(src, width, 0, height, subsamp, quality);
    const int stripMcuRows = std::min((mcuRows + threads - 1) / threads, 65535 / mcusPerRow);
    const int stripRows = stripMcuRows * tjMCUHeight[subsamp];
    const int count = (height + stripRows - 1) / stripRows;
    std::vector<QByteArray> strips(count);
    std::atomic<int> next{0};
    auto work = [&] {
        for (int k; (k = next++) < count;)
            strips[k] = EncodeRows(src, width, k * stripRows, std::min(stripRows, height - k * stripRows), subsamp,
                                   quality);
    };
    std::vector<std::future<void>> helpers;
    try {
        for (int t = 1; t < std::min(threads, count); ++t) helpers.push_back(std::async(std::launch::async, work));
    } catch (const std::system_error&) {
        // No more threads to be had: those started and this one do it all.
    }
    std::exception_ptr failure;
    try {
        work();
    } catch (...) {
        failure = std::current_exception();
    }
    for (auto& h : helpers) try {
            h.get();
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    if (failure) std::rethrow_exception(failure);
    return JoinStrips(strips, height, stripMcuRows * mcusPerRow);
}

}  // namespace

bool IsJpeg(const QByteArray& head) {
    return head.size() >= 3 && static_cast<unsigned char>(head[0]) == 0xFF &&
           static_cast<unsigned char>(head[1]) == 0xD8 && static_cast<unsigned char>(head[2]) == 0xFF;
}

TJpegInfo ReadJpegInfo(const QByteArray& data) {
    THandle h = NewHandle(true);
    return ReadInfo(h.get(), data);
}

int JpegScaleFor(const TJpegInfo& info, QSize fitInto) {
    if (!fitInto.isValid()) return 1;
    if (info.Orientation >= 5) fitInto.transpose();
    for (int scale : {8, 4, 2})
        if (ScaledSide(info.Width, scale) >= fitInto.width() && ScaledSide(info.Height, scale) >= fitInto.height())
            return scale;
    return 1;
}

long long JpegDecodePixels(const TJpegInfo& info, int scale) {
    const long long made = 1LL * ScaledSide(info.Width, scale) * ScaledSide(info.Height, scale);
    return info.Progressive ? std::max(made, 1LL * info.Width * info.Height) : made;
}

QImage DecodeJpeg(const QByteArray& data, QSize fitInto, QString* damage) {
    THandle h = NewHandle(true);
    const TJpegInfo info = ReadInfo(h.get(), data);
    const int scale = JpegScaleFor(info, fitInto);
    if (JpegDecodePixels(info, scale) > kMaxPicturePixels)
        throw EJpegError(QStringLiteral("The picture is too large (%1 x %2 pixels)").arg(info.Width).arg(info.Height));
    const int width = ScaledSide(info.Width, scale), height = ScaledSide(info.Height, scale);
    const bool grey = info.Components == 1, cmyk = info.Components == 4;
    QImage image(width, height, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (image.isNull()) throw EJpegError(QStringLiteral("Not enough memory for a picture of %1 x %2").arg(width).arg(height));
    const int pixelFormat = grey ? TJPF_GRAY : cmyk ? TJPF_CMYK : Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TJPF_BGRX : TJPF_XRGB;
    // Asked for exactly the size at 1/scale, TurboJPEG picks that scale.
    const int flags = TJFLAG_ACCURATEDCT | TJFLAG_LIMITSCANS | (damage ? 0 : TJFLAG_STOPONWARNING);
    if (tjDecompress2(h.get(), Bytes(data), static_cast<unsigned long>(data.size()), image.bits(), width,
                      int(image.bytesPerLine()), height, pixelFormat, flags) != 0) {
        const QString why = LastError(h.get());
        if (damage == nullptr || tjGetErrorCode(h.get()) != TJERR_WARNING) throw EJpegError(why);
        *damage = why;
    } else if (damage) {
        damage->clear();
    }
    if (cmyk) CmykToRgb(image, info.AdobeInverted);
    return Oriented(image, info.Orientation);
}

QImage DecodeJpegFile(const QString& file, QSize fitInto, QString* damage) {
    const QByteArray data = ReadJpegFile(file);
    try {
        return DecodeJpeg(data, fitInto, damage);
    } catch (const EJpegError& e) {
        throw EJpegError(QStringLiteral("\"%1\": %2").arg(file, e.Message()));
    }
}

QByteArray EncodeJpeg(const QImage& image, int quality) { return Encode(image, quality); }

void SaveJpeg(const QImage& image, const QString& file, int quality) {
    const QByteArray bytes = Encode(image, quality);
    QSaveFile f(file);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit())
        throw EFileError(QStringLiteral("Não foi possível gravar o arquivo \"%1\".").arg(file));
}
