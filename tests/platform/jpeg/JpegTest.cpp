// JPEG pictures against independent decoders and encoders: Pillow for
// colour, grey, CMYK, progressive and EXIF-oriented files made by cjpeg
// (or Pillow, for CMYK, which cjpeg cannot write); djpeg for scaled
// decoding; ImageMagick's PSNR for our encoding. Damaged files raise.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "platform/jpeg/Jpeg.h"
#include "platform/jpeg/Picture.h"

namespace {

// Runs a tool; its standard output, or a failure.
QByteArray RunTool(const QString& program, const QStringList& args, QByteArray* errors = nullptr) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << program.toStdString() << " did not finish";
        return {};
    }
    if (errors) *errors = p.readAllStandardError();
    else if (p.exitCode() != 0)
        ADD_FAILURE() << program.toStdString() << ": " << p.readAllStandardError().toStdString();
    return p.readAllStandardOutput();
}

QByteArray ReadAll(const QString& file) {
    QFile f(file);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << file.toStdString();
    return f.readAll();
}

void WriteAll(const QString& file, const QByteArray& bytes) {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// A photograph-like picture: smooth shading, edges and fine grain.
QImage Photo(int width, int height) {
    QImage img(width, height, QImage::Format_RGB32);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> grain(-12, 12);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int r = 128 + int(100 * std::sin(x * 0.05) * std::cos(y * 0.03)) + grain(rng);
            const int g = (x * 255) / width + grain(rng);
            const int b = ((x / 16 + y / 16) % 2 ? 200 : 60) + grain(rng);
            img.setPixel(x, y, qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255)));
        }
    return img;
}

// A map: white ground, filled parcels, roads and labels (the labels need
// the application's fonts).
QImage Map(int width, int height) {
    static int argc = 1;
    static char name[] = "platform-jpeg-test";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    Q_UNUSED(app);
    QImage img(width, height, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> px(0, width), py(0, height), c(80, 240);
    for (int i = 0; i < 60; ++i) {
        p.setBrush(QColor(c(rng), c(rng), c(rng)));
        p.setPen(QPen(Qt::darkGray, 1));
        const QPoint a(px(rng), py(rng));
        p.drawPolygon(QPolygon({a, a + QPoint(60, 10), a + QPoint(40, 70), a + QPoint(-10, 50)}));
    }
    p.setPen(QPen(QColor(200, 30, 30), 3));
    for (int i = 0; i < 30; ++i) p.drawLine(px(rng), py(rng), px(rng), py(rng));
    p.setPen(Qt::black);
    for (int i = 0; i < 40; ++i) p.drawText(px(rng), py(rng), QStringLiteral("Encosta %1").arg(i));
    return img;
}

// Pillow's decoding of each file, upright when `transpose`, as PPM files
// beside them. Pillow takes every CMYK file as inverted; a file named
// "plain-*" is plain CMYK, and its bands are inverted back.
void PillowDecode(const QStringList& files, bool transpose) {
    QStringList args{QStringLiteral("-c"),
                     QStringLiteral("import sys, os\nfrom PIL import Image, ImageOps, ImageChops\n"
                                    "for f in sys.argv[2:]:\n"
                                    "  im = Image.open(f)\n"
                                    "  if sys.argv[1] == '1': im = ImageOps.exif_transpose(im)\n"
                                    "  if os.path.basename(f).startswith('plain-'): im = ImageChops.invert(im)\n"
                                    "  im.convert('RGB').save(f + '.ppm')\n"),
                     transpose ? QStringLiteral("1") : QStringLiteral("0")};
    RunTool(QStringLiteral("/usr/bin/python3"), args + files);
}

// The largest difference of one channel between two pictures of one size.
int MaxDifference(const QImage& a, const QImage& b) {
    EXPECT_EQ(a.size(), b.size());
    if (a.size() != b.size()) return 255;
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    int worst = 0;
    for (int j = 0; j < x.height(); ++j)
        for (int i = 0; i < x.width(); ++i) {
            const QRgb p = x.pixel(i, j), q = y.pixel(i, j);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

// The segment bytes after the two-byte marker at the first `marker`.
qsizetype FindMarker(const QByteArray& jpeg, unsigned char marker) {
    for (qsizetype i = 2; i + 1 < jpeg.size(); ++i)
        if (uchar(jpeg[i]) == 0xFF && uchar(jpeg[i + 1]) == marker) return i;
    return -1;
}

// An APP1 EXIF block holding only the orientation tag (little-endian TIFF).
QByteArray ExifOrientation(int orientation) {
    QByteArray tiff("II*\0\x08\0\0\0", 8);
    tiff += QByteArray("\x01\0", 2);                             // one entry
    tiff += QByteArray("\x12\x01\x03\0\x01\0\0\0", 8);           // orientation, SHORT, 1
    tiff += char(orientation) + QByteArray(3, '\0');             // its value
    tiff += QByteArray(4, '\0');                                 // no next directory
    const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
    const int length = int(body.size()) + 2;
    return QByteArray("\xFF\xE1", 2) + char(length >> 8) + char(length & 0xFF) + body;
}

class Jpeg : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"cjpeg", "djpeg", "compare"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) GTEST_SKIP() << tool << " missing";
        ASSERT_TRUE(dir_.isValid());
    }
    QString Path(const QString& name) const { return dir_.filePath(name); }
    // cjpeg's file of a picture, with its options.
    QString Cjpeg(const QImage& image, const QString& name, const QStringList& options) {
        const QString ppm = Path(name + QStringLiteral(".src.ppm"));
        image.save(ppm, "PPM");
        RunTool(QStringLiteral("cjpeg"), options + QStringList{QStringLiteral("-outfile"), Path(name), ppm});
        return Path(name);
    }
    QTemporaryDir dir_;
};

}  // namespace

TEST_F(Jpeg, DecodesAsPillowDoes) {
    const QImage photo = Photo(203, 151);
    const QString colour = Cjpeg(photo, "colour.jpg", {"-quality", "90"});
    const QString full = Cjpeg(photo, "full.jpg", {"-quality", "95", "-sample", "1x1"});
    const QString grey = Cjpeg(photo, "grey.jpg", {"-grayscale"});
    const QString progressive = Cjpeg(photo, "progressive.jpg", {"-progressive", "-quality", "80"});
    const QString oddSampling = Cjpeg(photo, "odd.jpg", {"-sample", "2x2,1x2,1x1"});
    // Pillow writes CMYK as Adobe does, inverted, with an Adobe marker.
    // Written from inverted bands, the bytes are plain CMYK, and without
    // the marker they read as such.
    const QString cmyk = Path("cmyk.jpg"), plainCmyk = Path("plain-cmyk.jpg");
    RunTool(QStringLiteral("/usr/bin/python3"),
            {"-c",
             "import sys\nfrom PIL import Image, ImageChops\nim = Image.open(sys.argv[1]).convert('CMYK')\n"
             "im.save(sys.argv[2], quality=92)\nImageChops.invert(im).save(sys.argv[3], quality=92)",
             Path("colour.jpg.src.ppm"), cmyk, plainCmyk});
    QByteArray bytes = ReadAll(plainCmyk);
    const qsizetype adobe = FindMarker(bytes, 0xEE);
    ASSERT_GT(adobe, 0);
    WriteAll(plainCmyk, bytes.remove(adobe, 2 + (uchar(bytes[adobe + 2]) << 8 | uchar(bytes[adobe + 3]))));

    const QStringList files{colour, full, grey, progressive, oddSampling, cmyk, plainCmyk};
    PillowDecode(files, false);
    for (const QString& f : files) {
        SCOPED_TRACE(f.toStdString());
        const QImage ours = DecodeJpegFile(f);
        EXPECT_LE(MaxDifference(ours, QImage(f + ".ppm")), 2);
    }
    const TJpegInfo g = ReadJpegInfo(ReadAll(grey)), p = ReadJpegInfo(ReadAll(progressive)),
                    k = ReadJpegInfo(ReadAll(cmyk));
    EXPECT_EQ(g.Components, 1);
    EXPECT_EQ(DecodeJpegFile(grey).format(), QImage::Format_Grayscale8);
    EXPECT_TRUE(p.Progressive);
    EXPECT_EQ(p.Width, 203);
    EXPECT_EQ(k.Components, 4);
    EXPECT_TRUE(k.AdobeInverted);
    EXPECT_FALSE(ReadJpegInfo(ReadAll(plainCmyk)).AdobeInverted);
}

TEST_F(Jpeg, ScalesInTheDecoderAsDjpeg) {
    const QString file = Cjpeg(Photo(250, 170), "photo.jpg", {"-quality", "90"});
    RunTool(QStringLiteral("djpeg"), {"-scale", "1/4", "-ppm", "-outfile", Path("quarter.ppm"), file});
    const QImage quarter = DecodeJpegFile(file, QSize(60, 40));
    ASSERT_EQ(quarter.size(), QSize(63, 43));  // sides rounded up, as djpeg does
    EXPECT_EQ(MaxDifference(quarter, QImage(Path("quarter.ppm"))), 0);
    // The smallest scale that still covers the size asked for.
    EXPECT_EQ(DecodeJpegFile(file, QSize(64, 10)).size(), QSize(125, 85));
    EXPECT_EQ(DecodeJpegFile(file, QSize(1, 1)).size(), QSize(32, 22));
    EXPECT_EQ(DecodeJpegFile(file, QSize(300, 200)).size(), QSize(250, 170));
    EXPECT_EQ(LoadPicture(file, QSize(60, 40)).size(), QSize(63, 43));
}

TEST_F(Jpeg, EncodesAboveThirtyFiveDecibelsAtQualityNinety) {
    // Colour and grey large enough to be encoded in strips, with no whole
    // number of blocks; smaller, the other formats the encoder reads as
    // they are, and one converted first (a grey palette, encoded grey).
    const QImage map = Map(1601, 901), part = map.copy(0, 0, 640, 400);
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_RGB888, QImage::Format_Grayscale8,
                                  QImage::Format_Indexed8}) {
        SCOPED_TRACE(format);
        const QImage source = format == QImage::Format_RGB32       ? map
                              : format == QImage::Format_Grayscale8 ? map.convertToFormat(format)
                              : format == QImage::Format_RGB888     ? part.convertToFormat(format)
                                                                    : part.convertToFormat(QImage::Format_Grayscale8)
                                                                          .convertToFormat(QImage::Format_Indexed8);
        const QString png = Path("map.png"), jpg = Path("map.jpg");
        source.save(png);
        SaveJpeg(source, jpg, 90);
        QByteArray psnr;
        RunTool(QStringLiteral("compare"), {"-metric", "PSNR", png, jpg, "null:"}, &psnr);
        EXPECT_GT(psnr.trimmed().split(' ').first().toDouble(), 35.0) << psnr.toStdString();
        EXPECT_EQ(ReadJpegInfo(ReadAll(jpg)).Components,
                  format == QImage::Format_Grayscale8 || format == QImage::Format_Indexed8 ? 1 : 3);
        QByteArray warnings;
        RunTool(QStringLiteral("djpeg"), {"-outfile", Path("map.ppm"), jpg}, &warnings);
        EXPECT_TRUE(warnings.isEmpty()) << warnings.toStdString();
    }
    EXPECT_THROW(EncodeJpeg(QImage(), 90), EJpegError);
}

TEST_F(Jpeg, TurnsPicturesUprightByTheirOrientation) {
    const QByteArray plain = ReadAll(Cjpeg(Photo(48, 32), "plain.jpg", {"-quality", "95"}));
    QStringList files;
    for (int o = 1; o <= 8; ++o) {
        files << Path(QStringLiteral("o%1.jpg").arg(o));
        WriteAll(files.back(), plain.left(2) + ExifOrientation(o) + plain.mid(2));
    }
    PillowDecode(files, true);
    for (int o = 1; o <= 8; ++o) {
        SCOPED_TRACE(o);
        const QImage ours = DecodeJpegFile(files[o - 1]);
        EXPECT_EQ(ReadJpegInfo(ReadAll(files[o - 1])).Orientation, o);
        EXPECT_LE(MaxDifference(ours, QImage(files[o - 1] + ".ppm")), 2);
        // The scale is chosen for the upright picture.
        EXPECT_EQ(DecodeJpegFile(files[o - 1], o >= 5 ? QSize(8, 12) : QSize(12, 8)).size(),
                  o >= 5 ? QSize(8, 12) : QSize(12, 8));
    }
}

TEST_F(Jpeg, DamagedFilesRaiseOrGiveTheirReadPart) {
    const QImage photo = Photo(64, 48);
    for (const QStringList& options : {QStringList{"-quality", "90"}, QStringList{"-progressive"}}) {
        const QByteArray good = ReadAll(Cjpeg(photo, "damaged.jpg", options));
        const qsizetype scan = FindMarker(good, 0xDA);
        // Every prefix: an error, never a crash; cut inside the scans, the
        // lenient decoder gives the part read with what is wrong.
        for (qsizetype n = 0; n < good.size() - 2; ++n) {
            const QByteArray cut = good.left(n);
            EXPECT_THROW(DecodeJpeg(cut), EJpegError) << n;
            if (n > scan + 200) {
                QString damage;
                EXPECT_EQ(DecodeJpeg(cut, QSize(), &damage).size(), QSize(64, 48)) << n;
                EXPECT_FALSE(damage.isEmpty()) << n;
            }
        }
        // Changed bytes: a picture or an error.
        std::mt19937 rng(11);
        for (int i = 0; i < 3000; ++i) {
            QByteArray bad = good;
            bad[rng() % bad.size()] = char(rng());
            QString damage;
            try {
                DecodeJpeg(bad, QSize(16, 12), &damage);
                DecodeJpeg(bad);
            } catch (const EJpegError&) {
            }
        }
    }
    // A header announcing a picture beyond the bound is refused before
    // anything is decoded.
    QByteArray huge = ReadAll(Cjpeg(photo, "huge.jpg", {"-progressive"}));
    const qsizetype sof = FindMarker(huge, 0xC2);
    ASSERT_GT(sof, 0);
    huge[sof + 5] = huge[sof + 7] = char(0xEA);  // 60000 x 60000
    huge[sof + 6] = huge[sof + 8] = char(0x60);
    EXPECT_EQ(ReadJpegInfo(huge).Width, 60000);
    EXPECT_THROW(DecodeJpeg(huge, QSize(100, 100)), EJpegError);
    WriteAll(Path("huge.jpg"), huge);
    EXPECT_THROW(LoadPicture(Path("huge.jpg")), EFileError);
}

TEST_F(Jpeg, LoadsOtherFormatsScaledAndBounded) {
    const QString png = Path("sheet.png");
    Photo(300, 200).save(png);
    EXPECT_EQ(LoadPicture(png).size(), QSize(300, 200));
    EXPECT_EQ(LoadPicture(png, QSize(100, 100)).size(), QSize(150, 100));
    EXPECT_EQ(LoadPicture(png, QSize(900, 900)).size(), QSize(300, 200));  // never enlarged

    // A bitmap header announcing 12000 x 12000 pixels, without them.
    QByteArray bmp("BM", 2);
    auto put = [&bmp](quint32 v, int bytes) {
        for (int i = 0; i < bytes; ++i) bmp += char((v >> (8 * i)) & 0xFF);
    };
    put(54 + 16, 4), put(0, 4), put(54, 4), put(40, 4), put(12000, 4), put(12000, 4), put(1, 2), put(24, 2);
    put(0, 4), put(0, 4), put(2835, 4), put(2835, 4), put(0, 4), put(0, 4);
    bmp += QByteArray(16, '\0');
    WriteAll(Path("huge.bmp"), bmp);
    EXPECT_EQ(ReadPictureInfo(Path("huge.bmp")).Size, QSize(12000, 12000));
    EXPECT_THROW(LoadPicture(Path("huge.bmp"), QSize(100, 100)), EFileError);

    WriteAll(Path("text.jpg"), "not a picture");
    EXPECT_THROW(LoadPicture(Path("text.jpg")), EFileError);
    EXPECT_THROW(LoadPicture(Path("none.png")), EFileError);
}
