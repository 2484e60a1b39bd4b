// Enhanced-metafile records through libuemf's constructors. Each
// constructor returns a record in memory that we own; the records are
// collected here and the header's totals are filled in when the file is
// taken.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/metafile/Metafile.h"
#include "platform/metafile/MetafileRecords.h"
#include "platform/metafile/UemfParts.h"

namespace {

// Offsets of the header's totals (EMR_HEADER).
constexpr int kNBytes = 48, kNRecords = 52, kNHandles = 56;

U_COLORREF Ref(QRgb c) {
    return colorref3_set(static_cast<uint8_t>(qRed(c)), static_cast<uint8_t>(qGreen(c)),
                         static_cast<uint8_t>(qBlue(c)));
}

U_RECTL Rectl(int left, int top, int right, int bottom) {
    U_RECTL r;
    r.left = left;
    r.top = top;
    r.right = right;
    r.bottom = bottom;
    return r;
}

U_RECTL Bounds(const std::vector<QPoint>& points) {
    if (points.empty()) return Rectl(0, 0, -1, -1);
    int l = points[0].x(), r = l, t = points[0].y(), b = t;
    for (const QPoint& p : points) {
        l = std::min(l, p.x());
        r = std::max(r, p.x());
        t = std::min(t, p.y());
        b = std::max(b, p.y());
    }
    return Rectl(l, t, r, b);
}

bool Fits16(const std::vector<QPoint>& points) {
    return std::all_of(points.begin(), points.end(), [](const QPoint& p) {
        return p.x() >= std::numeric_limits<int16_t>::min() && p.x() <= std::numeric_limits<int16_t>::max() &&
               p.y() >= std::numeric_limits<int16_t>::min() && p.y() <= std::numeric_limits<int16_t>::max();
    });
}

std::vector<U_POINT16> Points16(const std::vector<QPoint>& points) {
    std::vector<U_POINT16> out(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        out[i].x = static_cast<int16_t>(points[i].x());
        out[i].y = static_cast<int16_t>(points[i].y());
    }
    return out;
}

std::vector<U_POINTL> Points32(const std::vector<QPoint>& points) {
    std::vector<U_POINTL> out(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        out[i].x = points[i].x();
        out[i].y = points[i].y();
    }
    return out;
}

class TEmfWriter final : public TRecordWriter {
public:
    TEmfWriter(QSize size, const QString& creator, const QString& description) {
        if (emf_htable_create(128, 128, &eht_) != 0) throw EMetafileError(QStringLiteral("Out of memory"));
        const int w = size.width(), h = size.height();
        // The frame in hundredths of a millimetre at the device's resolution.
        const auto hundredths = [](int px) { return static_cast<int>(std::lround(px * 2540.0 / kMetafileDpi)); };
        std::u16string text = creator.toStdU16String();
        text += u'\0';
        text += description.toStdU16String();
        text += u'\0';
        text += u'\0';
        U_SIZEL device, millimetres;
        device.cx = w;
        device.cy = h;
        millimetres.cx = std::max(1, hundredths(w) / 100);
        millimetres.cy = std::max(1, hundredths(h) / 100);
        Append(U_EMRHEADER_set(Rectl(0, 0, w - 1, h - 1), Rectl(0, 0, hundredths(w) - 1, hundredths(h) - 1), nullptr,
                               static_cast<U_CBSTR>(text.size()), reinterpret_cast<uint16_t*>(text.data()), device,
                               millimetres, 0));
        Append(U_EMRSETBKMODE_set(U_TRANSPARENT));
        Append(U_EMRSETTEXTALIGN_set(U_TA_BASELINE));
        Append(U_EMRSETPOLYFILLMODE_set(U_ALTERNATE));
    }
    ~TEmfWriter() override { emf_htable_free(&eht_); }

    std::uint32_t CreatePen(const TGdiPen& pen) override {
        uint32_t ih = 0;
        if (pen.Width > 1 && pen.Style != kPsNull) {
            std::unique_ptr<U_EXTLOGPEN, TUemfFree> elp(
                extlogpen_set(U_PS_GEOMETRIC | static_cast<uint32_t>(pen.Style | pen.Cap | pen.Join),
                              static_cast<uint32_t>(pen.Width), U_BS_SOLID, Ref(pen.Color), 0, 0, nullptr));
            if (!elp) throw EMetafileError(QStringLiteral("Out of memory"));
            Append(extcreatepen_set(&ih, eht_, nullptr, 0, nullptr, elp.get()));
            return ih;
        }
        U_POINT width;
        width.x = 0;
        width.y = 0;
        Append(createpen_set(&ih, eht_, logpen_set(static_cast<uint32_t>(pen.Style), width, Ref(pen.Color))));
        return ih;
    }
    std::uint32_t CreateBrush(const TGdiBrush& brush) override {
        uint32_t ih = 0;
        if (brush.Style == kBsPattern) {
            TDib dib = MakeDib(brush.Pattern);
            const auto info = DibInfo(dib);
            Append(createdibpatternbrushpt_set(&ih, eht_, U_DIB_RGB_COLORS, info.get(),
                                               static_cast<uint32_t>(dib.Pixels.size()), dib.Pixels.constData()));
        } else {
            Append(createbrushindirect_set(
                &ih, eht_,
                logbrush_set(static_cast<uint32_t>(brush.Style), Ref(brush.Color), static_cast<int32_t>(brush.Hatch))));
        }
        return ih;
    }
    std::uint32_t CreateFont(const TGdiFont& font) override {
        std::u16string face = font.Face.left(U_LF_FACESIZE - 1).toStdU16String();
        face.resize(U_LF_FACESIZE, u'\0');
        const U_LOGFONT lf = logfont_set(-font.Height, 0, font.Escapement, font.Escapement, font.Weight,
                                         font.Italic ? 1 : 0, font.Underline ? 1 : 0, font.StrikeOut ? 1 : 0,
                                         U_DEFAULT_CHARSET, U_OUT_DEFAULT_PRECIS, U_CLIP_DEFAULT_PRECIS,
                                         U_DEFAULT_QUALITY, U_DEFAULT_PITCH | U_FF_DONTCARE,
                                         reinterpret_cast<uint16_t*>(face.data()));
        uint32_t ih = 0;
        Append(extcreatefontindirectw_set(&ih, eht_, reinterpret_cast<const char*>(&lf), nullptr));
        return ih;
    }
    void Select(std::uint32_t handle) override { Append(selectobject_set(handle, eht_)); }
    void Delete(std::uint32_t handle) override { Append(deleteobject_set(&handle, eht_)); }
    void SetTextColor(QRgb color) override { Append(U_EMRSETTEXTCOLOR_set(Ref(color))); }
    void SetPolyFillMode(bool winding) override { Append(U_EMRSETPOLYFILLMODE_set(winding ? U_WINDING : U_ALTERNATE)); }
    void SaveDC() override { Append(U_EMRSAVEDC_set()); }
    void RestoreDC() override { Append(U_EMRRESTOREDC_set(-1)); }
    void IntersectClipRect(const QRect& box) override {
        Append(U_EMRINTERSECTCLIPRECT_set(Rectl(box.left(), box.top(), box.left() + box.width(), box.top() + box.height())));
    }

    void Polygon(const std::vector<QPoint>& points) override {
        const auto n = static_cast<uint32_t>(points.size());
        if (Fits16(points)) Append(U_EMRPOLYGON16_set(Bounds(points), n, Points16(points).data()));
        else Append(U_EMRPOLYGON_set(Bounds(points), n, Points32(points).data()));
    }
    void Polyline(const std::vector<QPoint>& points) override {
        const auto n = static_cast<uint32_t>(points.size());
        if (Fits16(points)) Append(U_EMRPOLYLINE16_set(Bounds(points), n, Points16(points).data()));
        else Append(U_EMRPOLYLINE_set(Bounds(points), n, Points32(points).data()));
    }
    void PolyPolygon(const std::vector<QPoint>& points, const std::vector<int>& counts) override {
        const std::vector<uint32_t> c(counts.begin(), counts.end());
        const auto parts = static_cast<uint32_t>(c.size()), n = static_cast<uint32_t>(points.size());
        if (Fits16(points)) Append(U_EMRPOLYPOLYGON16_set(Bounds(points), parts, c.data(), n, Points16(points).data()));
        else Append(U_EMRPOLYPOLYGON_set(Bounds(points), parts, c.data(), n, Points32(points).data()));
    }
    void PolyPolyline(const std::vector<QPoint>& points, const std::vector<int>& counts) override {
        const std::vector<uint32_t> c(counts.begin(), counts.end());
        const auto parts = static_cast<uint32_t>(c.size()), n = static_cast<uint32_t>(points.size());
        if (Fits16(points))
            Append(U_EMRPOLYPOLYLINE16_set(Bounds(points), parts, c.data(), n, Points16(points).data()));
        else
            Append(U_EMRPOLYPOLYLINE_set(Bounds(points), parts, c.data(), n, Points32(points).data()));
    }
    void Ellipse(const QRect& box) override {
        Append(U_EMRELLIPSE_set(Rectl(box.left(), box.top(), box.left() + box.width(), box.top() + box.height())));
    }
    void Rectangle(const QRect& box) override {
        Append(U_EMRRECTANGLE_set(Rectl(box.left(), box.top(), box.left() + box.width(), box.top() + box.height())));
    }
    void Pixel(QPoint at, QRgb color) override { Append(U_EMRSETPIXELV_set(point32_set(at.x(), at.y()), Ref(color))); }
    void Text(QPoint origin, const QString& text, const std::vector<int>& dx) override {
        std::u16string units = text.toStdU16String();
        std::vector<uint32_t> advances(units.size(), 0);
        for (std::size_t i = 0; i < advances.size() && i < dx.size(); ++i)
            advances[i] = static_cast<uint32_t>(std::max(dx[i], 0));
        std::unique_ptr<char, TUemfFree> block(
            emrtext_set(point32_set(origin.x(), origin.y()), static_cast<U_NUM_STR>(units.size()), 2, units.data(), 0,
                        Rectl(0, 0, -1, -1), advances.data()));
        if (!block) throw EMetafileError(QStringLiteral("Out of memory"));
        Append(U_EMREXTTEXTOUTW_set(Rectl(0, 0, -1, -1), U_GM_COMPATIBLE, 1.0f, 1.0f,
                                    reinterpret_cast<PU_EMRTEXT>(block.get())));
    }
    void Picture(const QRect& box, const TDib& dib) override {
        const auto info = DibInfo(dib);
        Append(U_EMRSTRETCHDIBITS_set(
            Rectl(box.left(), box.top(), box.left() + box.width() - 1, box.top() + box.height() - 1),
            point32_set(box.left(), box.top()), point32_set(box.width(), box.height()), point32_set(0, 0),
            point32_set(dib.Width, dib.Height), U_DIB_RGB_COLORS, U_SRCCOPY, info.get(),
            static_cast<uint32_t>(dib.Pixels.size()), const_cast<char*>(dib.Pixels.constData())));
    }

    QByteArray Data() const override {
        QByteArray out = buf_;
        EMFTRACK track;
        std::memset(&track, 0, sizeof track);
        char* eof = U_EMREOF_set(0, nullptr, &track);
        if (!eof) throw EMetafileError(QStringLiteral("Out of memory"));
        out.append(eof, static_cast<qsizetype>(reinterpret_cast<const U_EMR*>(eof)->nSize));
        std::free(eof);
        const auto put32 = [&out](int at, uint32_t v) { std::memcpy(out.data() + at, &v, 4); };
        put32(kNBytes, static_cast<uint32_t>(out.size()));
        put32(kNRecords, records_ + 1);
        const auto handles = static_cast<uint16_t>(std::min<uint32_t>(eht_->peak + 1, 0xFFFF));
        std::memcpy(out.data() + kNHandles, &handles, 2);
        return out;
    }

private:
    void Append(char* record) {
        if (!record) throw EMetafileError(QStringLiteral("A metafile record could not be made"));
        const uint32_t size = reinterpret_cast<const U_EMR*>(record)->nSize;
        if (buf_.size() + static_cast<qsizetype>(size) > std::numeric_limits<uint32_t>::max()) {
            std::free(record);
            throw EMetafileError(QStringLiteral("The metafile is too large"));
        }
        buf_.append(record, static_cast<qsizetype>(size));
        std::free(record);
        ++records_;
    }

    QByteArray buf_;
    uint32_t records_ = 0;
    EMFHANDLES* eht_ = nullptr;  // owned (libuemf's table of object handles)
};

}  // namespace

std::unique_ptr<TRecordWriter> MakeEmfWriter(QSize size, const QString& creator, const QString& description) {
    return std::make_unique<TEmfWriter>(size, creator, description);
}
