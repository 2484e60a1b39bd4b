// The metafile device and its paint engine. The engine takes QPainter's
// calls with the painter's transform, maps them to device pixels and
// hands them to the format's record writer; it makes a GDI object only
// when the pen, brush or font in use changes.
#include "platform/metafile/Metafile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include <QFontMetricsF>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTextItem>

#include "core/Stream.h"
#include "platform/metafile/MetafileRecords.h"

TDib MakeDib(const QImage& image) {
    TDib dib;
    if (image.isNull()) return dib;
    QImage rgb;
    if (image.hasAlphaChannel()) {
        rgb = QImage(image.size(), QImage::Format_RGB32);
        rgb.fill(Qt::white);
        QPainter p(&rgb);
        p.drawImage(0, 0, image);
    } else {
        rgb = image;
    }
    rgb = rgb.convertToFormat(QImage::Format_BGR888);
    dib.Width = rgb.width();
    dib.Height = rgb.height();
    // QImage rows are already padded to four bytes, as a DIB's are; a DIB
    // goes bottom-up.
    const qsizetype row = rgb.bytesPerLine();
    dib.Pixels.resize(row * dib.Height);
    for (int y = 0; y < dib.Height; ++y)
        std::memcpy(dib.Pixels.data() + row * (dib.Height - 1 - y), rgb.constScanLine(y), static_cast<std::size_t>(row));
    return dib;
}

namespace {

double TwiceArea(const QPoint* p, int n) {
    double a = 0;
    for (int i = 0, j = n - 1; i < n; j = i++) a += double(p[j].x()) * p[i].y() - double(p[i].x()) * p[j].y();
    return a;
}

bool RingContains(const QPoint* p, int n, QPointF q) {
    bool in = false;
    for (int i = 0, j = n - 1; i < n; j = i++)
        if ((p[i].y() > q.y()) != (p[j].y() > q.y()) &&
            q.x() < double(p[j].x() - p[i].x()) * (q.y() - p[i].y()) / double(p[j].y() - p[i].y()) + p[i].x())
            in = !in;
    return in;
}

// Rings filled even-odd, wound so that the non-zero rule fills the same
// area: a ring inside an odd number of others turns against them. Readers
// that ignore the fill mode then still show the holes.
void WindForEvenOdd(std::vector<QPoint>& points, const std::vector<int>& counts) {
    constexpr std::size_t kMaxRings = 64;
    if (counts.size() < 2 || counts.size() > kMaxRings) return;
    std::vector<int> first(counts.size());
    for (std::size_t i = 1; i < counts.size(); ++i) first[i] = first[i - 1] + counts[i - 1];
    for (std::size_t i = 0; i < counts.size(); ++i) {
        QPoint* ring = points.data() + first[i];
        if (counts[i] < 3) continue;
        // A point just inside the ring's first edge tells its depth.
        const QPointF probe = QPointF(ring[0] + ring[1]) / 2.0;
        int depth = 0;
        for (std::size_t k = 0; k < counts.size(); ++k)
            if (k != i && counts[k] >= 3 && RingContains(points.data() + first[k], counts[k], probe)) ++depth;
        const bool positive = TwiceArea(ring, counts[i]) > 0;
        if (positive != (depth % 2 == 0)) std::reverse(ring, ring + counts[i]);
    }
}

int Round(double v) {
    if (!(v == v)) return 0;
    return static_cast<int>(std::nearbyint(std::clamp(v, -1e9, 1e9)));
}

bool Invisible(const QColor& c) { return c.alpha() == 0; }

}  // namespace

class TMetafileEngine final : public QPaintEngine {
public:
    explicit TMetafileEngine(std::unique_ptr<TRecordWriter> writer)
        : QPaintEngine(QPaintEngine::AllFeatures), w_(std::move(writer)) {}

    TRecordWriter& Writer() const { return *w_; }

    bool begin(QPaintDevice*) override {
        xf_ = QTransform();
        pen_ = QPen();
        brush_ = QBrush();
        return true;
    }
    bool end() override {
        SetClip(nullptr);
        return true;
    }
    Type type() const override { return static_cast<Type>(User + 17); }

    void updateState(const QPaintEngineState& state) override {
        const DirtyFlags f = state.state();
        if (f & DirtyPen) pen_ = state.pen();
        if (f & DirtyBrush) brush_ = state.brush();
        if (f & DirtyTransform) {
            xf_ = state.transform();
            plain_ = xf_.type() <= QTransform::TxTranslate && xf_.dx() == std::trunc(xf_.dx()) &&
                     xf_.dy() == std::trunc(xf_.dy());
        }
        if (f & (DirtyClipPath | DirtyClipRegion | DirtyClipEnabled)) {
            QPainter* p = painter();
            if (p && p->hasClipping()) {
                const QRect box = p->deviceTransform().mapRect(p->clipBoundingRect()).toAlignedRect();
                SetClip(&box);
            } else {
                SetClip(nullptr);
            }
        }
    }

    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override {
        std::vector<QPoint> v(static_cast<std::size_t>(std::max(count, 0)));
        for (int i = 0; i < count; ++i) v[static_cast<std::size_t>(i)] = Map(points[i]);
        Poly(v, mode);
    }
    void drawPolygon(const QPoint* points, int count, PolygonDrawMode mode) override {
        std::vector<QPoint> v(points, points + std::max(count, 0));
        if (!plain_) {
            for (QPoint& p : v) p = Map(QPointF(p));
        } else if (xf_.dx() != 0 || xf_.dy() != 0) {
            const QPoint d(static_cast<int>(xf_.dx()), static_cast<int>(xf_.dy()));
            for (QPoint& p : v) p += d;
        }
        Poly(v, mode);
    }

    void drawPath(const QPainterPath& path) override {
        const QList<QPolygonF> parts = path.toSubpathPolygons(xf_);
        std::vector<QPoint> open;
        std::vector<int> openCounts;
        std::vector<QPoint> all;
        std::vector<int> allCounts;
        bool anyOpen = false;
        for (const QPolygonF& part : parts) {
            if (part.size() < 2) continue;
            const bool ring = part.isClosed();
            anyOpen |= !ring;
            const qsizetype n = ring ? part.size() - 1 : part.size();
            for (qsizetype i = 0; i < n; ++i) all.push_back(Pixel(part[i]));
            allCounts.push_back(static_cast<int>(n));
            // The outline keeps a ring's closing point.
            for (const QPointF& p : part) open.push_back(Pixel(p));
            openCounts.push_back(static_cast<int>(part.size()));
        }
        if (allCounts.empty()) return;
        const bool fill = HasBrush();
        const bool stroke = HasPen();
        if (fill) {
            const bool winding = path.fillRule() == Qt::WindingFill;
            if (!winding) WindForEvenOdd(all, allCounts);
            UseFillMode(winding);
            UseBrush();
            if (!anyOpen) {
                UsePen(stroke);
                w_->PolyPolygon(all, allCounts);
                return;
            }
            UsePen(false);
            w_->PolyPolygon(all, allCounts);
        }
        if (stroke) {
            UsePen(true);
            w_->PolyPolyline(open, openCounts);
        }
    }

    void drawLines(const QLineF* lines, int count) override {
        if (!HasPen() || count <= 0) return;
        std::vector<QPoint> v;
        v.reserve(static_cast<std::size_t>(count) * 2);
        for (int i = 0; i < count; ++i) {
            v.push_back(Map(lines[i].p1()));
            v.push_back(Map(lines[i].p2()));
        }
        UsePen(true);
        w_->PolyPolyline(v, std::vector<int>(static_cast<std::size_t>(count), 2));
    }

    void drawPoints(const QPointF* points, int count) override {
        if (!HasPen()) return;
        const QRgb c = pen_.color().rgb();
        for (int i = 0; i < count; ++i) w_->Pixel(Map(points[i]), c);
    }

    void drawRects(const QRectF* rects, int count) override {
        for (int i = 0; i < count; ++i) {
            if (xf_.type() <= QTransform::TxScale && xf_.m11() > 0 && xf_.m22() > 0) {
                if (!Prepare()) return;
                w_->Rectangle(Box(rects[i]));
            } else {
                QPainterPath path;
                path.addRect(rects[i]);
                drawPath(path);
            }
        }
    }

    void drawEllipse(const QRectF& r) override {
        if (xf_.type() <= QTransform::TxScale && xf_.m11() > 0 && xf_.m22() > 0) {
            if (!Prepare()) return;
            w_->Ellipse(Box(r));
        } else {
            QPainterPath path;
            path.addEllipse(r);
            drawPath(path);
        }
    }

    void drawImage(const QRectF& r, const QImage& image, const QRectF& sr, Qt::ImageConversionFlags) override {
        if (image.isNull()) return;
        const QRect source = sr.toAlignedRect().intersected(image.rect());
        if (source.isEmpty()) return;
        const QImage part = source == image.rect() ? image : image.copy(source);
        const QRectF mapped = xf_.mapRect(r);
        const QRect box(QPoint(Round(mapped.left()), Round(mapped.top())),
                        QPoint(Round(mapped.right()) - 1, Round(mapped.bottom()) - 1));
        if (box.width() <= 0 || box.height() <= 0) return;
        w_->Picture(box, MakeDib(part));
    }
    void drawPixmap(const QRectF& r, const QPixmap& pm, const QRectF& sr) override {
        drawImage(r, pm.toImage(), sr, Qt::AutoColor);
    }

    void drawTextItem(const QPointF& p, const QTextItem& item) override {
        const QString text = item.text();
        if (text.isEmpty() || !HasPen()) return;
        const QFont font = item.font();
        const double px = font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF() * kMetafileDpi / 72.0;
        const double scale = std::sqrt(std::abs(xf_.determinant()));
        double angle = std::atan2(-xf_.m12(), xf_.m11()) * 180.0 / M_PI;
        if (angle < 0) angle += 360;
        TGdiFont gdi;
        gdi.Face = font.family();
        gdi.Height = std::max(1, Round(px * scale));
        gdi.Escapement = Round(angle * 10) % 3600;
        gdi.Weight = std::clamp(static_cast<int>(font.weight()), 100, 900);
        gdi.Italic = font.italic();
        // Underline and strike-out are drawn by the painter as lines.
        UseFont(gdi);
        UseTextColor(pen_.color().rgb());
        // The advance of each unit, rounded along the way so that the sum
        // stays true.
        QFont sized = font;
        sized.setPixelSize(gdi.Height);
        const QFontMetricsF fm(sized);
        std::vector<int> dx(static_cast<std::size_t>(text.size()), 0);
        double at = 0;
        int done = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text.at(i).isHighSurrogate() && i + 1 < text.size()) {
                at += fm.horizontalAdvance(text.mid(i, 2));
            } else if (!text.at(i).isLowSurrogate()) {
                at += fm.horizontalAdvance(text.at(i));
            }
            const int next = Round(at);
            dx[static_cast<std::size_t>(i)] = next - done;
            done = next;
        }
        w_->Text(Map(p), text, dx);
    }

private:
    QPoint Map(QPointF p) const { return Pixel(xf_.map(p)); }
    static QPoint Pixel(QPointF p) { return QPoint(Round(p.x()), Round(p.y())); }
    // A box as the GDI takes it: the pen's outline on the last row and
    // column is inside it, as QPainter draws it.
    QRect Box(const QRectF& r) const {
        const QRectF m = xf_.mapRect(r);
        return QRect(QPoint(Round(m.left()), Round(m.top())), QPoint(Round(m.right()), Round(m.bottom())));
    }

    bool HasPen() const { return pen_.style() != Qt::NoPen && !Invisible(pen_.color()); }
    bool HasBrush() const { return brush_.style() != Qt::NoBrush && !Invisible(BrushColor()); }
    QColor BrushColor() const {
        if (const QGradient* g = brush_.gradient(); g && !g->stops().isEmpty()) return g->stops().constFirst().second;
        if (brush_.style() == Qt::TexturePattern) return Qt::black;
        return brush_.color();
    }

    // Pen and brush for a filled figure; false when nothing would show.
    bool Prepare() {
        const bool fill = HasBrush(), stroke = HasPen();
        if (!fill && !stroke) return false;
        UsePen(stroke);
        UseBrush(fill);
        return true;
    }

    void Poly(const std::vector<QPoint>& v, PolygonDrawMode mode) {
        if (v.size() < 2) return;
        if (mode == PolylineMode) {
            if (!HasPen()) return;
            UsePen(true);
            w_->Polyline(v);
            return;
        }
        if (!Prepare()) return;
        UseFillMode(mode == WindingMode);
        w_->Polygon(v);
    }

    TGdiPen GdiPen(bool visible) const {
        TGdiPen g;
        if (!visible) {
            g.Style = kPsNull;
            g.Color = 0;
            return g;
        }
        switch (pen_.style()) {
        case Qt::DashLine:
        case Qt::CustomDashLine: g.Style = kPsDash; break;
        case Qt::DotLine: g.Style = kPsDot; break;
        case Qt::DashDotLine: g.Style = kPsDashDot; break;
        case Qt::DashDotDotLine: g.Style = kPsDashDotDot; break;
        default: g.Style = kPsSolid; break;
        }
        const double width = pen_.isCosmetic() ? pen_.widthF() : pen_.widthF() * std::sqrt(std::abs(xf_.determinant()));
        g.Width = width <= 1 ? 0 : Round(width);
        g.Cap = pen_.capStyle() == Qt::FlatCap ? kCapFlat : pen_.capStyle() == Qt::SquareCap ? kCapSquare : kCapRound;
        g.Join = pen_.joinStyle() == Qt::BevelJoin ? kJoinBevel : pen_.joinStyle() == Qt::RoundJoin ? kJoinRound : kJoinMiter;
        g.Color = pen_.color().rgb();
        return g;
    }

    TGdiBrush GdiBrush(bool visible) const {
        TGdiBrush g;
        if (!visible) {
            g.Style = kBsNull;
            g.Color = 0;
            return g;
        }
        g.Color = BrushColor().rgb();
        const auto hatch = [&g](int h) {
            g.Style = kBsHatched;
            g.Hatch = h;
        };
        switch (brush_.style()) {
        case Qt::HorPattern: hatch(kHsHorizontal); break;
        case Qt::VerPattern: hatch(kHsVertical); break;
        case Qt::CrossPattern: hatch(kHsCross); break;
        case Qt::BDiagPattern: hatch(kHsBDiagonal); break;
        case Qt::FDiagPattern: hatch(kHsFDiagonal); break;
        case Qt::DiagCrossPattern: hatch(kHsDiagCross); break;
        case Qt::TexturePattern:
            g.Style = kBsPattern;
            g.Pattern = brush_.textureImage();
            if (g.Pattern.isNull()) g.Style = kBsSolid;
            break;
        default: g.Style = kBsSolid; break;
        }
        return g;
    }

    // A GDI object in use: what it is, and its handle.
    template <class T>
    struct TInUse {
        std::optional<T> What;
        std::optional<std::uint32_t> Handle;
    };

    template <class T, class Make>
    void Use(TInUse<T>& slot, const T& what, Make make) {
        if (slot.What && *slot.What == what) return;
        const std::uint32_t h = make();
        w_->Select(h);
        if (slot.Handle) Retire(*slot.Handle);
        slot.What = what;
        slot.Handle = h;
    }
    void UsePen(bool visible) {
        const TGdiPen g = GdiPen(visible);
        Use(penObj_, g, [&] { return w_->CreatePen(g); });
    }
    void UseBrush(bool visible = true) {
        const TGdiBrush g = GdiBrush(visible);
        Use(brushObj_, g, [&] { return w_->CreateBrush(g); });
    }
    void UseFont(const TGdiFont& g) {
        Use(fontObj_, g, [&] { return w_->CreateFont(g); });
    }
    void UseTextColor(QRgb c) {
        if (textColor_ == c) return;
        w_->SetTextColor(c);
        textColor_ = c;
    }
    void UseFillMode(bool winding) {
        if (winding_ == winding) return;
        w_->SetPolyFillMode(winding);
        winding_ = winding;
    }

    // An object no longer selected; while a clip's saved state may still
    // hold it, it is deleted only when that state is gone.
    void Retire(std::uint32_t handle) {
        if (clipped_) pending_.push_back(handle);
        else w_->Delete(handle);
    }

    void SetClip(const QRect* box) {
        if (clipped_) {
            w_->RestoreDC();
            clipped_ = false;
            // The saved state brought back its own objects and settings.
            for (const auto* h : {&penObj_.Handle, &brushObj_.Handle, &fontObj_.Handle})
                if (*h) w_->Select(**h);
            textColor_ = savedTextColor_;
            winding_ = savedWinding_;
            for (std::uint32_t h : pending_) w_->Delete(h);
            pending_.clear();
        }
        if (box) {
            w_->SaveDC();
            w_->IntersectClipRect(*box);
            clipped_ = true;
            savedTextColor_ = textColor_;
            savedWinding_ = winding_;
        }
    }

    std::unique_ptr<TRecordWriter> w_;  // owned
    QTransform xf_;
    bool plain_ = true;  // xf_ moves by whole pixels only
    QPen pen_;
    QBrush brush_;
    TInUse<TGdiPen> penObj_;
    TInUse<TGdiBrush> brushObj_;
    TInUse<TGdiFont> fontObj_;
    std::optional<QRgb> textColor_, savedTextColor_;
    std::optional<bool> winding_ = false, savedWinding_;
    bool clipped_ = false;
    std::vector<std::uint32_t> pending_;
};

TMetafile::TMetafile(QSize size, bool enhanced, const QString& creator, const QString& description)
    : size_(size.width() < 1 ? 1 : std::min(size.width(), 32767), size.height() < 1 ? 1 : std::min(size.height(), 32767)),
      enhanced_(enhanced),
      creator_(creator),
      description_(description),
      engine_(std::make_unique<TMetafileEngine>(enhanced ? MakeEmfWriter(size_, creator, description)
                                                          : MakeWmfWriter(size_, creator, description))) {}

TMetafile::~TMetafile() = default;

QPaintEngine* TMetafile::paintEngine() const { return engine_.get(); }

QByteArray TMetafile::Data() const {
    if (engine_->isActive()) throw EMetafileError(QStringLiteral("The metafile is still being drawn"));
    return engine_->Writer().Data();
}

void TMetafile::SaveToFile(const QString& file) const {
    const QByteArray bytes = Data();
    TAtomicFile out(file);
    out.Stream().Write(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    out.Commit();
}

int TMetafile::metric(PaintDeviceMetric metric) const {
    switch (metric) {
    case PdmWidth: return size_.width();
    case PdmHeight: return size_.height();
    case PdmWidthMM: return static_cast<int>(std::lround(size_.width() * 25.4 / kMetafileDpi));
    case PdmHeightMM: return static_cast<int>(std::lround(size_.height() * 25.4 / kMetafileDpi));
    case PdmNumColors: return 0x7FFFFFFF;
    case PdmDepth: return 24;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY: return kMetafileDpi;
    case PdmDevicePixelRatio: return 1;
    case PdmDevicePixelRatioScaled: return static_cast<int>(devicePixelRatioFScale());
    default: return QPaintDevice::metric(metric);
    }
}
