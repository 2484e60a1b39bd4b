// Windows-metafile records through libuemf's constructors: the placeable
// header (with its checksum), the standard header, and the records that
// follow. A WMF holds 16-bit coordinates and at most 65535 points per
// polygon or polyline, so figures that reach beyond are clipped to a box a
// little inside that range (far off any picture) and long chains split.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include <uwmf.h>

#include "core/Cp1252.h"
#include "platform/metafile/Metafile.h"
#include "platform/metafile/MetafileRecords.h"
#include "platform/metafile/UemfParts.h"

namespace {

// The placeable header's size, and offsets within it and the standard
// header that follows it.
constexpr int kPlaceable = 22, kHeader = 18;
constexpr int kBoxRight = 10, kBoxBottom = 12, kChecksum = 20;
constexpr int kSizeWords = kPlaceable + 6, kObjects = kPlaceable + 10, kMaxRecord = kPlaceable + 12;
constexpr uint16_t kEscapeComment = 0x000F;  // MFCOMMENT
constexpr int kLimit = 32000;                // the clip box, in pixels either way
constexpr std::size_t kMaxPoints = 65535;

U_COLORREF Ref(QRgb c) {
    return colorref3_set(static_cast<uint8_t>(qRed(c)), static_cast<uint8_t>(qGreen(c)),
                         static_cast<uint8_t>(qBlue(c)));
}

int16_t Clamp16(int v) { return static_cast<int16_t>(std::clamp(v, -kLimit, kLimit)); }

U_POINT16 Pt16(int x, int y) {
    U_POINT16 p;
    p.x = Clamp16(x);
    p.y = Clamp16(y);
    return p;
}

U_RECT16 Rect16(int left, int top, int right, int bottom) {
    U_RECT16 r;
    r.left = Clamp16(left);
    r.top = Clamp16(top);
    r.right = Clamp16(right);
    r.bottom = Clamp16(bottom);
    return r;
}

bool Inside(const QPoint& p) { return std::abs(p.x()) <= kLimit && std::abs(p.y()) <= kLimit; }

std::vector<U_POINT16> Points16(const std::vector<QPoint>& points) {
    std::vector<U_POINT16> out(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) out[i] = Pt16(points[i].x(), points[i].y());
    return out;
}

// Liang-Barsky: the part of the segment a-b inside the box, as fractions
// t0 <= t1 of its length; false when none.
bool ClipSegment(QPointF a, QPointF b, double& t0, double& t1) {
    t0 = 0;
    t1 = 1;
    const double d[2] = {b.x() - a.x(), b.y() - a.y()};
    const double s[2] = {a.x(), a.y()};
    for (int axis = 0; axis < 2; ++axis) {
        for (int side = -1; side <= 1; side += 2) {
            // side * (s + t d) <= kLimit
            const double p = side * d[axis], q = kLimit - side * s[axis];
            if (p == 0) {
                if (q < 0) return false;
            } else {
                const double r = q / p;
                if (p < 0) t0 = std::max(t0, r);
                else t1 = std::min(t1, r);
            }
        }
    }
    return t0 <= t1;
}

QPoint Lerp(QPointF a, QPointF b, double t) {
    return QPoint(static_cast<int>(std::lround(a.x() + (b.x() - a.x()) * t)),
                  static_cast<int>(std::lround(a.y() + (b.y() - a.y()) * t)));
}

// A polyline as the runs of it inside the box.
std::vector<std::vector<QPoint>> ClipPolyline(const std::vector<QPoint>& points) {
    std::vector<std::vector<QPoint>> runs;
    if (std::all_of(points.begin(), points.end(), Inside)) {
        runs.push_back(points);
        return runs;
    }
    std::vector<QPoint> run;
    for (std::size_t i = 1; i < points.size(); ++i) {
        const QPointF a(points[i - 1]), b(points[i]);
        double t0, t1;
        if (!ClipSegment(a, b, t0, t1)) continue;
        const QPoint p0 = Lerp(a, b, t0), p1 = Lerp(a, b, t1);
        if (run.empty() || run.back() != p0 || t0 > 0) {
            if (run.size() > 1) runs.push_back(run);
            run.assign(1, p0);
        }
        run.push_back(p1);
        if (t1 < 1) {
            runs.push_back(run);
            run.clear();
        }
    }
    if (run.size() > 1) runs.push_back(run);
    return runs;
}

// Sutherland-Hodgman against the box: the filled area inside it.
std::vector<QPoint> ClipPolygon(const std::vector<QPoint>& points) {
    if (std::all_of(points.begin(), points.end(), Inside)) return points;
    std::vector<QPointF> poly(points.begin(), points.end());
    for (int edge = 0; edge < 4; ++edge) {
        const int axis = edge / 2, side = edge % 2 ? 1 : -1;
        const auto in = [&](QPointF p) { return side * (axis ? p.y() : p.x()) <= kLimit; };
        std::vector<QPointF> out;
        for (std::size_t i = 0; i < poly.size(); ++i) {
            const QPointF a = poly[(i + poly.size() - 1) % poly.size()], b = poly[i];
            if (in(a) != in(b)) {
                const double va = axis ? a.y() : a.x(), vb = axis ? b.y() : b.x();
                const double t = (side * kLimit - va) / (vb - va);
                out.push_back(a + (b - a) * t);
            }
            if (in(b)) out.push_back(b);
        }
        poly.swap(out);
        if (poly.empty()) break;
    }
    std::vector<QPoint> out;
    for (const QPointF& p : poly) out.push_back(p.toPoint());
    return out;
}

// A ring with at most kMaxPoints points: repeated points dropped, then,
// when still too many, an even selection of them.
std::vector<QPoint> FitRing(std::vector<QPoint> ring) {
    if (ring.size() <= kMaxPoints) return ring;
    ring.erase(std::unique(ring.begin(), ring.end()), ring.end());
    if (ring.size() <= kMaxPoints) return ring;
    std::vector<QPoint> out;
    out.reserve(kMaxPoints);
    for (std::size_t i = 0; i < kMaxPoints; ++i) out.push_back(ring[i * ring.size() / kMaxPoints]);
    return out;
}

class TWmfWriter final : public TRecordWriter {
public:
    TWmfWriter(QSize size, const QString& creator, const QString& description) {
        if (wmf_htable_create(128, 128, &wht_) != 0) throw EMetafileError(QStringLiteral("Out of memory"));
        const int w = size.width(), h = size.height();
        U_PAIRF inches;
        inches.x = static_cast<float>(w) / kMetafileDpi;
        inches.y = static_cast<float>(h) / kMetafileDpi;
        char* header = U_WMRHEADER_set(&inches, kMetafileDpi);
        if (!header) throw EMetafileError(QStringLiteral("Out of memory"));
        buf_.append(header, kPlaceable + kHeader);
        std::free(header);
        // The picture's box exactly in pixels, and the checksum over it.
        const auto put16 = [this](int at, int16_t v) { std::memcpy(buf_.data() + at, &v, 2); };
        put16(kBoxRight, static_cast<int16_t>(w));
        put16(kBoxBottom, static_cast<int16_t>(h));
        put16(kChecksum, U_16_checksum(reinterpret_cast<int16_t*>(buf_.data()), 10));

        QByteArray comment = StringToCp1252(creator);
        comment.append('\0');
        comment.append(StringToCp1252(description));
        comment.append('\0');
        if (comment.size() % 2) comment.append('\0');
        Append(U_WMRESCAPE_set(kEscapeComment, static_cast<uint16_t>(std::min<qsizetype>(comment.size(), 0x7FFE)),
                               comment.constData()));
        Append(U_WMRSETWINDOWORG_set(Pt16(0, 0)));
        Append(U_WMRSETWINDOWEXT_set(Pt16(w, h)));
        Append(U_WMRSETBKMODE_set(U_TRANSPARENT));
        Append(U_WMRSETTEXTALIGN_set(U_TA_BASELINE));
        Append(U_WMRSETPOLYFILLMODE_set(U_ALTERNATE));
    }
    ~TWmfWriter() override { wmf_htable_free(&wht_); }

    std::uint32_t CreatePen(const TGdiPen& pen) override {
        uint32_t ih = 0;
        Append(wcreatepenindirect_set(&ih, wht_,
                                      U_PEN_set(static_cast<uint16_t>(pen.Width > 1 ? pen.Style | pen.Cap | pen.Join : pen.Style),
                                                static_cast<uint16_t>(std::clamp(pen.Width, 0, kLimit)),
                                                Ref(pen.Color))));
        return ih;
    }
    std::uint32_t CreateBrush(const TGdiBrush& brush) override {
        uint32_t ih = 0;
        if (brush.Style == kBsPattern) {
            const TDib dib = MakeDib(brush.Pattern);
            const auto info = DibInfo(dib);
            Append(wcreatedibpatternbrush_srcdib_set(&ih, wht_, U_DIB_RGB_COLORS, info.get(),
                                                     static_cast<uint32_t>(dib.Pixels.size()), dib.Pixels.constData()));
        } else {
            Append(wcreatebrushindirect_set(&ih, wht_,
                                            U_WLOGBRUSH_set(static_cast<uint16_t>(brush.Style), Ref(brush.Color),
                                                            static_cast<uint16_t>(brush.Hatch))));
        }
        return ih;
    }
    std::uint32_t CreateFont(const TGdiFont& font) override {
        QByteArray face = StringToCp1252(font.Face.left(31));
        std::unique_ptr<U_FONT, TUemfFree> f(U_FONT_set(
            static_cast<int16_t>(-std::min(font.Height, kLimit)), 0, static_cast<int16_t>(font.Escapement),
            static_cast<int16_t>(font.Escapement), static_cast<int16_t>(font.Weight), font.Italic ? 1 : 0,
            font.Underline ? 1 : 0, font.StrikeOut ? 1 : 0, U_ANSI_CHARSET, U_OUT_DEFAULT_PRECIS,
            U_CLIP_DEFAULT_PRECIS, U_DEFAULT_QUALITY, U_DEFAULT_PITCH | U_FF_DONTCARE, face.data()));
        if (!f) throw EMetafileError(QStringLiteral("Out of memory"));
        uint32_t ih = 0;
        Append(wcreatefontindirect_set(&ih, wht_, f.get()));
        return ih;
    }
    void Select(std::uint32_t handle) override { Append(wselectobject_set(handle, wht_)); }
    void Delete(std::uint32_t handle) override { Append(wdeleteobject_set(&handle, wht_)); }
    void SetTextColor(QRgb color) override { Append(U_WMRSETTEXTCOLOR_set(Ref(color))); }
    void SetPolyFillMode(bool winding) override { Append(U_WMRSETPOLYFILLMODE_set(winding ? U_WINDING : U_ALTERNATE)); }
    void SaveDC() override { Append(U_WMRSAVEDC_set()); }
    void RestoreDC() override { Append(U_WMRRESTOREDC_set(-1)); }
    void IntersectClipRect(const QRect& box) override {
        Append(U_WMRINTERSECTCLIPRECT_set(
            Rect16(box.left(), box.top(), box.left() + box.width(), box.top() + box.height())));
    }

    void Polygon(const std::vector<QPoint>& points) override {
        const std::vector<QPoint> ring = FitRing(ClipPolygon(points));
        if (ring.size() < 2) return;
        Append(U_WMRPOLYGON_set(static_cast<uint16_t>(ring.size()), Points16(ring).data()));
    }
    void Polyline(const std::vector<QPoint>& points) override {
        for (const std::vector<QPoint>& run : ClipPolyline(points)) {
            // Runs longer than a record holds go in pieces that share their ends.
            for (std::size_t first = 0; first + 1 < run.size(); first += kMaxPoints - 1) {
                const std::size_t n = std::min(kMaxPoints, run.size() - first);
                const std::vector<QPoint> piece(run.begin() + static_cast<std::ptrdiff_t>(first),
                                                run.begin() + static_cast<std::ptrdiff_t>(first + n));
                Append(U_WMRPOLYLINE_set(static_cast<uint16_t>(n), Points16(piece).data()));
            }
        }
    }
    void PolyPolygon(const std::vector<QPoint>& points, const std::vector<int>& counts) override {
        std::vector<QPoint> all;
        std::vector<uint16_t> sizes;
        std::size_t at = 0;
        for (int count : counts) {
            const std::vector<QPoint> ring(points.begin() + static_cast<std::ptrdiff_t>(at),
                                           points.begin() + static_cast<std::ptrdiff_t>(at + count));
            at += static_cast<std::size_t>(count);
            const std::vector<QPoint> fitted = FitRing(ClipPolygon(ring));
            if (fitted.size() < 2 || sizes.size() == 0xFFFF) continue;
            sizes.push_back(static_cast<uint16_t>(fitted.size()));
            all.insert(all.end(), fitted.begin(), fitted.end());
        }
        if (sizes.empty()) return;
        Append(U_WMRPOLYPOLYGON_set(static_cast<uint16_t>(sizes.size()), sizes.data(), Points16(all).data()));
    }
    // The format has no poly-polyline: one polyline per part.
    void PolyPolyline(const std::vector<QPoint>& points, const std::vector<int>& counts) override {
        std::size_t at = 0;
        for (int count : counts) {
            Polyline(std::vector<QPoint>(points.begin() + static_cast<std::ptrdiff_t>(at),
                                         points.begin() + static_cast<std::ptrdiff_t>(at + count)));
            at += static_cast<std::size_t>(count);
        }
    }
    void Ellipse(const QRect& box) override {
        Append(U_WMRELLIPSE_set(Rect16(box.left(), box.top(), box.left() + box.width(), box.top() + box.height())));
    }
    void Rectangle(const QRect& box) override {
        Append(U_WMRRECTANGLE_set(Rect16(box.left(), box.top(), box.left() + box.width(), box.top() + box.height())));
    }
    void Pixel(QPoint at, QRgb color) override { Append(U_WMRSETPIXEL_set(Ref(color), Pt16(at.x(), at.y()))); }
    void Text(QPoint origin, const QString& text, const std::vector<int>& dx) override {
        if (!Inside(origin)) return;
        // One byte per UTF-16 unit ('?' where the code page has no character).
        const QByteArray bytes = StringToCp1252(text.left(0x7FF0));
        std::vector<int16_t> advances(static_cast<std::size_t>(bytes.size()), 0);
        for (std::size_t i = 0; i < advances.size() && i < dx.size(); ++i)
            advances[i] = static_cast<int16_t>(std::clamp(dx[i], 0, kLimit));
        Append(U_WMREXTTEXTOUT_set(Pt16(origin.x(), origin.y()), static_cast<int16_t>(bytes.size()), 0,
                                   bytes.constData(), advances.data(), Rect16(0, 0, 0, 0)));
    }
    void Picture(const QRect& box, const TDib& dib) override {
        const auto info = DibInfo(dib);
        Append(U_WMRSTRETCHDIB_set(Pt16(box.left(), box.top()), Pt16(box.width(), box.height()), Pt16(0, 0),
                                   Pt16(dib.Width, dib.Height), U_DIB_RGB_COLORS, U_SRCCOPY, info.get(),
                                   static_cast<uint32_t>(dib.Pixels.size()), dib.Pixels.constData()));
    }

    QByteArray Data() const override {
        QByteArray out = buf_;
        std::unique_ptr<char, TUemfFree> eof(U_WMREOF_set());
        if (!eof) throw EMetafileError(QStringLiteral("Out of memory"));
        const uint32_t eofSize = U_wmr_size(reinterpret_cast<const U_METARECORD*>(eof.get()));
        out.append(eof.get(), static_cast<qsizetype>(eofSize));
        const uint32_t words = static_cast<uint32_t>((out.size() - kPlaceable) / 2);
        const uint16_t low = static_cast<uint16_t>(words & 0xFFFF), high = static_cast<uint16_t>(words >> 16);
        std::memcpy(out.data() + kSizeWords, &low, 2);
        std::memcpy(out.data() + kSizeWords + 2, &high, 2);
        const auto objects = static_cast<uint16_t>(std::min<uint32_t>(wht_->peak, 0xFFFF));
        std::memcpy(out.data() + kObjects, &objects, 2);
        const uint32_t maxWords = std::max(maxRecord_, eofSize) / 2;
        std::memcpy(out.data() + kMaxRecord, &maxWords, 4);
        return out;
    }

private:
    void Append(char* record) {
        if (!record) throw EMetafileError(QStringLiteral("A metafile record could not be made"));
        const uint32_t size = U_wmr_size(reinterpret_cast<const U_METARECORD*>(record));
        if (buf_.size() + static_cast<qsizetype>(size) > std::numeric_limits<uint32_t>::max()) {
            std::free(record);
            throw EMetafileError(QStringLiteral("The metafile is too large"));
        }
        buf_.append(record, static_cast<qsizetype>(size));
        std::free(record);
        maxRecord_ = std::max(maxRecord_, size);
    }

    QByteArray buf_;
    uint32_t maxRecord_ = 0;  // bytes
    WMFHANDLES* wht_ = nullptr;  // owned (libuemf's table of object handles)
};

}  // namespace

std::unique_ptr<TRecordWriter> MakeWmfWriter(QSize size, const QString& creator, const QString& description) {
    return std::make_unique<TWmfWriter>(size, creator, description);
}
