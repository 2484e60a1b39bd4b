#pragma once
// The record side of the metafile device: what the paint engine asks a
// metafile to hold, in the GDI's terms and in device pixels. One writer
// per format (EMF, WMF), both over libuemf's record constructors.
#include <cstdint>
#include <memory>
#include <vector>

#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRgb>
#include <QSize>
#include <QString>

// GDI pen styles, brush styles and hatches (the values the formats store).
enum : int { kPsSolid = 0, kPsDash = 1, kPsDot = 2, kPsDashDot = 3, kPsDashDotDot = 4, kPsNull = 5 };
enum : int { kCapRound = 0, kCapSquare = 0x100, kCapFlat = 0x200, kJoinRound = 0, kJoinBevel = 0x1000, kJoinMiter = 0x2000 };
enum : int { kBsSolid = 0, kBsNull = 1, kBsHatched = 2, kBsPattern = 3 };
enum : int { kHsHorizontal = 0, kHsVertical = 1, kHsFDiagonal = 2, kHsBDiagonal = 3, kHsCross = 4, kHsDiagCross = 5 };

// A pen of width 0 or 1 is one device pixel wide (a cosmetic pen); a
// wider one is geometric and keeps its ends and joins.
struct TGdiPen {
    int Style = kPsSolid;
    int Width = 0;
    int Cap = kCapRound, Join = kJoinRound;
    QRgb Color = 0xff000000;
    friend bool operator==(const TGdiPen&, const TGdiPen&) = default;
};

struct TGdiBrush {
    int Style = kBsSolid;
    int Hatch = 0;
    QRgb Color = 0xffffffff;
    QImage Pattern;  // kBsPattern only
    friend bool operator==(const TGdiBrush& a, const TGdiBrush& b) {
        return a.Style == b.Style && a.Hatch == b.Hatch && a.Color == b.Color &&
               a.Pattern.cacheKey() == b.Pattern.cacheKey();
    }
};

struct TGdiFont {
    QString Face;
    int Height = 0;      // character height in pixels (the em), > 0
    int Escapement = 0;  // baseline angle, tenths of a degree counter-clockwise
    int Weight = 400;
    bool Italic = false, Underline = false, StrikeOut = false;
    friend bool operator==(const TGdiFont&, const TGdiFont&) = default;
};

// A 24-bit device-independent bitmap, bottom-up, rows padded to 4 bytes.
struct TDib {
    int Width = 0, Height = 0;
    QByteArray Pixels;
};
// Transparent pixels are laid on white.
TDib MakeDib(const QImage& image);

// One metafile's records. Handles are the format's object indices; the
// caller decides when objects are made, selected and deleted.
class TRecordWriter {
public:
    virtual ~TRecordWriter() = default;

    virtual std::uint32_t CreatePen(const TGdiPen& pen) = 0;
    virtual std::uint32_t CreateBrush(const TGdiBrush& brush) = 0;
    virtual std::uint32_t CreateFont(const TGdiFont& font) = 0;
    virtual void Select(std::uint32_t handle) = 0;
    virtual void Delete(std::uint32_t handle) = 0;
    virtual void SetTextColor(QRgb color) = 0;
    virtual void SetPolyFillMode(bool winding) = 0;
    virtual void SaveDC() = 0;
    // Back to the state of the last SaveDC.
    virtual void RestoreDC() = 0;
    virtual void IntersectClipRect(const QRect& box) = 0;

    virtual void Polygon(const std::vector<QPoint>& points) = 0;
    virtual void Polyline(const std::vector<QPoint>& points) = 0;
    // counts: the points of each part, in order.
    virtual void PolyPolygon(const std::vector<QPoint>& points, const std::vector<int>& counts) = 0;
    virtual void PolyPolyline(const std::vector<QPoint>& points, const std::vector<int>& counts) = 0;
    // Boxes as the GDI takes them: right and bottom exclusive.
    virtual void Ellipse(const QRect& box) = 0;
    virtual void Rectangle(const QRect& box) = 0;
    virtual void Pixel(QPoint at, QRgb color) = 0;
    // origin: the left end of the baseline; dx: the advance of each UTF-16
    // unit along the baseline.
    virtual void Text(QPoint origin, const QString& text, const std::vector<int>& dx) = 0;
    // The picture stretched over the box (left, top, width, height).
    virtual void Picture(const QRect& box, const TDib& dib) = 0;

    // The file so far, closed with the end record and its header's totals
    // filled in; the writer can go on recording.
    virtual QByteArray Data() const = 0;
};

std::unique_ptr<TRecordWriter> MakeEmfWriter(QSize size, const QString& creator, const QString& description);
std::unique_ptr<TRecordWriter> MakeWmfWriter(QSize size, const QString& creator, const QString& description);

// The metafile's resolution: logical units (pixels) per inch.
inline constexpr int kMetafileDpi = 96;
