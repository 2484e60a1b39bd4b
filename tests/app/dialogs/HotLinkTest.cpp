// The picture viewer: zooming in and out comes back to the start, the
// zoom stays within its bounds, and a printed picture keeps its proportions inside the printable area
// (measured by poppler's pdfimages on the printed PDF).
#include <QPrinter>
#include <QTemporaryDir>

#include "app/dialogs/HotLink.h"
#include "tests/app/dialogs/DialogTestUtil.h"

namespace {
QImage TestPicture(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    return image;
}

bool Within(QSize a, QSize b, int pixels) {
    return std::abs(a.width() - b.width()) <= pixels && std::abs(a.height() - b.height()) <= pixels;
}
}  // namespace

TEST(HotLink, ZoomInThenOutComesBackAndStaysBounded) {
    TestApp();
    TlibFormHotLink v;
    v.SetPicture(TestPicture(640, 480));
    v.show();
    const QSize fitted = v.PictureSize();
    EXPECT_EQ(fitted, v.ScrollHotlink()->maximumViewportSize());
    for (int n : {1, 3, 7, 12}) {
        for (int i = 0; i < n; ++i) v.ZoomIn();
        for (int i = 0; i < n; ++i) v.ZoomOut();
        EXPECT_TRUE(Within(v.PictureSize(), fitted, 1)) << n;
        for (int i = 0; i < n; ++i) v.ZoomOut();
        for (int i = 0; i < n; ++i) v.ZoomIn();
        EXPECT_TRUE(Within(v.PictureSize(), fitted, 1)) << n;
    }
    v.ActualSize();
    EXPECT_EQ(v.PictureSize(), QSize(640, 480));
    v.ZoomIn();
    EXPECT_EQ(v.PictureSize(), QSize(800, 600));
    v.ZoomOut();
    v.ZoomOut();
    EXPECT_EQ(v.PictureSize(), QSize(512, 384));

    for (int i = 0; i < 100; ++i) v.ZoomIn();
    EXPECT_LE(std::max(v.PictureSize().width(), v.PictureSize().height()), TlibFormHotLink::kMaxSide);
    EXPECT_GT(v.PictureSize().width() * 1.25, TlibFormHotLink::kMaxSide);
    for (int i = 0; i < 200; ++i) v.ZoomOut();
    EXPECT_GE(std::min(v.PictureSize().width(), v.PictureSize().height()), TlibFormHotLink::kMinSide);
    v.Fit();
    EXPECT_EQ(v.PictureSize(), fitted);
}

TEST(HotLink, PrintKeepsTheProportionsInsideThePrintableArea) {
    TestApp();
    REQUIRE_TOOL("pdfimages");
    TModalScope scope;
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("foto.pdf"));
    TlibFormHotLink v;
    v.Printer().setOutputFormat(QPrinter::PdfFormat);
    v.Printer().setOutputFileName(pdf);
    v.Printer().setResolution(300);
    v.SetPicture(TestPicture(900, 300));
    v.show();
    int asked = 0;
    ModalHooks().Modal = [&](QDialog&) { ++asked; return int(QDialog::Rejected); };
    v.Print();
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(QFile::exists(pdf));
    ModalHooks().Modal = [&](QDialog&) { ++asked; return int(QDialog::Accepted); };
    v.Print();
    ASSERT_TRUE(QFile::exists(pdf));
    // pdfimages -list: page num type width height color comp bpc enc interp
    // object ID x-ppi y-ppi size ratio
    const QStringList lines = OutputLines(RunTool(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}));
    ASSERT_EQ(lines.size(), 3);
    const QStringList cols = lines[2].simplified().split(u' ');
    ASSERT_GE(cols.size(), 14);
    EXPECT_EQ(cols[3].toInt(), 900);
    EXPECT_EQ(cols[4].toInt(), 300);
    const int xppi = cols[12].toInt(), yppi = cols[13].toInt();
    EXPECT_NEAR(xppi, yppi, 1);
    // The picture fills the printable width: 900 pixels over the width
    // of the paint area in inches.
    const QRectF area = v.Printer().pageLayout().paintRect(QPageLayout::Inch);
    EXPECT_NEAR(xppi, 900 / area.width(), 2);

    EXPECT_EQ(TlibFormHotLink::ProportionalRect(QSize(100, 400), QRect(10, 20, 300, 300)), QRect(10, 20, 75, 300));
    EXPECT_EQ(TlibFormHotLink::ProportionalRect(QSize(400, 100), QRect(0, 0, 300, 300)), QRect(0, 0, 300, 75));
}
