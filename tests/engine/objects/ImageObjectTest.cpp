// Image objects: pixel sizes kept in step with the corners, records by
// hand-made bytes, stored names resolved without losing their case, and
// the image drawn exactly over its map rectangle.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include "TestOwner.h"
#include "core/BinaryIO.h"
#include "core/Stream.h"
#include "core/TextLines.h"
#include "engine/objects/DrawContext.h"
#include "engine/objects/ImageObject.h"
#include "engine/objects/Point.h"
#include "platform/jpeg/PictureCache.h"

namespace {

std::string Key(std::uint64_t k) {
    std::string s(8, '\0');
    for (int i = 0; i < 8; ++i) s[i] = static_cast<char>((k >> (8 * i)) & 0xFF);
    return s;
}

// An image record: names, corners, sizes and the flag byte.
void WriteRecord(TStream& s, const QString& folder, const QString& name, std::uint8_t flag) {
    StreamWriteLine(s, u"IMAGEOBJECT");
    const std::string key = Key(3);
    s.Write(key.data(), key.size());
    StreamWriteLine(s, folder);
    StreamWriteLine(s, name);
    for (double v : {10.0, 20.0, 30.0, 40.0, 0.5, 0.25}) WriteDouble(s, v);
    WriteByte(s, flag);
    StreamWriteLine(s, u"EIMAGEOBJECT");
}

QImage FourColours() {
    QImage img(2, 2, QImage::Format_RGB32);
    img.setPixel(0, 0, qRgb(255, 0, 0));
    img.setPixel(1, 0, qRgb(0, 255, 0));
    img.setPixel(0, 1, qRgb(0, 0, 255));
    img.setPixel(1, 1, qRgb(255, 255, 0));
    return img;
}

// A bitmap file header announcing width x height pixels, without them.
QByteArray BitmapHeader(quint32 width, quint32 height) {
    QByteArray bmp("BM", 2);
    auto put = [&bmp](quint32 v, int bytes) {
        for (int i = 0; i < bytes; ++i) bmp += char((v >> (8 * i)) & 0xFF);
    };
    put(54 + 16, 4), put(0, 4), put(54, 4), put(40, 4), put(width, 4), put(height, 4), put(1, 2), put(24, 2);
    put(0, 4), put(0, 4), put(2835, 4), put(2835, 4), put(0, 4), put(0, 4);
    return bmp + QByteArray(16, '\0');
}

}  // namespace

TEST(ImageObject, PixelSizesFollowTheCorners) {
    QTemporaryDir dir;
    const QString file = dir.filePath("Orto.bmp");
    QImage(200, 100, QImage::Format_RGB32).save(file, "BMP");
    TImageObject o;
    EXPECT_EQ(o.UpperX(), 100);
    EXPECT_EQ(o.UpperY(), 100);
    o.LoadImage(file);
    EXPECT_EQ(o.ImageName(), "Orto.bmp");
    EXPECT_EQ(o.DatabaseName(), dir.path());
    o.UpperStretch().SetX(400);
    o.UpperStretch().SetY(100);
    EXPECT_EQ(o.XPixelSize(), 2);
    EXPECT_EQ(o.YPixelSize(), 1);
    o.SetKeepAspectRatio(true);
    EXPECT_EQ(o.XPixelSize(), 2);
    EXPECT_EQ(o.YPixelSize(), 2);
    EXPECT_EQ(o.UpperY(), 200);
    o.SetXPixelSize(3);
    EXPECT_EQ(o.UpperX(), 600);
    EXPECT_EQ(o.UpperY(), 300);
    o.SetKeepAspectRatio(false);
    o.SetXPixelSize(-5);
    EXPECT_EQ(o.StoredXPixelSize(), 0);

    EXPECT_THROW(o.LoadImage(dir.filePath("none.bmp")), EFileError);
    EXPECT_EQ(o.ImageName(), "Orto.bmp");
}

TEST(ImageObject, RecordsKeepNamesAndResolveThem) {
    RegisterImageObjectClass();
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("ortofotos");
    QImage(4, 3, QImage::Format_RGB32).save(dir.filePath("ortofotos/m01.bmp"), "BMP");
    const QString layer = dir.filePath("layer.sig");
    {
        // Stored as the original program wrote it: a Windows folder that
        // does not exist here and a name in other case.
        TFileStream f(layer, TFileStream::fmCreate);
        WriteRecord(f, "C:\\Plano\\ORTOFOTOS", "M01.BMP", 2);
        WriteRecord(f, "ortofotos", "missing.bmp", 1);
    }
    TFileStream f(layer, TFileStream::fmOpenRead);
    auto a = ReadObjectRecord(f);
    auto b = ReadObjectRecord(f);
    auto& img = dynamic_cast<TImageObject&>(*a);
    EXPECT_EQ(img.Id(), "00000000000000000003");
    EXPECT_EQ(img.DatabaseName(), "C:\\Plano\\ORTOFOTOS");
    EXPECT_EQ(img.ImageName(), "M01.BMP");
    ASSERT_TRUE(img.HasImage());
    EXPECT_EQ(img.Image().width(), 4);
    EXPECT_EQ(img.LowerX(), 10);
    EXPECT_EQ(img.UpperY(), 40);
    EXPECT_EQ(img.StoredXPixelSize(), 0.5);
    EXPECT_EQ(img.StoredYPixelSize(), 0.25);
    EXPECT_FALSE(img.KeepAspectRatio());  // a stored 2 is not True

    auto& missing = dynamic_cast<TImageObject&>(*b);
    EXPECT_FALSE(missing.HasImage());
    EXPECT_TRUE(missing.KeepAspectRatio());
    // A copy of an image whose file is missing is made without raising.
    std::unique_ptr<TVisualObject> copy;
    ASSERT_NO_THROW(copy = missing.Clone());
    auto& c = dynamic_cast<TImageObject&>(*copy);
    EXPECT_EQ(c.ImageName(), "missing.bmp");
    EXPECT_EQ(c.UpperX(), 30);
    EXPECT_EQ(c.StoredYPixelSize(), 0.25);

    // Written back, the bytes are those read.
    TMemoryStream out, want;
    WriteObjectRecord(missing, out);
    WriteRecord(want, "ortofotos", "missing.bmp", 1);
    EXPECT_EQ(out.ToString(), want.ToString());
}

TEST(ImageObject, DrawnExactlyOverItsMapRectangle) {
    QImage canvas(100, 100, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter p(&canvas);
    TLinearDrawContext dc(p, canvas.size(), 0, 100, 1);
    QTemporaryDir dir;
    const QString file = dir.filePath("four.bmp");
    FourColours().save(file, "BMP");
    TImageObject o;
    o.LoadImage(file);
    o.LowerStretch().SetX(20);
    o.LowerStretch().SetY(30);
    o.UpperStretch().SetX(60);
    o.UpperStretch().SetY(90);
    o.Redraw(dc);
    p.end();
    // Map (20, 90) is the top-left corner of pixel (20, 10); map (60, 30)
    // the bottom-right corner of pixel (59, 69).
    EXPECT_EQ(canvas.pixel(20, 10), qRgb(255, 0, 0));
    EXPECT_EQ(canvas.pixel(59, 10), qRgb(0, 255, 0));
    EXPECT_EQ(canvas.pixel(20, 69), qRgb(0, 0, 255));
    EXPECT_EQ(canvas.pixel(59, 69), qRgb(255, 255, 0));
    for (QPoint outside : {QPoint(19, 10), QPoint(20, 9), QPoint(60, 69), QPoint(59, 70)})
        EXPECT_EQ(canvas.pixel(outside), qRgb(255, 255, 255)) << outside.x() << "," << outside.y();

    // Without an image: a white placeholder outlined along the same edges.
    canvas.fill(Qt::gray);
    p.begin(&canvas);
    p.setPen(Qt::black);
    TImageObject empty;
    empty.LowerStretch().SetX(20);
    empty.LowerStretch().SetY(30);
    empty.UpperStretch().SetX(60);
    empty.UpperStretch().SetY(90);
    empty.Redraw(dc);
    p.end();
    EXPECT_EQ(canvas.pixel(20, 10), qRgb(0, 0, 0));
    EXPECT_EQ(canvas.pixel(59, 69), qRgb(0, 0, 0));
    EXPECT_EQ(canvas.pixel(40, 40), qRgb(255, 255, 255));
    EXPECT_EQ(canvas.pixel(60, 70), qRgb(160, 160, 164));
}

TEST(ImageObject, HitTestsMoveAndScale) {
    TImageObject o;  // (0, 0) - (100, 100)
    EXPECT_TRUE(o.InRect(0, 0, 100, 100));
    EXPECT_FALSE(o.InRect(1, 0, 100, 100));
    EXPECT_TRUE(o.CrossesRect(40, 40, 60, 60));   // wholly inside
    EXPECT_TRUE(o.CrossesRect(-10, -10, 200, 200)); // wholly around
    EXPECT_TRUE(o.CrossesRect(100, 100, 120, 120)); // a corner
    EXPECT_TRUE(o.CrossesRect(90, -20, 95, 120));   // a band across
    EXPECT_FALSE(o.CrossesRect(101, 0, 120, 100));
    o.Move(10, 20);
    EXPECT_EQ(o.LowerX(), 10);
    EXPECT_EQ(o.UpperY(), 120);
    o.Scale(2);
    EXPECT_EQ(o.LowerX(), -40);
    EXPECT_EQ(o.UpperX(), 160);
    o.Rotate(1);
    EXPECT_EQ(o.LowerX(), -40);

    TTestOwner owner;
    QImage canvas(200, 200, QImage::Format_RGB32);
    QPainter p(&canvas);
    TLinearDrawContext dc(p, canvas.size(), -50, 150, 1);
    owner.context = &dc;
    owner.Adopt(o);
    EXPECT_EQ(o.GetPixelWidth(), 204);
    EXPECT_EQ(o.GetPixelHeight(), 204);
}

TEST(ImageObject, RecordsNamingOneFileShareOneDecodeAtTheSizeDrawn) {
    RegisterImageObjectClass();
    QTemporaryDir dir;
    QImage picture(1600, 800, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    picture.save(dir.filePath("orto.png"));
    const QString layer = dir.filePath("layer.sig");
    {
        TFileStream f(layer, TFileStream::fmCreate);
        for (int i = 0; i < 40; ++i) WriteRecord(f, dir.path(), "orto.png", 0);
    }
    std::vector<std::unique_ptr<TVisualObject>> objects;
    TFileStream f(layer, TFileStream::fmOpenRead);
    for (int i = 0; i < 40; ++i) objects.push_back(ReadObjectRecord(f));
    const std::shared_ptr<TSharedPicture> shared = dynamic_cast<TImageObject&>(*objects[0]).Picture();
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->HeldPixels(), 0);  // nothing decoded before it is drawn

    // Each record's 20 x 20 map units drawn 100 x 100 pixels: all share
    // the eighth of the picture that covers that.
    QImage canvas(500, 500, QImage::Format_RGB32);
    QPainter p(&canvas);
    TLinearDrawContext small(p, canvas.size(), 0, 100, 0.2);
    for (auto& o : objects) {
        auto& img = dynamic_cast<TImageObject&>(*o);
        EXPECT_EQ(img.Picture(), shared);
        img.Redraw(small);
    }
    EXPECT_EQ(shared->HeldPixels(), 200 * 100);
    EXPECT_EQ(canvas.pixel(100, 350), QColor(Qt::darkGreen).rgb());
    // Drawn larger than the picture, one object takes it whole; a copy
    // shares it.
    TLinearDrawContext large(p, canvas.size(), 0, 100, 0.005);
    objects[0]->Redraw(large);
    auto copy = objects[0]->Clone();
    EXPECT_EQ(dynamic_cast<TImageObject&>(*copy).Picture(), shared);
    EXPECT_EQ(shared->HeldPixels(), 1600 * 800 + 200 * 100);
    p.end();

    objects.clear();
    copy.reset();
    EXPECT_EQ(shared.use_count(), 1);  // let go with the last object
}

TEST(ImageObject, PictureBeyondTheBoundIsRefusedWithAMessage) {
    RegisterImageObjectClass();
    QTemporaryDir dir;
    {
        QFile f(dir.filePath("huge.bmp"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(BitmapHeader(12000, 12000));  // 144 million pixels
    }
    TImageObject o;
    try {
        o.LoadImage(dir.filePath("huge.bmp"));
        ADD_FAILURE() << "an oversize picture was loaded";
    } catch (const EFileError& e) {
        EXPECT_TRUE(e.Message().contains("huge.bmp") && e.Message().contains("too large")) << e.what();
    }
    EXPECT_FALSE(o.HasImage());

    const QString layer = dir.filePath("layer.sig");
    {
        TFileStream f(layer, TFileStream::fmCreate);
        WriteRecord(f, dir.path(), "huge.bmp", 0);
    }
    TFileStream f(layer, TFileStream::fmOpenRead);
    auto read = ReadObjectRecord(f);
    auto& img = dynamic_cast<TImageObject&>(*read);
    EXPECT_FALSE(img.HasImage());
    EXPECT_TRUE(img.ImageError().contains("too large")) << img.ImageError().toStdString();
    EXPECT_EQ(img.ImageName(), "huge.bmp");
}
