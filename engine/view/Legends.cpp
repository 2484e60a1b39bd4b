#include "engine/view/Legends.h"

#include <algorithm>

#include <QPainter>
#include <QResizeEvent>

#include "core/Cp1252.h"
#include "engine/symbology/ThemeClass.h"
#include "engine/symbology/ThemeClasses.h"

TLegendStyle LegendStyleForLayerType(int type) {
    switch (((type % 10) + 10) % 10) {
    case 0:
    case 4: return lgsPoint;
    case 1: return lgsLine;
    case 2: return lgsPoly;
    case 3: return lgsText;
    default: return lgsAll;
    }
}

// ---------------------------------------------------------------- samples

TLegendSample TLegendSample::Of(const TThemeClass& c) {
    TLegendSample s;
    s.LineColor = c.LineColor();
    s.PointStyle = c.PointStyle();
    s.Bitmap = c.Bitmap();
    s.LineStyle = c.LineStyle();
    s.LineWidth = c.LineWidth();
    s.FillStyle = c.FillStyle();
    s.FillColor = c.FillColor();
    s.FillTexture = c.FillTexture();
    s.SymbolFont = c.SymbolFont();
    s.TextFont = c.TextFont();
    s.Symbol = c.Symbol();
    return s;
}

void DrawLegendSample(QPainter& p, const QRect& box, TLegendStyle style, const TLegendSample& s, double fontScale,
                      const QColor& background) {
    // The shapes are laid out on a box of 22 x 16 (the layer list's) and
    // stretched with it: the point and the zigzag's middle stand 10/22 of
    // the way across.
    const double L = box.left(), T = box.top(), W = box.width(), H = box.height();
    const double cx = L + W * 10.0 / 22.0;
    const double m = T + H / 2;
    const QColor line = ColorToQColor(s.LineColor);
    p.save();
    switch (style) {
    case lgsText: {
        p.setFont(s.TextFont.ToQFont(fontScale));
        p.setPen(ColorToQColor(s.TextFont.Color));
        const int h = p.fontMetrics().height();
        p.drawText(QRect(box.left(), box.top() + box.height() / 2 - h / 2, box.width(), h + 1),
                   Qt::AlignLeft | Qt::AlignTop, QStringLiteral("T"));
        break;
    }
    case lgsPoint:
        if (s.PointStyle == psPoint) {
            p.setPen(line);
            p.setBrush(line);
            const double w = s.LineWidth;
            p.drawEllipse(QRectF(cx - w, m - w, 2 * w, 2 * w));
        } else if (s.PointStyle == psSymbol) {
            p.setFont(s.SymbolFont.ToQFont(fontScale));
            p.setPen(ColorToQColor(s.SymbolFont.Color));
            p.setBackground(background);
            p.setBackgroundMode(Qt::OpaqueMode);
            const QString text = Cp1252ToString(QByteArray(1, static_cast<char>(s.Symbol)));
            const int th = p.fontMetrics().height(), tw = p.fontMetrics().horizontalAdvance(text);
            p.drawText(QRectF(cx - tw / 2, m - th / 2, tw + 2, th + 2), Qt::AlignLeft | Qt::AlignTop, text);
        } else if (!s.Bitmap.isNull()) {
            // Any size fits a square sample as high as the box, keeping its
            // proportions.
            const int side = std::max(std::min(box.width(), box.height()), 1);
            const QImage img = s.Bitmap.size() == QSize(side, side)
                                   ? s.Bitmap
                                   : s.Bitmap.scaled(side, side, Qt::KeepAspectRatio);
            p.drawImage(QPoint(box.left() + (side - img.width()) / 2,
                               box.top() + (box.height() - side) / 2 + (side - img.height()) / 2),
                        img);
        }
        break;
    case lgsLine: {
        p.setPen(QPen(line, s.LineWidth, LineStyleToPenStyle(s.LineStyle)));
        const QPointF zig[] = {{L, T + H}, {cx, T + H / 4}, {cx, T + 3 * H / 4}, {L + W, T}};
        p.drawPolyline(zig, 4);
        break;
    }
    case lgsPoly: {
        p.setPen(QPen(line, s.LineWidth, LineStyleToPenStyle(s.LineStyle)));
        if (s.FillStyle == fsTransparent) {
            p.setBrush(Qt::NoBrush);
        } else if (s.FillStyle == fsTexture && !s.FillTexture.isNull()) {
            p.setBrush(QBrush(s.FillTexture));
        } else {
            p.setBrush(QBrush(ColorToQColor(s.FillColor), FillStyleToBrushStyle(s.FillStyle)));
        }
        p.drawRect(QRect(box.topLeft(), QPoint(box.left() + box.width(), box.top() + box.height())));
        break;
    }
    case lgsAll: break;
    }
    p.restore();
}

// ---------------------------------------------------------------- TLegend

TLegend::TLegend(QWidget* parent) : QWidget(parent) {
    resize(width() > 0 ? width() : 100, kHeight);
    sample_.TextFont.Color = sample_.LineColor;
}

TLegend::~TLegend() { Unlink(); }

void TLegend::Unlink() {
    if (themeClass_) themeClass_->RemoveChangeLink(this);
    themeClass_ = nullptr;
}

void TLegend::SetThemeClass(TThemeClass* c) {
    Unlink();
    themeClass_ = c;
    if (c) {
        TChangeLink* link = c->AddChangeLink(this);
        link->OnChange = [this](TChangeLink&) { UpdateFromThemeClass(); };
        link->OnDisconnect = [this](TChangeLink&) { themeClass_ = nullptr; };
    }
    UpdateFromThemeClass();
}

void TLegend::UpdateFromThemeClass() {
    if (themeClass_) {
        caption_ = themeClass_->ThemeClassName();
        sample_ = TLegendSample::Of(*themeClass_);
    }
    update();
}

void TLegend::SetLegendStyle(TLegendStyle v) { legendStyle_ = v; update(); }
void TLegend::SetCaption(const QString& v) { caption_ = v; update(); }
void TLegend::SetBitmap(const QImage& v) { sample_.Bitmap = v; update(); }
void TLegend::SetFillTexture(const QImage& v) { sample_.FillTexture = v; update(); }
void TLegend::SetLineColor(TColor v) { sample_.LineColor = v; update(); }
void TLegend::SetPointStyle(TPointStyle v) { sample_.PointStyle = v; update(); }
void TLegend::SetFillStyle(TFillStyle v) { sample_.FillStyle = v; update(); }
void TLegend::SetFillColor(TColor v) { sample_.FillColor = v; update(); }
void TLegend::SetLineWidth(int v) { sample_.LineWidth = v; update(); }

void TLegend::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintTo(p);
}

void TLegend::PaintTo(QPainter& p) const {
    const int m = height() / 2;
    DrawLegendSample(p, QRect(3, m - 8, 22, 16), legendStyle_, sample_, 1.0, palette().color(QPalette::Window));
    p.setFont(font());
    p.setPen(palette().color(QPalette::WindowText));
    const int h = p.fontMetrics().height();
    p.drawText(QRect(28, m - h / 2, std::max(width() - 31, 0), h + 1), Qt::AlignLeft | Qt::AlignTop, caption_);
}

// ---------------------------------------------------------------- TLegends

TLegends::TLegends(QWidget* parent) : QWidget(parent) { setEnabled(false); }

TLegends::~TLegends() {
    UnlinkDefaults();
    UnlinkClasses();
}

void TLegends::UnlinkDefaults() {
    if (defaults_) defaults_->RemoveChangeLink(this);
    defaults_ = nullptr;
}

void TLegends::UnlinkClasses() {
    if (themeClasses_) themeClasses_->RemoveChangeLink(this);
    themeClasses_ = nullptr;
}

void TLegends::SetThemeLayerType(int v) {
    themeLayerType_ = v;
    Rebuild();
}

namespace {
void FreeEntries(std::vector<TLegend*>& entries) {
    for (TLegend* e : entries) delete e;
    entries.clear();
}
}  // namespace

void TLegends::SetDefaults(TThemeClass* v) {
    UnlinkDefaults();
    defaults_ = v;
    if (v) {
        TChangeLink* link = v->AddChangeLink(this);
        link->OnChange = [this](TChangeLink&) { Rebuild(); };
        link->OnDisconnect = [this](TChangeLink&) {
            FreeEntries(entries_);
            defaults_ = nullptr;
            UnlinkClasses();
        };
    }
    Rebuild();
}

void TLegends::SetThemeClasses(TThemeClasses* v) {
    UnlinkClasses();
    themeClasses_ = v;
    if (v) {
        TChangeLink* link = v->AddChangeLink(this);
        link->OnChange = [this](TChangeLink&) { Rebuild(); };
        link->OnDisconnect = [this](TChangeLink&) {
            FreeEntries(entries_);
            themeClasses_ = nullptr;
            UnlinkDefaults();
        };
    }
    Rebuild();
}

void TLegends::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    for (TLegend* e : entries_) e->resize(width(), e->height());
}

void TLegends::Rebuild() {
    FreeEntries(entries_);
    if (defaults_ == nullptr || themeClasses_ == nullptr) return;
    int y = 0;
    auto make = [this, &y](TThemeClass* c) {
        auto* e = new TLegend(this);
        e->setFont(font());
        e->SetLegendStyle(LegendStyleForLayerType(themeLayerType_));
        e->SetThemeClass(c);
        e->setGeometry(0, y, width(), TLegend::kHeight);
        e->show();
        entries_.push_back(e);
        y += e->height();
    };
    for (int i = 0; i < themeClasses_->GetCount(); ++i) make(themeClasses_->GetItem(i));
    if (themeClasses_->GetCount() == 0) make(defaults_);
    resize(width(), std::max(y, 1));
}
